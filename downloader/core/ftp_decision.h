#pragma once

#include "core/ftp_step.h"

#include <QByteArray>
#include <QStringList>

// What the FTP commands of one download are made of.
struct FtpNames {
    QString user;
    QString password;
    QString directory; // "/pub/dir", "/" for the root
    QString file;      // as the server knows it
};

// What one complete control reply means in the step that awaits it.
struct FtpReplyDecision {
    enum class Act {
        Nothing,      // only the commands below, if any
        Lose,         // the connection is given up; a retry follows
        AskLogin,     // the login was refused
        RestZeroDone, // the answer to "REST 0": accepted tells whether the server resumes
        SizeKnown,    // size holds the file's size, -1 when the server does not tell
        RestAtDone,   // the answer to "REST n": accepted tells whether it stands
        OpenData,     // the passive reply: open the data connection, then RETR
        Confirmed     // the server says the whole file went out (226)
    };
    Act act = Act::Nothing;
    FtpStep next = FtpStep::None;
    QStringList send;
    bool accepted = false;
    qint64 size = -1;
};

FtpReplyDecision decideFtpReply(FtpStep step, const QByteArray &line, const FtpNames &names);

// "pub/dir/x.tgz" -> "/pub/dir"; a file in the root gives "/", since servers
// refuse a CWD without argument and the download would wait for ever.
QString ftpDirectory(const QString &path);
