#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// A stretch of the log's text in one colour (a 32-bit colour value, red in the
// low byte, as LogEntry). Line ends in the text are CR LF.
struct RtfRun {
    QString text;
    quint32 color = 0;
};

// The whole RTF document for these runs, 7-bit ASCII: a colour table of the
// colours used (in order of first use; the file holds RGB only, so the top byte
// of a value is dropped), one \cfN at each change of colour, \par for each line
// end, \uN? for every non-ASCII character. Empty runs are left out.
QByteArray encodeRtf(const QList<RtfRun> &runs);

struct RtfLoad {
    QList<RtfRun> runs; // adjacent runs of one colour joined; line ends as CR LF
    QString error;      // empty when the whole document was read
    bool ok() const { return error.isEmpty(); }
};
// Reads our own documents and plain RTF written by other programs: font and
// style tables, pictures and other destinations are skipped, \'hh is taken as
// Windows-1252, \uN with its fallback, \par and \line as line ends. Damaged
// input gives the runs read before the damage and an error.
RtfLoad decodeRtf(const QByteArray &bytes);
