#include "links/listado.h"

#include "core/program_folder.h"
#include "core/schemes.h"
#include "core/url.h"
#include "engine/activas.h"
#include "engine/get_host.h"
#include "engine/inactivas.h"
#include "links/batch_add.h"
#include "links/choice_layout.h"
#include "links/listado_list.h"
#include "links/page_fetch.h"
#include "log/notices.h"
#include "platform/named_widgets.h"
#include "platform/prompts.h"
#include "settings/cfg.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"Obtener listado de archivos"_s;
constexpr int kFlushMs = 250;
// How often a scan adds what it found to the lists. A shown list lays out all
// its rows again after each addition: done per handful of rows, a page of
// thousands of links took a minute.
constexpr qint64 kFillMs = 250;
// A page of one endless line would take seconds to lay out in the box; the
// box breaks it (the scan reads the page as received).
constexpr qsizetype kDisplayLine = 2048;

// Breaks lines longer than kDisplayLine for the page box; column carries the
// length of the unfinished last line from one piece to the next.
QString displayLines(QStringView text, qsizetype &column)
{
    QString out;
    out.reserve(text.size() + text.size() / kDisplayLine + 1);
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype end = text.indexOf(u'\n', from);
        const qsizetype stop = end < 0 ? text.size() : end;
        while (stop - from > kDisplayLine - column) {
            const qsizetype take = kDisplayLine - column;
            out += text.mid(from, take);
            out += u'\n';
            from += take;
            column = 0;
        }
        out += text.mid(from, stop - from);
        column += stop - from;
        from = stop;
        if (end >= 0) {
            out += u'\n';
            column = 0;
            from = end + 1;
        }
    }
    return out;
}

} // namespace

listado::listado(activas *active, inactivas *queue, QWidget *parent)
    : QDialog(parent), active_(active), queue_(queue), fetch_(new PageFetch(this)), flush_(new QTimer(this))
{
    setObjectName(u"listado"_s);
    setWindowTitle(kTitle);
    buildLayout();

    flush_->setSingleShot(true);
    flush_->setInterval(kFlushMs);
    connect(flush_, &QTimer::timeout, this, &listado::flushCode);
    connect(fetch_, &PageFetch::received, this, &listado::onReceived);
    connect(fetch_, &PageFetch::finished, this, [this] { endFetch(true); });
    connect(fetch_, &PageFetch::capped, this, [this] {
        platform::prompts().message(u"La página supera los %1 MB: solo se buscan direcciones en lo recibido."_s.arg(
                                        PageFetch::kMaxBytes / (1024 * 1024)),
                                    platform::Icon::Exclamation);
        endFetch(false);
    });
    connect(fetch_, &PageFetch::failed, this, &listado::onFailed);

    const cfg *settings = cfg::instance();
    destdir_->setText(platform::withTrailingSeparator(settings ? settings->defdir() : QString()));

    QStringList extensions = factoryExtensions();
    readExtensionList(extensions);
    ext_->addItems(extensions);

    const QString clip = QApplication::clipboard()->text();
    direcc_->setText(isPageAddress(clip) ? clip : QString());
}

listado::~listado()
{
    fetch_->stop();
}

void listado::buildLayout()
{
    direcc_ = new QLineEdit(this);
    direcc_->setObjectName(u"direcc"_s);
    direcc_->installEventFilter(this);
    obtener_ = namedButton(u"obtener"_s, u"Procesar..."_s, this);
    detener_ = namedButton(u"detener"_s, u"Detener"_s, this);
    detener_->setEnabled(false);
    code_ = new QPlainTextEdit(this);
    code_->setObjectName(u"code"_s);
    code_->setReadOnly(true);
    code_->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto *modes = new QGroupBox(this);
    linkonly_ = new QRadioButton(u"Vínculos"_s, modes);
    linkonly_->setObjectName(u"linkonly"_s);
    linkonly_->setChecked(true);
    imgonly_ = new QRadioButton(u"Imágenes"_s, modes);
    imgonly_->setObjectName(u"imgonly"_s);
    linkimg_ = new QRadioButton(u"Vínculos e imágenes"_s, modes);
    linkimg_->setObjectName(u"linkimg"_s);
    auto *modeLayout = new QVBoxLayout(modes);
    modeLayout->addWidget(linkonly_);
    modeLayout->addWidget(imgonly_);
    modeLayout->addWidget(linkimg_);

    ext_ = namedList(u"ext"_s, this);
    adext_ = namedButton(u"adext"_s, u"<"_s, this);
    delext_ = namedButton(u"delext"_s, u">"_s, this);
    si_ = namedList(u"si"_s, this);
    no_ = namedList(u"no"_s, this);
    tono_ = namedButton(u"tono"_s, u">"_s, this);
    tosi_ = namedButton(u"tosi"_s, u"<"_s, this);
    destdir_ = new QLineEdit(this);
    destdir_->setObjectName(u"destdir"_s);
    brdir_ = namedButton(u"brdir"_s, u"..."_s, this);
    addtolist_ = namedButton(u"addtolist"_s, u"Agregar a la lista de descargas"_s, this);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(u"Dirección del documento:"_s, this));
    top->addWidget(direcc_, 1);
    top->addWidget(obtener_);
    top->addWidget(detener_);

    auto *extButtons = new QVBoxLayout;
    extButtons->addStretch();
    extButtons->addWidget(adext_);
    extButtons->addWidget(delext_);
    extButtons->addStretch();
    auto *extBox = new QVBoxLayout;
    extBox->addWidget(new QLabel(u"Añadir ficheros de extensión:"_s, this));
    auto *extRow = new QHBoxLayout;
    extRow->addLayout(extButtons);
    extRow->addWidget(ext_);
    extBox->addLayout(extRow);
    auto *middle = new QHBoxLayout;
    middle->addWidget(code_, 1);
    middle->addWidget(modes);
    middle->addLayout(extBox);

    QGridLayout *lists = choiceLists(this, si_, no_, tono_, tosi_);
    QHBoxLayout *bottom = destinationRow(this, destdir_, brdir_, addtolist_);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addLayout(lists, 2);
    layout->addLayout(bottom);
    resize(760, 560);

    connect(obtener_, &QPushButton::clicked, this, &listado::obtener);
    connect(detener_, &QPushButton::clicked, this, &listado::detener);
    connect(addtolist_, &QPushButton::clicked, this, &listado::addtolist);
    connect(adext_, &QPushButton::clicked, this, &listado::adext);
    connect(delext_, &QPushButton::clicked, this, &listado::delext);
    connect(brdir_, &QPushButton::clicked, this, &listado::brdir);
    connect(tono_, &QPushButton::clicked, this, [this] { moveSelectedItem(si_, no_); });
    connect(tosi_, &QPushButton::clicked, this, [this] { moveSelectedItem(no_, si_); });
    for (QListWidget *l : {si_, no_}) {
        connect(l, &QListWidget::itemClicked, l, [l](QListWidgetItem *item) { l->setToolTip(item->text()); });
        connect(l, &QListWidget::itemDoubleClicked, this,
                [](QListWidgetItem *item) { platform::prompts().message(item->text(), platform::Icon::None); });
    }
}

bool listado::busy() const
{
    return fetch_->running() || scanning_;
}

void listado::setFetching(bool fetching)
{
    direcc_->setEnabled(!fetching);
    obtener_->setEnabled(!fetching);
    detener_->setEnabled(fetching && fetch_->running());
    addtolist_->setEnabled(!fetching);
}

void listado::obtener()
{
    if (busy())
        return;
    closed_ = false;
    code_->clear();
    page_.clear();
    pending_.clear();
    column_ = 0;
    si_->clear();
    no_->clear();
    setFetching(true);

    const QString address = direcc_->text();
    // Pages come over http or https; an ftp address names no page.
    if (!isPageAddress(address)) {
        platform::prompts().message(u"Dirección incorrecta."_s, platform::Icon::Critical);
        setFetching(false);
        return;
    }
    const quint16 port = GetPort(address);
    const QString host = GetHost(address);
    // GetHost has told the user; there is nothing to connect to.
    if (host == u"ERROR"_s) {
        setFetching(false);
        return;
    }
    fetch_->start(host, port, GetPath(address), address.startsWith(u"https://"_s));
    detener_->setEnabled(true);
}

void listado::detener()
{
    if (!fetch_->running())
        return;
    fetch_->stop();
    endFetch(false);
}

void listado::onReceived(const QString &text)
{
    page_ += text;
    pending_ += text;
    // The box is filled in pieces, not per packet: laying out a long line
    // again for every packet would stall the window.
    if (!flush_->isActive())
        flush_->start();
}

void listado::flushCode()
{
    flush_->stop();
    if (pending_.isEmpty())
        return;
    QTextCursor cursor(code_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(displayLines(pending_, column_));
    pending_.clear();
}

ScanMode listado::mode() const
{
    if (imgonly_->isChecked())
        return ScanMode::ImageOnly;
    if (linkimg_->isChecked())
        return ScanMode::LinkAndImage;
    return ScanMode::LinkOnly;
}

QStringList listado::extItems() const
{
    QStringList items;
    for (int i = 0; i < ext_->count(); ++i)
        items << ext_->item(i)->text();
    return items;
}

void listado::endFetch(bool mayRetry)
{
    flushCode();
    detener_->setEnabled(false);
    scanning_ = true;
    setWindowTitle(QString());

    // The lists grow while the scan runs, a few times a second and each by
    // one call, and the window stays live.
    LinkLists found;
    qsizetype shownSi = 0;
    qsizetype shownNo = 0;
    const auto show = [&] {
        if (shownSi < found.si.size())
            si_->addItems(found.si.mid(shownSi));
        if (shownNo < found.no.size())
            no_->addItems(found.no.mid(shownNo));
        shownSi = found.si.size();
        shownNo = found.no.size();
    };
    QElapsedTimer sinceFill;
    // The window can be closed, or even destroyed, while its events run.
    const QPointer<listado> self(this);
    const ScanProgress progress{[&](qsizetype total) {
                                    if (!sinceFill.isValid() || sinceFill.elapsed() >= kFillMs) {
                                        show();
                                        sinceFill.start();
                                    }
                                    setWindowTitle(foundText(total));
                                    QCoreApplication::processEvents();
                                    return self && !closed_;
                                },
                                kScanStep};
    const QStringList errors = getlinks(page_, direcc_->text(), mode(), extItems(), found, progress);
    if (!self)
        return;
    scanning_ = false;
    if (closed_) {
        setFetching(false);
        return;
    }
    show();
    if (found.total() > 0)
        setWindowTitle(foundText(found.total()));
    for (const QString &error : errors)
        platform::prompts().message(error, platform::Icon::Critical);
    setFetching(false);

    if (si_->count() + no_->count() > 0)
        return;
    const QString address = direcc_->text();
    // An address without a file name and without "/" may name a folder.
    if (mayRetry && GetExtension(GetPath(address)).isEmpty() && !address.endsWith(u'/')) {
        direcc_->setText(address + u'/');
        obtener();
        return;
    }
    setWindowTitle(u"No se han encontrado resultados"_s);
}

void listado::done(int result)
{
    closed_ = true;
    fetch_->stop();
    flush_->stop();
    QDialog::done(result);
}

void listado::onFailed(const QString &description)
{
    flushCode();
    PlayNoticeSound(msgFile(u"ding.wav"_s));
    ShowNotice(description, msgFile(u"error.gif"_s));
    // The address box is usable again, so the address can be corrected.
    setFetching(false);
}

void listado::adext()
{
    const QString answer =
        platform::prompts().input(u"Escriba la extensión del archivo (exe, zip, gif) con o sin puntos."_s);
    if (!answer.isEmpty())
        ext_->addItem(answer);
}

void listado::delext()
{
    QListWidgetItem *item = ext_->currentItem();
    if (item && item->isSelected())
        delete ext_->takeItem(ext_->row(item));
}

void listado::brdir()
{
    const QString folder = platform::prompts().chooseFolder(destdir_->text());
    if (!folder.isEmpty())
        destdir_->setText(platform::withTrailingSeparator(QDir::toNativeSeparators(folder)));
}

void listado::addtolist()
{
    if (busy() || !active_ || !queue_)
        return;
    QList<BatchSource> sources;
    for (int i = 0; i < si_->count(); ++i) {
        const QString url = si_->item(i)->text();
        sources.append({url, GetFileName(url)});
    }
    const QList<BatchStep> plan =
        planBatch(sources, destdir_->text(), tableRules(*active_, *queue_, kLinkQueueRows, false));
    addPlanned(plan, *active_, *queue_);

    QString error;
    if (!writeExtensionList(extItems(), &error)) {
        platform::prompts().message(error, platform::Icon::Critical);
        return;
    }
    accept();
}

bool listado::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == direcc_ && (event->type() == QEvent::DragEnter || event->type() == QEvent::Drop)) {
        auto *drop = static_cast<QDropEvent *>(event);
        if (!drop->mimeData()->hasText())
            return false;
        drop->acceptProposedAction();
        // A dropped address replaces the one in the box.
        if (event->type() == QEvent::Drop)
            direcc_->setText(drop->mimeData()->text());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
