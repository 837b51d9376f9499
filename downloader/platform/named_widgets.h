#pragma once

#include <QString>

class QListWidget;
class QPushButton;
class QWidget;

// Dialog parts named for lookup. A button never becomes the dialog's default,
// so Enter in an edit box does not press it.
QPushButton *namedButton(const QString &name, const QString &caption, QWidget *parent);
QListWidget *namedList(const QString &name, QWidget *parent);

// Moves the selected item of one list to the end of the other; nothing
// without a selection.
void moveSelectedItem(QListWidget *from, QListWidget *to);
