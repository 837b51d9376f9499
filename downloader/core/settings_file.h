#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Every value tandrel.ini holds, in file order. The numeric settings that sit
// in a text box coupled to an up-down keep both: the text is what the file
// stores, the number is what the up-down shows.
struct SettingsValues {
    QString defdir;        // 1
    bool initstart = true; // 2
    bool showmsg = false;  // 3
    bool exevirus = false; // 4
    QString virus;         // 5
    QString segs;          // 6
    int segsv = 5;
    QString veces; // 7
    int vecesv = 5;
    bool delinc = false;   // 8
    bool dellista = false; // 9
    bool autocont = true;  // 10
    QString maxdesc;       // 11
    int maxdescval = 10;
    QString wait; // 12
    int waitv = 10;
    bool checkact = true;  // 13
    bool autoact = false;  // 14
    bool notact = true;    // 15
    bool msgno = false;    // 16
    bool msgdialog = true; // 17
    bool msgsys = false;   // 18
    bool wavs = true;      // 19
    QString histrut;       // 20
    int histsize = 10;     // 21
    QStringList ext;       // 22 and on
    // After the extensions, each a line of its own that an older reader
    // takes for one more extension ("límite=<n>").
    int speedLimitKb = 0; // Kb/seg shared by every download; 0 is no limit
    int connections = 4;  // connections per http(s) download ("conexiones=<n>"); 1 is one as before

    bool operator==(const SettingsValues &) const = default;
};

inline constexpr int minConnections = 1;
inline constexpr int maxConnections = 16;

// The lines before the extension list.
inline constexpr int settingsFixedLines = 21;

// The highest speed limit the settings take, in Kb/seg (about 1 GB/s).
inline constexpr int maxSpeedLimitKb = 1000000;

// The built-in values, used for whatever the file does not give.
SettingsValues defaultSettings(const QString &programFolder);

// The whole file: one value per line, CR LF line ends.
QByteArray encodeSettings(const SettingsValues &values);

struct SettingsReadResult {
    SettingsValues values; // defaults for every line not read
    int linesRead = 0;     // how many of lines 1-21 were taken from the file
    QString error;         // empty when the whole file was read
    bool ok() const { return error.isEmpty(); }
};

// Reads the file's bytes; stops at the first line it cannot use and says why.
SettingsReadResult decodeSettings(const QByteArray &bytes, const QString &programFolder);

// Reads the file at path; every error description names the file.
SettingsReadResult readSettingsFile(const QString &path, const QString &programFolder);
