#pragma once

// Where a new download goes. Row counts include each table's hidden template
// row, so with a maximum of M at most M - 1 downloads are started by the add
// paths.
enum class AddTarget { Active, Queue, Refused };

// The add dialog lets the queue fill to 40 entries, the quick add to 38.
constexpr int kDialogQueueRows = 41;
constexpr int kQuickQueueRows = 39;

AddTarget admit(int maxdesc, int activeRows, int queueRows, int queueRowLimit);
