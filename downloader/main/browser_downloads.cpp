// Downloads the user's web browser hands over, through the quick add.
#include "main/mainwindow.h"

#include "log/log_append.h"
#include "platform/prompts.h"

#include <QComboBox>

using namespace Qt::StringLiterals;

namespace {
// The quick add tells a refusal in a box; for the browser it is kept and
// answered instead, so nothing waits on a box the user may not be looking
// at. A question (overwrite an old file?) still goes to the user.
class KeptMessages : public platform::Prompts {
public:
    KeptMessages() : outer_(&platform::prompts()) { platform::setPrompts(this); }
    ~KeptMessages() override { platform::setPrompts(outer_); }
    KeptMessages(const KeptMessages &) = delete;
    KeptMessages &operator=(const KeptMessages &) = delete;

    QString kept() const { return kept_; }

    void message(const QString &text, platform::Icon, const QString &) override { kept_ = text; }
    bool question(const QString &text, const QString &caption) override { return outer_->question(text, caption); }
    QString input(const QString &prompt, const QString &defaultText, const QString &caption) override
    {
        return outer_->input(prompt, defaultText, caption);
    }
    QString openFile(const QString &presetName, const QString &defaultSuffix, const QString &caption) override
    {
        return outer_->openFile(presetName, defaultSuffix, caption);
    }
    QString saveFile(const QString &presetName, const QString &defaultSuffix, const QString &caption) override
    {
        return outer_->saveFile(presetName, defaultSuffix, caption);
    }
    QString chooseFolder(const QString &startFolder, const QString &caption) override
    {
        return outer_->chooseFolder(startFolder, caption);
    }
    int execDialog(QDialog &dialog) override { return outer_->execDialog(dialog); }
    void notice(const QString &text, const QString &picturePath) override { outer_->notice(text, picturePath); }

private:
    platform::Prompts *outer_;
    QString kept_;
};
} // namespace

QList<HandOffAnswer> MainWindow::takeBrowserDownloads(const QList<BrowserDownload> &downloads)
{
    QList<HandOffAnswer> answers;
    for (const BrowserDownload &d : downloads) {
        bool taken = false;
        QString said;
        {
            const KeptMessages messages;
            quickadd_->setEditText(d.address);
            taken = quickAddAs(d.fileName, d.session);
            said = messages.kept();
        }
        if (!taken && said.isEmpty())
            said = u"Tandrel no ha tomado la descarga."_s;
        if (!taken)
            // The box's text runs over two lines; the log's entry is one.
            appendLog(u"\r\nNo se ha tomado la descarga enviada por el navegador ("_s + d.address + u"): "_s
                          + said.simplified(),
                      0x0000FF);
        answers.append({d.address, taken, said});
    }
    return answers;
}
