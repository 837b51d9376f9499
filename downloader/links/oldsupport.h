#pragma once

#include <QDialog>
#include <QPointer>

class QLineEdit;
class QListWidget;
class QPushButton;
class activas;
class inactivas;

// The older batch window: a base address and the file names of a saved link
// list, added in one batch. Filled and shown modally by the load-list command.
class oldsupport : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(oldsupport)
public:
    oldsupport(activas *active, inactivas *queue, QWidget *parent = nullptr);
    ~oldsupport() override;

    void setUrl(const QString &url);
    void setItems(const QStringList &items);

    // "Agregar a la lista de descargas": closes the window unless the queue
    // filled up on the way.
    void addtolist();

private:
    void brdir();

    QPointer<activas> active_;
    QPointer<inactivas> queue_;
    QLineEdit *url_ = nullptr;
    QListWidget *si_ = nullptr;
    QListWidget *no_ = nullptr;
    QPushButton *tono_ = nullptr;
    QPushButton *tosi_ = nullptr;
    QLineEdit *destdir_ = nullptr;
    QPushButton *brdir_ = nullptr;
    QPushButton *addtolist_ = nullptr;
};
