#include "dialogs/detallado.h"

#include <tarta.h>

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
constexpr quint32 kPieFore = 0xC00000; // blue
constexpr quint32 kPieBack = 0x008000; // green
constexpr int kPieSide = 96;

// Long addresses and paths read best from their beginning.
void showText(QLineEdit *field, const QString &text)
{
    field->setText(text);
    field->setCursorPosition(0);
}
} // namespace

detallado::detallado(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"detallado"_s);
    setWindowTitle(u"Información de"_s);

    form_ = new QFormLayout;
    url_ = addField(u"URL de descarga:"_s, u"url"_s);
    destino_ = addField(u"Archivo de destino:"_s, u"destino"_s);
    tiempo_ = addField(u"Tiempo utilizado (minutos:segundos)"_s, u"tiempo"_s);
    estado_ = addField(u"Estado actual:"_s, u"estado"_s);
    actsize_ = addField(u"Tamaño actual del archivo:"_s, u"actsize"_s);
    totalsize_ = addField(u"Tamaño total:"_s, u"totalsize"_s);
    limite_ = addField(u"Límite de velocidad:"_s, u"limite"_s);
    form_->setRowVisible(limite_, false);
    conexiones_ = addField(u"Conexiones:"_s, u"conexiones"_s);
    form_->setRowVisible(conexiones_, false);

    downloaded_ = new QLabel(u"Descargados X de Y"_s, this);
    downloaded_->setObjectName(u"downloaded"_s);
    downloaded_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    allowredo_ = new QCheckBox(u"El servidor permite la reanudación de las descargas."_s, this);
    allowredo_->setObjectName(u"allowredo"_s);
    // It tells what the server said; the user has nothing to choose here.
    allowredo_->setAttribute(Qt::WA_TransparentForMouseEvents);
    allowredo_->setFocusPolicy(Qt::NoFocus);

    tarta_ = new tarta(this);
    tarta_->setObjectName(u"tarta"_s);
    tarta_->setFixedSize(kPieSide, kPieSide);
    tarta_->setForeColor(kPieFore);
    tarta_->setBackColor(kPieBack);

    cerrar_ = new QPushButton(u"&Cerrar"_s, this);
    cerrar_->setObjectName(u"cerrar"_s);
    cerrar_->setDefault(true);
    connect(cerrar_, &QPushButton::clicked, this, &QDialog::accept);

    auto *progress = new QHBoxLayout;
    progress->addWidget(tarta_);
    auto *side = new QVBoxLayout;
    side->addWidget(downloaded_);
    side->addWidget(allowredo_);
    side->addStretch();
    progress->addLayout(side, 1);
    limitar_ = new QPushButton(u"&Limitar velocidad..."_s, this);
    limitar_->setObjectName(u"limitar"_s);
    limitar_->hide();
    connect(limitar_, &QPushButton::clicked, this, &detallado::limitRequested);

    buscar_ = new QPushButton(u"&Buscar nueva dirección..."_s, this);
    buscar_->setObjectName(u"buscar"_s);
    buscar_->hide();
    connect(buscar_, &QPushButton::clicked, this, &detallado::addressSearchRequested);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(limitar_);
    buttons->addWidget(buscar_);
    buttons->addStretch();
    buttons->addWidget(cerrar_);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form_);
    layout->addLayout(progress);
    layout->addLayout(buttons);
}

detallado::~detallado() = default;

QLineEdit *detallado::addField(const QString &label, const QString &name)
{
    auto *field = new QLineEdit(this);
    field->setObjectName(name);
    field->setReadOnly(true);
    form_->addRow(label, field);
    return field;
}

QString detallado::limit() const
{
    return limite_->text();
}

void detallado::setLimit(const QString &text)
{
    limite_->setText(text);
    form_->setRowVisible(limite_, true);
    limitar_->show();
}

QString detallado::connections() const
{
    return conexiones_->text();
}

void detallado::setConnections(const QString &text)
{
    conexiones_->setText(text);
    form_->setRowVisible(conexiones_, true);
}

void detallado::setFile(const QString &file)
{
    setWindowTitle(u"Información de "_s + file);
}

QString detallado::url() const
{
    return url_->text();
}

void detallado::setUrl(const QString &text)
{
    showText(url_, text);
}

QString detallado::destino() const
{
    return destino_->text();
}

void detallado::setDestino(const QString &text)
{
    showText(destino_, text);
}

QString detallado::tiempo() const
{
    return tiempo_->text();
}

void detallado::setTiempo(const QString &text)
{
    showText(tiempo_, text);
}

QString detallado::estado() const
{
    return estado_->text();
}

void detallado::setEstado(const QString &text)
{
    showText(estado_, text);
}

QString detallado::actsize() const
{
    return actsize_->text();
}

void detallado::setActsize(const QString &text)
{
    showText(actsize_, text);
}

QString detallado::totalsize() const
{
    return totalsize_->text();
}

void detallado::setTotalsize(const QString &text)
{
    showText(totalsize_, text);
}

QString detallado::downloaded() const
{
    return downloaded_->text();
}

void detallado::setDownloaded(const QString &text)
{
    downloaded_->setText(text);
}

bool detallado::allowredo() const
{
    return allowredo_->isChecked();
}

void detallado::setAllowredo(bool resumable)
{
    allowredo_->setChecked(resumable);
}

void detallado::setAddressSearchable(bool searchable)
{
    buscar_->setVisible(searchable);
}
