#pragma once

#include "log/rtf_codec.h"

// How many characters to cut from the start of the log's text so that its saved
// form (encodeRtf) fits in histsize kilobytes: the fewest whole leading lines,
// each cut ending just after a CR LF. When even cutting through the last CR LF
// is not enough, that is where the cut stops; the unfinished last line stays.
qsizetype logTrimLength(const QList<RtfRun> &runs, int histsize);

// The runs without the first count characters of their text.
QList<RtfRun> dropLeadingText(const QList<RtfRun> &runs, qsizetype count);
