#pragma once

#include "links/link_scanner.h"

#include <QDialog>
#include <QPointer>

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class PageFetch;
class activas;
class inactivas;

// The link-list window: fetches an HTML page, lists the addresses it links
// to (wanted extensions in si, the rest in no) and adds the si list to the
// download tables in one batch. Shown modally by the main window.
class listado : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(listado)
public:
    // Every this many listed addresses the scan lets the window's events through.
    static constexpr qsizetype kScanStep = 64;

    listado(activas *active, inactivas *queue, QWidget *parent = nullptr);
    ~listado() override;

    // The buttons: "Procesar...", "Detener" (ends the fetch now and lists
    // what arrived), "Agregar a la lista de descargas".
    void obtener();
    void detener();
    void addtolist();

    // From the button press until the scan of the page is over.
    bool busy() const;

    // Closing the window also ends a fetch or scan under way: nothing it
    // found is shown or told afterwards.
    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    void setFetching(bool fetching);
    void onReceived(const QString &text);
    void flushCode();
    void endFetch(bool mayRetry);
    void onFailed(const QString &description);
    ScanMode mode() const;
    QStringList extItems() const;
    void adext();
    void delext();
    void brdir();

    QPointer<activas> active_;
    QPointer<inactivas> queue_;
    PageFetch *fetch_ = nullptr;
    QString page_;    // the whole reply so far; the scan reads it
    QString pending_; // received, not yet shown in code
    qsizetype column_ = 0;
    QTimer *flush_ = nullptr;
    bool scanning_ = false;
    bool closed_ = false;

    QLineEdit *direcc_ = nullptr;
    QPushButton *obtener_ = nullptr;
    QPushButton *detener_ = nullptr;
    QPlainTextEdit *code_ = nullptr;
    QRadioButton *linkonly_ = nullptr;
    QRadioButton *imgonly_ = nullptr;
    QRadioButton *linkimg_ = nullptr;
    QListWidget *ext_ = nullptr;
    QPushButton *adext_ = nullptr;
    QPushButton *delext_ = nullptr;
    QListWidget *si_ = nullptr;
    QListWidget *no_ = nullptr;
    QPushButton *tono_ = nullptr;
    QPushButton *tosi_ = nullptr;
    QLineEdit *destdir_ = nullptr;
    QPushButton *brdir_ = nullptr;
    QPushButton *addtolist_ = nullptr;
};
