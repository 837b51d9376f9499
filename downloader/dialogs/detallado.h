#pragma once

#include <QDialog>

class QCheckBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class tarta;

// The details of one download; the details command fills it.
class detallado : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(detallado)
public:
    explicit detallado(QWidget *parent = nullptr);
    ~detallado() override;

    // The caption becomes "Información de " + file.
    void setFile(const QString &file);

    QString url() const;
    void setUrl(const QString &text);
    QString destino() const;
    void setDestino(const QString &text);
    QString tiempo() const;
    void setTiempo(const QString &text);
    QString estado() const;
    void setEstado(const QString &text);
    QString actsize() const;
    void setActsize(const QString &text);
    QString totalsize() const;
    void setTotalsize(const QString &text);
    QString downloaded() const;
    void setDownloaded(const QString &text);
    bool allowredo() const;
    void setAllowredo(bool resumable);
    tarta *pie() const { return tarta_; }
    // An active download's own speed limit, with a button to change it;
    // hidden until set.
    QString limit() const;
    void setLimit(const QString &text);
    // How many connections an active download is working with; hidden until set.
    QString connections() const;
    void setConnections(const QString &text);
    // "Buscar nueva dirección...", for a stopped download with bytes on disk; hidden otherwise.
    void setAddressSearchable(bool searchable);

signals:
    void limitRequested();
    void addressSearchRequested();

private:
    QLineEdit *addField(const QString &label, const QString &name);

    QLineEdit *url_ = nullptr;
    QLineEdit *destino_ = nullptr;
    QLineEdit *tiempo_ = nullptr;
    QLineEdit *estado_ = nullptr;
    QLineEdit *actsize_ = nullptr;
    QLineEdit *totalsize_ = nullptr;
    QLabel *downloaded_ = nullptr;
    QCheckBox *allowredo_ = nullptr;
    tarta *tarta_ = nullptr;
    QPushButton *cerrar_ = nullptr;
    QLineEdit *limite_ = nullptr;
    QPushButton *limitar_ = nullptr;
    QPushButton *buscar_ = nullptr;
    QLineEdit *conexiones_ = nullptr;
    QFormLayout *form_ = nullptr;
};
