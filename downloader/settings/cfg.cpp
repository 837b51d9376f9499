#include "settings/cfg.h"

#include "core/atomic_file.h"
#include "core/program_folder.h"
#include "core/settings_file.h"
#include "log/log_append.h"
#include "log/notices.h"
#include "platform/named_widgets.h"
#include "platform/prompts.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTime>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

cfg *&lastCreated()
{
    static cfg *dialog = nullptr;
    return dialog;
}

// An up-down control: only the arrows; its value is shown in the text box beside it.
class UpDown final : public QSpinBox {
public:
    UpDown(const QString &name, int minimum, int maximum, QWidget *parent) : QSpinBox(parent)
    {
        setObjectName(name);
        setRange(minimum, maximum);
        setButtonSymbols(QAbstractSpinBox::UpDownArrows);
        lineEdit()->hide();
        setFixedWidth(18);
    }
};

QLineEdit *lineEdit(const QString &name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    return edit;
}

QCheckBox *checkBox(const QString &name, const QString &caption, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    return box;
}

QRadioButton *option(const QString &name, const QString &caption, QWidget *parent)
{
    auto *button = new QRadioButton(caption, parent);
    button->setObjectName(name);
    return button;
}

QPushButton *browseButton(const QString &name, QWidget *parent)
{
    QPushButton *b = namedButton(name, u"..."_s, parent);
    b->setFixedWidth(28);
    return b;
}

// A text box with its up-down: the up-down writes its value into the box, and
// a number typed into the box moves the up-down (within its range).
UpDown *couple(QLineEdit *text, const QString &name, int minimum, int maximum, QWidget *parent)
{
    auto *updown = new UpDown(name, minimum, maximum, parent);
    text->setFixedWidth(48);
    text->setValidator(new QIntValidator(0, maximum, text));
    QObject::connect(updown, &QSpinBox::valueChanged, text, [text](int v) { text->setText(QString::number(v)); });
    QObject::connect(text, &QLineEdit::textEdited, updown, [updown](const QString &typed) {
        bool ok = false;
        const int v = typed.trimmed().toInt(&ok);
        if (ok) {
            const QSignalBlocker keepTyping(updown);
            updown->setValue(v);
        }
    });
    return updown;
}

// Option buttons may all be off, as an older file may say; auto-exclusive
// buttons refuse to be unchecked, so the exclusivity is lifted for a moment.
void setOption(QRadioButton *button, bool on)
{
    if (button->isChecked() == on)
        return;
    if (on) {
        button->setChecked(true);
        return;
    }
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

QHBoxLayout *row(std::initializer_list<QWidget *> widgets, bool stretch = true)
{
    auto *layout = new QHBoxLayout;
    for (QWidget *w : widgets)
        layout->addWidget(w);
    if (stretch)
        layout->addStretch();
    return layout;
}

} // namespace

struct cfg::Controls {
    QTabWidget *tab = nullptr;
    QLineEdit *defdir = nullptr;
    QPushButton *brdir = nullptr;
    QCheckBox *initstart = nullptr;
    QCheckBox *showmsg = nullptr;
    QCheckBox *exevirus = nullptr;
    QLineEdit *virus = nullptr;
    QPushButton *brvirus = nullptr;
    QListWidget *ext = nullptr;
    QPushButton *add = nullptr;
    QPushButton *del = nullptr;
    QLineEdit *segs = nullptr;
    QSpinBox *segsv = nullptr;
    QLineEdit *veces = nullptr;
    QSpinBox *vecesv = nullptr;
    QCheckBox *delinc = nullptr;
    QCheckBox *dellista = nullptr;
    QCheckBox *autocont = nullptr;
    QLineEdit *maxdesc = nullptr;
    QSpinBox *maxdescval = nullptr;
    QLineEdit *wait = nullptr;
    QSpinBox *waitv = nullptr;
    QSpinBox *limite = nullptr;
    QSpinBox *conexiones = nullptr;
    QCheckBox *checkact = nullptr;
    QRadioButton *autoact = nullptr;
    QRadioButton *notact = nullptr;
    QRadioButton *msgno = nullptr;
    QRadioButton *msgdialog = nullptr;
    QRadioButton *msgsys = nullptr;
    QCheckBox *wavs = nullptr;
    QLineEdit *histrut = nullptr;
    QPushButton *histbr = nullptr;
    QLineEdit *hsizet = nullptr;
    QSpinBox *histsize = nullptr;
    QPushButton *acept = nullptr;
    QPushButton *cancel = nullptr;

    void buildGeneral(QWidget *page);
    void buildDownloads(QWidget *page);
    void buildUpdates(QWidget *page);
    void buildNotifications(QWidget *page);
};

void cfg::Controls::buildGeneral(QWidget *page)
{
    auto *layout = new QVBoxLayout(page);
    defdir = lineEdit(u"defdir"_s, page);
    brdir = browseButton(u"brdir"_s, page);
    layout->addWidget(new QLabel(u"Directorio por defecto:"_s, page));
    layout->addLayout(row({defdir, brdir}, false));
    initstart = checkBox(u"initstart"_s, u"Iniciar descargas al iniciar"_s, page);
    showmsg = checkBox(u"showmsg"_s, u"Mostrar mensaje al terminar la descarga"_s, page);
    exevirus = checkBox(u"exevirus"_s, u"Ejecutar antivirus al descargar ficheros de tipo:"_s, page);
    layout->addWidget(initstart);
    layout->addWidget(showmsg);
    layout->addWidget(exevirus);

    ext = new QListWidget(page);
    ext->setObjectName(u"ext"_s);
    add = namedButton(u"add"_s, u"Añadir"_s, page);
    del = namedButton(u"del"_s, u"Eliminar"_s, page);
    auto *extButtons = new QVBoxLayout;
    extButtons->addWidget(add);
    extButtons->addWidget(del);
    extButtons->addStretch();
    auto *extRow = new QHBoxLayout;
    extRow->addWidget(ext);
    extRow->addLayout(extButtons);
    layout->addLayout(extRow);

    virus = lineEdit(u"virus"_s, page);
    brvirus = browseButton(u"brvirus"_s, page);
    layout->addWidget(new QLabel(u"Antivirus:"_s, page));
    layout->addLayout(row({virus, brvirus}, false));
}

void cfg::Controls::buildDownloads(QWidget *page)
{
    auto *layout = new QVBoxLayout(page);
    segs = lineEdit(u"segs"_s, page);
    segsv = couple(segs, u"segsv"_s, 5, 60, page);
    veces = lineEdit(u"veces"_s, page);
    vecesv = couple(veces, u"vecesv"_s, 0, 50, page);
    layout->addLayout(row({new QLabel(u"Reintentar descargas  cada"_s, page), segs, segsv,
                           new QLabel(u"segundos hasta"_s, page), veces, vecesv, new QLabel(u"veces."_s, page)}));

    delinc = checkBox(u"delinc"_s, u"Eliminar archivos incompletos tras agotar los intentos"_s, page);
    dellista = checkBox(u"dellista"_s, u"Eliminar de la lista al finalizar"_s, page);
    autocont = checkBox(u"autocont"_s, u"Continuar una descarga inactiva cuando finalice una activa"_s, page);
    layout->addWidget(delinc);
    layout->addWidget(dellista);
    layout->addWidget(autocont);

    maxdesc = lineEdit(u"maxdesc"_s, page);
    maxdescval = couple(maxdesc, u"maxdescval"_s, 1, 40, page);
    layout->addLayout(row({new QLabel(u"Descargar"_s, page), maxdesc, maxdescval,
                           new QLabel(u"archivos simultaneamente como máximo."_s, page)}));

    wait = lineEdit(u"wait"_s, page);
    waitv = couple(wait, u"waitv"_s, 5, 40, page);
    const QString tip = u"No configure un valor demasiado bajo, ya que provocaría continuas reconexiones sin "
                        u"darle tiempo al servidor a responder"_s;
    wait->setToolTip(tip);
    waitv->setToolTip(tip);
    layout->addLayout(row({new QLabel(u"Reconectar cuando hayan pasado"_s, page), wait, waitv,
                           new QLabel(u"segundos sin recibir datos"_s, page)}));

    limite = new QSpinBox(page);
    limite->setObjectName(u"limite"_s);
    limite->setRange(0, maxSpeedLimitKb);
    limite->setSingleStep(50);
    limite->setSpecialValueText(u"sin límite"_s);
    limite->setToolTip(u"Lo que pueden recibir entre todas las descargas; se aplica en un segundo"_s);
    layout->addLayout(row({new QLabel(u"Límite de velocidad (Kb/seg, 0 = sin límite):"_s, page), limite}));

    conexiones = new QSpinBox(page);
    conexiones->setObjectName(u"conexiones"_s);
    conexiones->setRange(minConnections, maxConnections);
    conexiones->setToolTip(u"Las descargas http y https de un archivo grande se reparten entre varias conexiones "
                           u"si el servidor lo permite; 1 las hace con una sola"_s);
    layout->addLayout(row({new QLabel(u"Conexiones por descarga:"_s, page), conexiones}));
    layout->addStretch();
}

void cfg::Controls::buildUpdates(QWidget *page)
{
    auto *layout = new QVBoxLayout(page);
    checkact = checkBox(u"checkact"_s, u"Comprobar actualizaciones al iniciar"_s, page);
    layout->addWidget(checkact);
    auto *group = new QGroupBox(page);
    auto *groupLayout = new QVBoxLayout(group);
    autoact = option(u"autoact"_s, u"Descargar automáticamente la actualización"_s, group);
    notact = option(u"notact"_s, u"Notificar si hay disponibles actualizaciones"_s, group);
    groupLayout->addWidget(autoact);
    groupLayout->addWidget(notact);
    layout->addWidget(group);
    layout->addWidget(new QLabel(u"Esta opción ha sido desactivada de momento."_s, page));
    layout->addStretch();
}

void cfg::Controls::buildNotifications(QWidget *page)
{
    auto *layout = new QVBoxLayout(page);
    auto *group = new QGroupBox(u"En caso de errores en la descarga (tras los reintentos)"_s, page);
    auto *groupLayout = new QVBoxLayout(group);
    msgno = option(u"msgno"_s, u"No avisar de errores de descarga"_s, group);
    msgdialog = option(u"msgdialog"_s, u"Mostrar avisos en ventana de diálogo"_s, group);
    msgsys = option(u"msgsys"_s, u"Mostrar icono en la barra del sistema"_s, group);
    groupLayout->addWidget(msgno);
    groupLayout->addWidget(msgdialog);
    groupLayout->addWidget(msgsys);
    layout->addWidget(group);

    wavs = checkBox(u"wavs"_s, u"Reproducir sonidos"_s, page);
    layout->addWidget(wavs);

    histrut = lineEdit(u"histrut"_s, page);
    histbr = browseButton(u"histbr"_s, page);
    layout->addWidget(new QLabel(u"Guardar historial en:"_s, page));
    layout->addLayout(row({histrut, histbr}, false));

    hsizet = lineEdit(u"hsizet"_s, page);
    histsize = couple(hsizet, u"histsize"_s, 1, 5000, page);
    layout->addLayout(
        row({new QLabel(u"Limitar tamaño del historial a"_s, page), hsizet, histsize, new QLabel(u"Kbytes"_s, page)}));
    layout->addStretch();
}

cfg::cfg(QWidget *parent) : QDialog(parent), d(new Controls)
{
    setObjectName(u"cfg"_s);
    setWindowTitle(u"Opciones"_s);

    d->tab = new QTabWidget(this);
    d->tab->setObjectName(u"tab"_s);
    const QString captions[] = {u"Opciones generales"_s, u"Descargas"_s, u"Actualizaciones"_s, u"Notificaciones"_s};
    QWidget *pages[4];
    for (int i = 0; i < 4; ++i) {
        pages[i] = new QWidget(d->tab);
        d->tab->addTab(pages[i], captions[i]);
    }
    d->buildGeneral(pages[0]);
    d->buildDownloads(pages[1]);
    d->buildUpdates(pages[2]);
    d->buildNotifications(pages[3]);

    d->acept = namedButton(u"acept"_s, u"Aceptar"_s, this);
    d->cancel = namedButton(u"cancel"_s, u"Cancelar"_s, this);
    d->acept->setDefault(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(d->tab);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(d->acept);
    buttons->addWidget(d->cancel);
    layout->addLayout(buttons);

    connect(d->acept, &QPushButton::clicked, this, &cfg::acept);
    connect(d->cancel, &QPushButton::clicked, this, &cfg::cancelar);

    connect(d->add, &QPushButton::clicked, this, [this] {
        const QString answer =
            platform::prompts().input(u"Escriba la extensión del tipo de archivo con el punto (p.ej .exe)"_s);
        if (!answer.isEmpty())
            d->ext->addItem(answer);
    });
    connect(d->del, &QPushButton::clicked, this, [this] {
        QListWidgetItem *item = d->ext->currentItem();
        if (item && item->isSelected())
            delete d->ext->takeItem(d->ext->row(item));
    });
    connect(d->brdir, &QPushButton::clicked, this, [this] {
        const QString folder = platform::prompts().chooseFolder(d->defdir->text());
        // Readers join file names straight onto the folder.
        if (!folder.isEmpty())
            d->defdir->setText(platform::withTrailingSeparator(QDir::toNativeSeparators(folder)));
    });
    connect(d->brvirus, &QPushButton::clicked, this, [this] {
        const QString file = platform::prompts().openProgram(u"Antivirus"_s);
        if (!file.isEmpty())
            d->virus->setText(file);
    });
    connect(d->histbr, &QPushButton::clicked, this, [this] {
        const QString file = platform::prompts().saveFile(d->histrut->text(), u"rtf"_s);
        if (!file.isEmpty() && file != u"*.rtf"_s)
            d->histrut->setText(file);
    });

    setValues(defaultSettings(platform::programFolder()));
    lastCreated() = this;
    // The notices play sounds only while "wavs" is ticked.
    setNoticeSoundSwitch([] { return !lastCreated() || lastCreated()->wavs(); });
    readSettings();
}

cfg::~cfg()
{
    if (lastCreated() == this)
        lastCreated() = nullptr;
    delete d;
}

cfg *cfg::instance()
{
    return lastCreated();
}

QString cfg::defdir() const
{
    return d->defdir->text();
}
bool cfg::initstart() const
{
    return d->initstart->isChecked();
}
bool cfg::showmsg() const
{
    return d->showmsg->isChecked();
}
bool cfg::exevirus() const
{
    return d->exevirus->isChecked();
}
QString cfg::virus() const
{
    return d->virus->text();
}
int cfg::segsv() const
{
    return d->segsv->value();
}
int cfg::vecesv() const
{
    return d->vecesv->value();
}
bool cfg::delinc() const
{
    return d->delinc->isChecked();
}
bool cfg::dellista() const
{
    return d->dellista->isChecked();
}
bool cfg::autocont() const
{
    return d->autocont->isChecked();
}
int cfg::waitv() const
{
    return d->waitv->value();
}
bool cfg::checkact() const
{
    return d->checkact->isChecked();
}
bool cfg::autoact() const
{
    return d->autoact->isChecked();
}
bool cfg::notact() const
{
    return d->notact->isChecked();
}
bool cfg::msgno() const
{
    return d->msgno->isChecked();
}
bool cfg::msgdialog() const
{
    return d->msgdialog->isChecked();
}
bool cfg::msgsys() const
{
    return d->msgsys->isChecked();
}
bool cfg::wavs() const
{
    return d->wavs->isChecked();
}
QString cfg::histrut() const
{
    return d->histrut->text();
}
int cfg::histsize() const
{
    return d->histsize->value();
}

int cfg::maxdescval() const
{
    return d->maxdescval->value();
}

int cfg::maxdesc() const
{
    // The box may hold anything the file or the user put there; the table has
    // room for 40 downloads and 0 would never start one.
    const int n = d->maxdesc->text().trimmed().toInt();
    return qBound(d->maxdescval->minimum(), n, d->maxdescval->maximum());
}

QStringList cfg::ext() const
{
    QStringList items;
    for (int i = 0; i < d->ext->count(); ++i)
        items << d->ext->item(i)->text();
    return items;
}

void cfg::setDefdir(const QString &v)
{
    d->defdir->setText(v);
}
void cfg::setInitstart(bool v)
{
    d->initstart->setChecked(v);
}
void cfg::setShowmsg(bool v)
{
    d->showmsg->setChecked(v);
}
void cfg::setExevirus(bool v)
{
    d->exevirus->setChecked(v);
}
void cfg::setVirus(const QString &v)
{
    d->virus->setText(v);
}
void cfg::setDelinc(bool v)
{
    d->delinc->setChecked(v);
}
void cfg::setDellista(bool v)
{
    d->dellista->setChecked(v);
}
void cfg::setAutocont(bool v)
{
    d->autocont->setChecked(v);
}
void cfg::setCheckact(bool v)
{
    d->checkact->setChecked(v);
}
void cfg::setAutoact(bool v)
{
    setOption(d->autoact, v);
}
void cfg::setNotact(bool v)
{
    setOption(d->notact, v);
}
void cfg::setMsgno(bool v)
{
    setOption(d->msgno, v);
}
void cfg::setMsgdialog(bool v)
{
    setOption(d->msgdialog, v);
}
void cfg::setMsgsys(bool v)
{
    setOption(d->msgsys, v);
}
void cfg::setWavs(bool v)
{
    d->wavs->setChecked(v);
}
void cfg::setHistrut(const QString &v)
{
    d->histrut->setText(v);
}

// The box shows the up-down's value even when the value did not change.
void cfg::setSegsv(int v)
{
    d->segsv->setValue(v);
    d->segs->setText(QString::number(d->segsv->value()));
}

void cfg::setVecesv(int v)
{
    d->vecesv->setValue(v);
    d->veces->setText(QString::number(d->vecesv->value()));
}

void cfg::setMaxdesc(int v)
{
    d->maxdescval->setValue(v);
    d->maxdesc->setText(QString::number(d->maxdescval->value()));
}

void cfg::setWaitv(int v)
{
    d->waitv->setValue(v);
    d->wait->setText(QString::number(d->waitv->value()));
}

void cfg::setHistsize(int v)
{
    d->histsize->setValue(v);
    d->hsizet->setText(QString::number(d->histsize->value()));
}

void cfg::setExt(const QStringList &v)
{
    d->ext->clear();
    d->ext->addItems(v);
}

SettingsValues cfg::values() const
{
    SettingsValues v;
    v.defdir = defdir();
    v.initstart = initstart();
    v.showmsg = showmsg();
    v.exevirus = exevirus();
    v.virus = virus();
    v.segs = d->segs->text();
    v.segsv = segsv();
    v.veces = d->veces->text();
    v.vecesv = vecesv();
    v.delinc = delinc();
    v.dellista = dellista();
    v.autocont = autocont();
    v.maxdesc = d->maxdesc->text();
    v.maxdescval = d->maxdescval->value();
    v.wait = d->wait->text();
    v.waitv = waitv();
    v.checkact = checkact();
    v.autoact = autoact();
    v.notact = notact();
    v.msgno = msgno();
    v.msgdialog = msgdialog();
    v.msgsys = msgsys();
    v.wavs = wavs();
    v.histrut = histrut();
    v.histsize = histsize();
    v.ext = ext();
    v.speedLimitKb = d->limite->value();
    v.connections = d->conexiones->value();
    return v;
}

void cfg::setValues(const SettingsValues &v)
{
    setDefdir(v.defdir);
    setInitstart(v.initstart);
    setShowmsg(v.showmsg);
    setExevirus(v.exevirus);
    setVirus(v.virus);
    // The up-down first: its change rewrites the box, which then takes the text as stored.
    d->segsv->setValue(v.segsv);
    d->segs->setText(v.segs);
    d->vecesv->setValue(v.vecesv);
    d->veces->setText(v.veces);
    setDelinc(v.delinc);
    setDellista(v.dellista);
    setAutocont(v.autocont);
    d->maxdescval->setValue(v.maxdescval);
    d->maxdesc->setText(v.maxdesc);
    d->waitv->setValue(v.waitv);
    d->wait->setText(v.wait);
    setCheckact(v.checkact);
    setAutoact(v.autoact);
    setNotact(v.notact);
    setMsgno(v.msgno);
    setMsgdialog(v.msgdialog);
    setMsgsys(v.msgsys);
    setWavs(v.wavs);
    setHistrut(v.histrut);
    setHistsize(v.histsize);
    setExt(v.ext);
    d->limite->setValue(v.speedLimitKb);
    d->conexiones->setValue(v.connections);
}

void cfg::readSettings()
{
    const QString path = platform::programFile(u"tandrel.ini"_s);
    // A first start is no error: the defaults are the settings, and the file is written for next time.
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
        setValues(defaultSettings(platform::programFolder()));
        writeSettings();
        return;
    }
    const SettingsReadResult r = readSettingsFile(path, platform::programFolder());
    setValues(r.values);
    if (!r.ok())
        platform::prompts().message(r.error, platform::Icon::Critical);
}

bool cfg::writeSettings()
{
    const QString path = platform::programFile(u"tandrel.ini"_s);
    QString error;
    if (platform::saveFileAtomically(path, encodeSettings(values()), &error))
        return true;
    platform::prompts().message(u"No se ha podido guardar "_s + path + u": "_s + error, platform::Icon::Critical);
    return false;
}

void cfg::acept()
{
    setResult(QDialog::Accepted);
    hide();
    appendLog(u"\r\n"_s + u"Configuración cambiada a las "_s + QTime::currentTime().toString(u"hh:mm:ss"_s), 0);
    // A box left empty (or holding no number) would write a line that the
    // next start refuses, losing every setting after it: it takes its up-down's value.
    const std::pair<QLineEdit *, QSpinBox *> numbers[] = {
        {d->segs, d->segsv}, {d->veces, d->vecesv}, {d->maxdesc, d->maxdescval}, {d->wait, d->waitv}};
    for (const auto &[box, updown] : numbers) {
        bool ok = false;
        box->text().trimmed().toInt(&ok);
        if (!ok)
            box->setText(QString::number(updown->value()));
    }
    writeSettings();
    if (defdir().isEmpty())
        setDefdir(defaultSettings(platform::programFolder()).defdir);
}

void cfg::cancelar()
{
    readSettings();
    setResult(QDialog::Rejected);
    hide();
}

void cfg::reject()
{
    cancelar();
}
