#pragma once

#include "pindle_export.h"
#include "tray_backend.h"

#include <QIcon>
#include <QVariantMap>
#include <QWidget>

#include <memory>

// An icon with a tool tip in the notification area, switched on and off by
// InTray; mouse actions on the icon come back as events. At design time the
// control is a small raised square; at run time it shows nothing itself.
class PINDLE_EXPORT cPindle : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(cPindle)
    Q_PROPERTY(bool InTray READ InTray WRITE setInTray NOTIFY InTrayChanged)
    Q_PROPERTY(QIcon TrayIcon READ TrayIcon WRITE setTrayIcon NOTIFY TrayIconChanged)
    Q_PROPERTY(QString TrayTip READ TrayTip WRITE setTrayTip NOTIFY TrayTipChanged)
public:
    explicit cPindle(QWidget *parent = nullptr);
    // A null backend means the one setTrayBackendFactory provides.
    explicit cPindle(std::unique_ptr<pindle::TrayBackend> backend, QWidget *parent = nullptr);
    ~cPindle() override;

    bool InTray() const { return inTray_; }
    void setInTray(bool on);
    QIcon TrayIcon() const { return icon_; }
    // A null icon is not a picture the tray can show and is ignored.
    void setTrayIcon(const QIcon &icon);
    QString TrayTip() const { return tip_; }
    void setTrayTip(const QString &tip);

    // In a form designer the icon is never put into the tray; InTray is only
    // kept, and takes effect when the host runs.
    bool designMode() const { return designMode_; }
    void setDesignMode(bool on);

    bool isIconShown() const { return shown_; }
    quint32 iconId() const { return kIconId; }
    pindle::TrayBackend *backend() const { return backend_.get(); }

    // The stored form, by name: "InTray", "TrayIcon", "TrayTip".
    QVariantMap saveProperties() const;
    void loadProperties(const QVariantMap &properties);

    static QIcon designIcon();
    static QString defaultTip();

public slots:
    void ShowAboutBox();

signals:
    void InTrayChanged(bool inTray);
    void TrayIconChanged();
    void TrayTipChanged(const QString &tip);

    void MouseMove(int Id);
    void MouseDown(int Button, int Id);
    void MouseUp(int Button, int Id);
    void MouseDblClick(int Button, int Id);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr quint32 kIconId = 0;

    quintptr windowKey() const;
    void showIcon();
    void removeIcon();
    void mouseMessage(quint32 id, quint32 message);

    std::unique_ptr<pindle::TrayBackend> backend_;
    bool inTray_ = false;
    QIcon icon_;
    QString tip_;
    bool designMode_ = false;
    bool shown_ = false;
    bool aboutOpen_ = false;
};
