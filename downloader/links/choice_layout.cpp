#include "links/choice_layout.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace Qt::StringLiterals;

QGridLayout *choiceLists(QWidget *owner, QListWidget *si, QListWidget *no, QPushButton *tono, QPushButton *tosi)
{
    auto *moves = new QVBoxLayout;
    moves->addStretch();
    moves->addWidget(tono);
    moves->addWidget(tosi);
    moves->addStretch();
    auto *lists = new QGridLayout;
    lists->addWidget(new QLabel(u"Descargar"_s, owner), 0, 0);
    lists->addWidget(new QLabel(u"No descargar"_s, owner), 0, 2);
    lists->addWidget(si, 1, 0);
    lists->addLayout(moves, 1, 1);
    lists->addWidget(no, 1, 2);
    return lists;
}

QHBoxLayout *destinationRow(QWidget *owner, QLineEdit *destdir, QPushButton *brdir, QPushButton *addtolist)
{
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(u"Descargar a la carpeta:"_s, owner));
    bottom->addWidget(destdir, 1);
    bottom->addWidget(brdir);
    bottom->addWidget(addtolist);
    return bottom;
}
