#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

// Finds the addresses behind link and image tags in the raw text of a page.
// A plain text search, not an HTML parser: two literal tags, four delimiters.

inline constexpr QStringView kLinkTag = u"a href=";
inline constexpr QStringView kImageTag = u"img src=";

// The three scan modes of the link-list window.
enum class ScanMode { LinkOnly, ImageOnly, LinkAndImage };

// The two result lists, in page order, repeats kept.
struct LinkLists {
    QStringList si; // "Descargar": the address ends in one of the wanted extensions
    QStringList no; // "No descargar"
    qsizetype total() const { return si.size() + no.size(); }
};

// More addresses than this in the two lists together end a scan with an error;
// it also bounds the memory a hostile page can make us spend.
inline constexpr qsizetype kMaxAddresses = 32767;

// Lets the caller keep its window live during a long scan: called with the
// running total of both lists after every `every` listed addresses. A report
// that returns false ends the scan there, with no error (the window closed).
struct ScanProgress {
    std::function<bool(qsizetype total)> report;
    qsizetype every = 256;
};

// "12 direcciones encontradas": the status line for a total.
QString foundText(qsizetype total);

// Appends to `lists` (never clears them) every address found for the tags of
// `mode`, completed against the base of `address`. Returns one error text
// per tag whose scan ended early; the addresses found before stay listed.
QStringList getlinks(QStringView page, const QString &address, ScanMode mode, const QStringList &ext, LinkLists &lists,
                     const ScanProgress &progress = {});

// One tag's scan. Returns the error text that ended it, or an empty text
// (also when the report ended it).
QString Add_Link(QStringView page, QStringView tag, const QString &base, const QStringList &ext, LinkLists &lists,
                 const ScanProgress &progress = {});

// True when the address ends in none of the items of `ext` (exact,
// case-sensitive; "zip" also matches "backupzip").
bool SearchExtension(QStringView address, const QStringList &ext);

// The folder of a page address, up to and including its last "/": relative
// links are completed against it.
QString GetMainWeb(const QString &address);
