#pragma once

#include <QWidget>

class LogDocument;
class QTextEdit;

// The log window: shows the log document in its colours, read-only. It keeps
// no text of its own, so closing it loses nothing; when to end the log's
// session is the main window's call.
class historial : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(historial)

public:
    explicit historial(QWidget *parent = nullptr); // shows logDocument()
    explicit historial(LogDocument &document, QWidget *parent = nullptr);
    ~historial() override;

    QTextEdit *texto() const { return texto_; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void rebuild();
    void insertRun(const QString &text, quint32 color);
    void removeLeading(const QString &removed);
    void scrollToEnd();

    LogDocument &document_;
    QTextEdit *texto_ = nullptr;
    bool endsWithCr_ = false; // an LF that follows is the same line end
};
