#pragma once

#include "main/ftplogin.h"

#include <QMainWindow>

class QLabel;
class QMdiArea;
class activas;
class cfg;
class estadisticas;

// The program's main window: a frame for the child windows, the menus and
// the status bar.
class MainWindow : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    cfg *settings() const { return settings_; }
    activas *active() const { return activas_; }
    // Status bar panels 1 to 3.
    void setStatusText(int panel, const QString &text);
    QString statusText(int panel) const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QMdiArea *area_ = nullptr;
    cfg *settings_ = nullptr;
    activas *activas_ = nullptr;
    estadisticas *stats_ = nullptr;
    QLabel *panels_[3] = {};
    FtpLoginPrompt login_;
};
