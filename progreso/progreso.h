#pragma once

#include "progreso_export.h"

#include <QWidget>

// A horizontal progress bar: a rectangle in FRColor from the left edge to
// value / MaxValue of the width. Colours are 32-bit values, red in the low byte.
class PROGRESO_EXPORT progreso : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(progreso)
public:
    explicit progreso(QWidget *parent = nullptr);
    ~progreso() override;

    qint32 value() const;
    void setValue(qint32 v);
    qint32 MaxValue() const;
    void setMaxValue(qint32 v);
    quint32 FRColor() const;
    void setFRColor(quint32 color);
    quint32 BGColor() const;
    void setBGColor(quint32 color);
    bool view_3D() const;
    void setView_3D(bool on);
    bool border() const;
    void setBorder(bool on);

    void redraw();

signals:
    void Click();
    void DblClick();
    void MouseUp(int button);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    int frameWidth() const;
    void updateFrame();

    qint32 value_ = 0;
    qint32 max_ = 100;
    quint32 fr_ = 255;
    quint32 bg_;
    bool view3d_ = false;
    bool border_ = false;
    bool afterDoubleClick_ = false;
};
