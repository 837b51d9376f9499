#pragma once

#include <QtGlobal>

// Bytes are moved in chunks that stay in the processor's cache between the
// socket and the file; the socket buffers little more, so a slow disk slows
// the sender instead of filling memory.
constexpr qint64 kReadChunk = 64 * 1024;
constexpr qint64 kSocketBuffer = 256 * 1024;
// Chunks one wake-up reads before the transfers sharing its thread get their
// turn: one fast download must not starve the others.
constexpr int kReadsPerWake = 8;

// Bytes of a file's tail asked for again and compared before anything is
// appended to bytes that the download did not write itself.
constexpr qint64 kTailProof = 4096;

// A row shows a transfer's progress at most this often.
constexpr int kReportEveryMs = 250;
