#pragma once

#include <QWidget>

class Grafica;

// The statistics window: the speed graph, filling the window. The engine
// hands it one total speed a second.
class estadisticas : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(estadisticas)
public:
    explicit estadisticas(QWidget *parent = nullptr);
    ~estadisticas() override;

    Grafica *grafica() const { return grafica_; }
    void addvalue(int value, const QString &label);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QSize outerSize() const;

    Grafica *grafica_ = nullptr;
};
