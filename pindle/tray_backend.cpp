#include "tray_backend.h"

#include "system_tray_backend.h"

namespace pindle {

namespace {

TrayBackendFactory &factory()
{
    static TrayBackendFactory f;
    return f;
}

} // namespace

TrayBackend::TrayBackend() = default;

TrayBackend::~TrayBackend() = default;

QList<quint32> mouseMessagesFor(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return {MsgLeftDown, MsgLeftUp};
    // Qt has already reported the first click as a trigger; the release of
    // the second click follows the double click, as the system sends it.
    case QSystemTrayIcon::DoubleClick:
        return {MsgLeftDoubleClick, MsgLeftUp};
    case QSystemTrayIcon::Context:
        return {MsgRightDown, MsgRightUp};
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
    return {};
}

void setTrayBackendFactory(TrayBackendFactory f)
{
    factory() = std::move(f);
}

std::unique_ptr<TrayBackend> createTrayBackend()
{
    if (factory()) {
        if (auto backend = factory()())
            return backend;
    }
    return std::make_unique<SystemTrayBackend>();
}

} // namespace pindle
