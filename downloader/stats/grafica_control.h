#pragma once

#include "stats/speed_graph.h"

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>

// The speed graph: the last nine values as markers with a label above each,
// joined by lines, on a dark background. Values are kilobytes per second.
class Grafica : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Grafica)
public:
    explicit Grafica(QWidget *parent = nullptr);
    ~Grafica() override;

    // The value at the top of the drawing area; it only grows.
    qint32 Max() const { return max_; }
    qint32 value(int index) const;
    QString label(int index) const;
    // Where marker and label `index` are drawn, in pixels; a label left out
    // because the window is too narrow for it has an empty rectangle.
    QRect markerRect(int index) const;
    QRect labelRect(int index) const;

    void Redraw();
    // Appends a value at the right, moving the older ones to the left.
    void addvalue(qint32 value, const QString &label);
    // Back to nine zeros and the starting scale.
    void reset();

signals:
    void Click();
    void DblClick();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    bool onBackground(QPoint pos) const;

    std::array<qint32, stats::kPoints> values_{};
    std::array<QString, stats::kPoints> labels_;
    std::array<QRect, stats::kPoints> markers_;
    std::array<QRect, stats::kPoints> labelRects_;
    std::array<bool, stats::kPoints> labelShown_{};
    std::array<QPoint, stats::kPoints> lineEnds_;
    qint32 max_ = stats::kStartMax;
    QFont labelFont_;
    bool afterDoubleClick_ = false;
};
