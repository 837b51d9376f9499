#include "core/ftp_decision.h"

#include "core/ftp_reply.h"

using namespace Qt::StringLiterals;

namespace {

using Act = FtpReplyDecision::Act;

FtpReplyDecision stay(FtpStep step, Act act = Act::Nothing)
{
    FtpReplyDecision d;
    d.next = step;
    d.act = act;
    return d;
}

bool refused(int code)
{
    return code >= 400;
}

FtpReplyDecision login(int code, const FtpNames &names)
{
    FtpReplyDecision d = stay(FtpStep::Login);
    switch (code) {
    case 220:
        d.send << u"USER "_s + names.user;
        break;
    case 331:
        d.send << u"PASS "_s + names.password;
        break;
    case 230:
        // Image type, so the bytes arrive unchanged and SIZE is allowed.
        d.send << u"TYPE I"_s << u"CWD "_s + names.directory;
        break;
    case 250:
        // The answer to "REST 0" tells whether this server resumes; the size
        // is asked for at once, its answer comes second.
        d.send << u"REST 0"_s << u"SIZE "_s + names.file;
        d.next = FtpStep::RestZero;
        break;
    default:
        // A missing folder, a server going down: not worth waiting for the
        // watchdog. TYPE may be refused harmlessly (500, 502, 504).
        if (refused(code) && code != 500 && code != 502 && code != 504)
            d.act = Act::Lose;
        break;
    }
    return d;
}

} // namespace

FtpReplyDecision decideFtpReply(FtpStep step, const QByteArray &line, const FtpNames &names)
{
    const int code = ftpReplyCode(line);
    if (code == 530)
        return stay(step, Act::AskLogin);
    switch (step) {
    case FtpStep::None:
    case FtpStep::Done:
        return stay(step);
    case FtpStep::Login:
        return login(code, names);
    case FtpStep::RestZero:
        if (code == 350 || refused(code)) {
            FtpReplyDecision d = stay(FtpStep::Size, Act::RestZeroDone);
            d.accepted = code == 350;
            return d;
        }
        return stay(step);
    case FtpStep::Size:
        if (code == 213 || refused(code)) {
            FtpReplyDecision d = stay(step, Act::SizeKnown);
            d.size = code == 213 ? ftpSizeValue(line) : -1;
            return d;
        }
        return stay(step);
    case FtpStep::RestAt:
        if (code == 350 || refused(code)) {
            FtpReplyDecision d = stay(FtpStep::Passive, Act::RestAtDone);
            d.accepted = code == 350;
            d.send << u"PASV"_s;
            return d;
        }
        return stay(step);
    case FtpStep::Passive:
        if (code == 227) {
            FtpReplyDecision d = stay(FtpStep::Retrieve, Act::OpenData);
            d.send << u"RETR "_s + names.file;
            return d;
        }
        return stay(step, refused(code) ? Act::Lose : Act::Nothing);
    case FtpStep::Retrieve:
        if (code == 226 || code == 250)
            return stay(FtpStep::Done, Act::Confirmed);
        // "426 Transfer aborted" and its kind: what arrived is not the whole file.
        return stay(step, refused(code) ? Act::Lose : Act::Nothing);
    }
    return stay(step);
}

QString ftpDirectory(const QString &path)
{
    const QStringList parts = path.split(u'/');
    QString directory;
    for (qsizetype k = 0; k + 1 < parts.size(); ++k)
        directory += u'/' + parts[k];
    return directory.isEmpty() ? u"/"_s : directory;
}
