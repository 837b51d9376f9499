#pragma once

#include "progreso_export.h"

#include <QWidget>

// A pie: a disc in BackColor with the sector value / MaxValue filled in
// ForeColor, starting at twelve o'clock and growing clockwise.
class PROGRESO_EXPORT tarta : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(tarta)
public:
    explicit tarta(QWidget *parent = nullptr);
    ~tarta() override;

    qint32 value() const;
    void setValue(qint32 v);
    qint32 MaxValue() const;
    void setMaxValue(qint32 v);
    quint32 BackColor() const;
    void setBackColor(quint32 color);
    quint32 ForeColor() const;
    void setForeColor(quint32 color);

    void redraw();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qint32 value_ = 0;
    qint32 max_ = 0;
    quint32 back_ = 0xC000;
    quint32 fore_ = 0xC00000;
};
