#pragma once

#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcFtp)

// The FTP step whose reply the control connection awaits.
enum class FtpStep {
    None,     // no FTP exchange going on
    Login,    // USER, PASS, TYPE and CWD until the directory is changed
    RestZero, // "REST 0" sent: its answer tells whether the server resumes
    Size,     // "SIZE" sent
    RestAt,   // "REST n" sent to resume: the answer decides where the bytes go
    Passive,  // "PASV" sent
    Retrieve, // "RETR" sent: the data connection carries the file
    Done      // the server confirmed the whole transfer (226)
};

// The names the steps had in the text form: "", "FTP", "REST", "GETSIZE", ...
QString ftpStepName(FtpStep step);
