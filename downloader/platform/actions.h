#pragma once

#include <QList>
#include <QString>

class QComboBox;

// The list helper of the main window: a free element number for a control
// array, and whether a text is already an item of a combo box.
class actions {
public:
    // loaded[i] tells whether element i of the array is loaded (element 0,
    // the template, always is). Returns the lowest index >= 1 not loaded,
    // which may be loaded.size() (one past the end).
    static int FreeIndex(const QList<bool> &loaded);
    static bool NotInList(const QString &text, const QComboBox *combo);
};
