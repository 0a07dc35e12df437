#pragma once
// What closing the window would lose: items shown but not written, and imports still copying.
// The close waits a while for the imports, then asks before letting either go.

#include <QString>
#include <QStringList>

class QWidget;

namespace vesk {

class VeskStore;

// Turns the event loop (taking no input) until the store has no import under way, or msecs have
// passed; true when none is left.
bool waitForImportsToEnd(VeskStore& store, int msecs);

// The question's message and informative text for imports not finished, by their sources' names
// (count: how many there are, which may be more than the names known).
QString unfinishedImportsMessage(int count);
QString unfinishedImportsDetail(const QStringList& names, int count);

// Asks whether to close anyway: unsaved items (their count; libraryProblem: the library file
// cannot be read) and imports not finished, in one question. True lets the window close.
bool askToCloseWithUnfinishedWork(QWidget* parent, int unsaved, bool libraryProblem, const QStringList& imports,
                                  int importCount);

} // namespace vesk
