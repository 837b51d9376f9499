// Creates each control of the installed libraries, sets a value and reads it
// back; exits non-zero on the first value that does not come back.
#include <control_values.h>
#include <cpindle.h>
#include <grafica.h>
#include <progreso.h>
#include <tarta.h>

#include <QApplication>
#include <QPalette>

#include <cstdio>
#include <memory>
#include <vector>

static_assert(__cplusplus < 202002L, "this client stands for a C++17 one");

namespace {

using Commands = std::vector<pindle::NotifyCommand>;

// A tray of the client's own, plugged in through the library's factory.
class ClientTray : public pindle::TrayBackend {
public:
    ClientTray(std::shared_ptr<Commands> commands, std::shared_ptr<QString> tip)
        : commands_(std::move(commands)), tip_(std::move(tip))
    {
    }
    void notify(pindle::NotifyCommand command, const pindle::NotifyRecord &record) override
    {
        commands_->push_back(command);
        if (record.flags & pindle::FlagTip)
            *tip_ = record.tip;
    }

private:
    std::shared_ptr<Commands> commands_;
    std::shared_ptr<QString> tip_;
};

bool check(bool ok, const char *what)
{
    if (!ok)
        std::fprintf(stderr, "outside client: %s\n", what);
    return ok;
}

bool progresoWorks()
{
    progreso bar;
    bar.setMaxValue(250);
    bar.setValue(175);
    tarta pie;
    pie.setMaxValue(8);
    pie.setValue(3);
    return check(bar.value() == 175 && bar.MaxValue() == 250, "progreso lost its value")
           && check(pie.value() == 3 && pie.MaxValue() == 8, "tarta lost its value")
           && check(provek::oleColor(0x0000FF, QPalette()) == QColor(Qt::red), "oleColor misread red");
}

bool graficaWorks()
{
    grafica graph;
    graph.newval(42, QStringLiteral("lunes"));
    graph.newval(-7, QStringLiteral("martes"));
    graph.setLineColor(0x00FF00);
    return check(graph.markerCount() == 2 && graph.value(0) == 42 && graph.value(1) == -7, "grafica lost its values")
           && check(graph.caption(1) == QStringLiteral("martes"), "grafica lost a caption")
           && check(graph.LineColor() == 0x00FF00, "grafica lost its line colour");
}

bool pindleWorks()
{
    auto commands = std::make_shared<Commands>();
    auto shownTip = std::make_shared<QString>();
    pindle::setTrayBackendFactory([commands, shownTip] { return std::make_unique<ClientTray>(commands, shownTip); });
    bool ok = true;
    {
        cPindle tray;
        tray.setTrayTip(QStringLiteral("Descargando"));
        tray.setInTray(true);
        ok = check(tray.TrayTip() == QStringLiteral("Descargando") && tray.InTray() && tray.isIconShown(),
                   "cPindle lost its tip or its place in the tray")
             && check(*shownTip == QStringLiteral("Descargando"), "the tray was not given the tip");
    }
    pindle::setTrayBackendFactory({});
    const Commands expected{pindle::NotifyCommand::Add, pindle::NotifyCommand::Delete};
    return ok && check(*commands == expected, "the icon was not added once and removed once");
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const bool ok = progresoWorks() & graficaWorks() & pindleWorks();
    return ok ? 0 : 1;
}
