#pragma once

class QGridLayout;
class QHBoxLayout;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

// The parts both batch windows lay out alike: the "Descargar" and "No
// descargar" lists with the move buttons between them, and the destination
// row with the batch button.
QGridLayout *choiceLists(QWidget *owner, QListWidget *si, QListWidget *no, QPushButton *tono, QPushButton *tosi);
QHBoxLayout *destinationRow(QWidget *owner, QLineEdit *destdir, QPushButton *brdir, QPushButton *addtolist);
