#pragma once

#include "grafica_export.h"

#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QWidget>

class QPainter;
class QPrinter;

// A line graph of integer values over a percentage grid: each value is a
// circular marker with its caption above it, consecutive markers are joined
// by lines, and the vertical scale fits the largest value. Lengths are twips
// (15 to a pixel); colours are 32-bit values with red in the low byte, and a
// value with the top bit set names a system colour.
//
// Markers and captions are drawn from the current values and colours; the
// grid and the connecting lines keep the colours of the last redraw.
class GRAFICA_EXPORT grafica : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(grafica)
    Q_PROPERTY(quint32 BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(quint32 ForeColor READ ForeColor WRITE setForeColor)
    Q_PROPERTY(quint32 PointColor READ PointColor WRITE setPointColor)
    Q_PROPERTY(quint32 LineColor READ LineColor WRITE setLineColor)
    Q_PROPERTY(quint32 YCoord READ YCoord WRITE setYCoord)
    Q_PROPERTY(quint32 XCoord READ XCoord WRITE setXCoord)
    Q_PROPERTY(quint32 Coord READ Coord WRITE setCoord)

public:
    explicit grafica(QWidget *parent = nullptr);
    ~grafica() override;

    // Appends a value; false when the series is full (kMaxMarkers).
    bool newval(qint32 val, const QString &caption);
    void drawgrafic();
    // Prints on the printer set with setPrinter, else on the system's default
    // printer; false when the printer cannot be opened or finished.
    bool printgrafic();
    void clear();
    // Both ignore an index that names no value.
    void ChangeCaption(qint16 index, const QString &caption);
    void ChangeValue(qint16 index, qint32 val);
    void About();

    // Reading BackColor redraws the graph, as hosts of the control expect.
    quint32 BackColor();
    void setBackColor(quint32 color);
    quint32 ForeColor() const;
    void setForeColor(quint32 color);
    quint32 PointColor() const;
    void setPointColor(quint32 color);
    quint32 LineColor() const;
    void setLineColor(quint32 color);
    quint32 YCoord() const;
    void setYCoord(quint32 color);
    quint32 XCoord() const;
    void setXCoord(quint32 color);
    quint32 Coord() const;
    void setCoord(quint32 color);

    // An empty graph still has one marker, whose value reads as 0.
    int markerCount() const;
    bool hasValues() const;
    qint32 value(int index) const;
    QString caption(int index) const;

    // The captions drawn on the control: on a narrow graph only every second,
    // third, ... from the first, so that no two of them overlap.
    QList<int> drawnLabels() const;
    // Where caption index sits, in pixels (drawn or not).
    QRectF labelRect(int index) const;

    // Where printgrafic prints; null means the system's default printer. The
    // printer stays the caller's and must outlive its use here.
    void setPrinter(QPrinter *printer);

    QSize sizeHint() const override;

signals:
    void Click();
    void DblClick();
    // Part of the control's interface for hosts; never raised.
    void Redraw();
    void KeyPress(int KeyAscii);
    void KeyUp(int KeyCode, int Shift);
    void KeyDown(int KeyCode, int Shift);

protected:
    // Shows the About box; a subclass may replace it (tests do, so that no
    // modal box waits for a user).
    virtual void showAboutBox(const QString &title, const QString &text);

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Colours the last redraw drew the grid, axes and lines in.
    struct Surface {
        quint32 rows = 0;
        quint32 columns = 0;
        quint32 axes = 0;
        quint32 lines = 0;
    };

    void paintLabels(QPainter &p, const QRectF &visible, double scale);
    // The captions' box widths in twips (0 for none), measured once per
    // caption and font: a long series would otherwise be measured on every
    // paint.
    const QList<double> &labelWidths() const;
    qsizetype labelStride() const;
    QRectF labelTwips(qsizetype index, double scale) const;

    // Marker 0 of an empty graph is a placeholder that the first value takes.
    QList<qint32> values_;
    QStringList captions_;
    bool empty_ = true;

    quint32 back_ = 0xE0E0E0;
    quint32 fore_ = 0x80000008;
    quint32 point_ = 0xFF0000;
    quint32 line_ = 0x0000FF;
    quint32 rows_ = 0xC0C0FF;
    quint32 columns_ = 0xFFC0C0;
    quint32 axes_ = 0;
    Surface drawn_;

    mutable QList<double> labelWidths_;
    QPrinter *printer_ = nullptr;
    bool afterDoubleClick_ = false;
};
