#pragma once

#include <QByteArray>
#include <QStringList>

// listado.lst beside the program: the link window's wanted extensions, one
// a line, each ended by CR LF.

// The extensions the window starts with when there is no listado.lst.
QStringList factoryExtensions();

// The items of the file; blank lines are not items (a blank item would match
// every address).
QStringList decodeExtensionList(const QByteArray &bytes);
QByteArray encodeExtensionList(const QStringList &items);

// Reads listado.lst; false when there is none (the factory items stay).
bool readExtensionList(QStringList &items);
// Rewrites listado.lst whole through a temporary file; false with *error when it failed.
bool writeExtensionList(const QStringList &items, QString *error);
