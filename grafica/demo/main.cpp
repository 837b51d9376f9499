#include <grafica.h>

#include <QApplication>
#include <QPrinter>
#include <QTextStream>
#include <QTimer>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// A wave with a slow rise, so the scale keeps growing for a while.
qint32 sample(int i)
{
    return qint32(std::lround(50 + 40 * std::sin(i / 2.0) + 3 * i));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    grafica graph;
    graph.setWindowTitle(u"Gráfica"_s);
    graph.resize(640, 400);
    int next = 0;
    for (; next < 12; ++next)
        graph.newval(sample(next), QString::number(next + 1));

    const QStringList args = QApplication::arguments();
    const qsizetype pdf = args.indexOf(u"--pdf"_s);
    if (pdf >= 0) {
        if (pdf + 1 >= args.size()) {
            QTextStream(stderr) << "usage: grafica_demo [--pdf FILE]\n";
            return 2;
        }
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(args.at(pdf + 1));
        graph.setPrinter(&printer);
        if (!graph.printgrafic()) {
            QTextStream(stderr) << "could not print to " << args.at(pdf + 1) << '\n';
            return 1;
        }
        return 0;
    }

    // One more value a second; a double click shows the About box.
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, &graph, [&graph, &next] {
        graph.newval(sample(next), QString::number(next + 1));
        ++next;
    });
    QObject::connect(&graph, &grafica::DblClick, &graph, &grafica::About);
    feed.start(1000);
    graph.show();
    return QApplication::exec();
}
