#include "core/ftp_step.h"

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcFtp, "tandrel.ftp", QtWarningMsg)

QString ftpStepName(FtpStep step)
{
    switch (step) {
    case FtpStep::None:
        return QString();
    case FtpStep::Login:
        return u"FTP"_s;
    case FtpStep::RestZero:
        return u"REST"_s;
    case FtpStep::Size:
        return u"GETSIZE"_s;
    case FtpStep::RestAt:
        return u"RESTAT"_s;
    case FtpStep::Passive:
        return u"PASV"_s;
    case FtpStep::Retrieve:
        return u"RETR"_s;
    case FtpStep::Done:
        return u"DONE"_s;
    }
    return QString();
}
