#include "log/historial.h"

#include "log/log_document.h"
#include "platform/ole_color.h"
#include "platform/twips.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The log's line ends (CR LF, or a lone CR or LF) as the text box's own.
QString displayed(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            out += u'\n';
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

historial::historial(QWidget *parent) : historial(logDocument(), parent) {}

historial::historial(LogDocument &document, QWidget *parent) : QWidget(parent), document_(document)
{
    setWindowTitle(u"Historial"_s);
    texto_ = new QTextEdit(this);
    texto_->setObjectName(u"texto"_s);
    texto_->setReadOnly(true);
    texto_->setUndoRedoEnabled(false);
    texto_->setAcceptRichText(false);
    rebuild();
    connect(&document_, &LogDocument::appended, this, [this](const QString &text, quint32 color) {
        insertRun(text, color);
        scrollToEnd();
    });
    connect(&document_, &LogDocument::trimmed, this, &historial::removeLeading);
    connect(&document_, &LogDocument::replaced, this, &historial::rebuild);
}

historial::~historial() = default;

void historial::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int width = std::max(0, platform::pixelsToTwips(this->width()) - 120);
    const int height = std::max(0, platform::pixelsToTwips(this->height()) - 500);
    texto_->setGeometry(0, 0, platform::twipsToPixels(width), platform::twipsToPixels(height));
}

void historial::rebuild()
{
    texto_->clear();
    endsWithCr_ = false;
    for (const RtfRun &run : document_.runs())
        insertRun(run.text, run.color);
    scrollToEnd();
}

void historial::insertRun(const QString &text, quint32 color)
{
    QStringView rest(text);
    if (endsWithCr_ && rest.startsWith(u'\n'))
        rest = rest.mid(1);
    if (!text.isEmpty())
        endsWithCr_ = text.endsWith(u'\r');
    if (rest.isEmpty())
        return;
    QTextCharFormat format;
    format.setForeground(platform::oleColor(color));
    QTextCursor cursor(texto_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(displayed(rest), format);
}

void historial::removeLeading(const QString &removed)
{
    // The cut always ends after a whole line end, so the removed text maps
    // onto the box's leading characters one for one.
    const qsizetype count = displayed(removed).size();
    if (count >= texto_->document()->characterCount() - 1 || document_.isEmpty()) {
        rebuild();
        return;
    }
    QTextCursor cursor(texto_->document());
    cursor.setPosition(int(count), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void historial::scrollToEnd()
{
    QScrollBar *bar = texto_->verticalScrollBar();
    bar->setValue(bar->maximum());
}
