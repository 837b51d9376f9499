#pragma once

#include <QWidget>

#include <functional>

class QLabel;

// The start window: version texts for a second, then the main window.
class splash : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(splash)
public:
    // done runs once, when the start window's second is over.
    explicit splash(std::function<void()> done, QWidget *parent = nullptr);
    ~splash() override;

    // "Versión 1.2 Compilación 3" from the program's version.
    static QString versionText(const QString &version);
    // The system's name and version, in the form the label always had.
    static QString systemText();

private:
    QLabel *lblVersion_ = nullptr;
    QLabel *SO_ = nullptr;
};
