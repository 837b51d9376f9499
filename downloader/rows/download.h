#pragma once

#include <QWidget>

class QLabel;
class progreso;

// One download shown as one row: file name, progress bar, percentage (or a
// lock), size text and address. It only displays; every mouse action inside
// it reaches the table as Click, DblClick or MouseUp.
class download : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(download)
public:
    explicit download(QWidget *parent = nullptr);
    ~download() override;

    bool locked() const;
    void setLocked(bool value);

    int porcentaje() const;
    void setPorcentaje(int value);

    QString bytes() const;
    void setBytes(const QString &text);

    QString archivo() const;
    void setArchivo(const QString &text);

    QString url() const;
    void setUrl(const QString &text);

    bool selected() const;
    void setSelected(bool value);

    void DownloadEnd();

    bool finalizado() const;
    void setFinalizado(bool value);

    bool redoend() const;
    void setRedoend(bool value);

    bool Reconectando() const;
    void setReconectando(bool value);

    // The current base colour (32-bit colour value, system colours with the top bit).
    quint32 baseColor() const;

signals:
    void Click();
    void DblClick();
    void MouseUp(int button);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Parts;
    Parts *d;
};
