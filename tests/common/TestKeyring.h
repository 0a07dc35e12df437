#pragma once

#include <QString>

namespace vesk::test {

// The system keyring for tests, never the user's: the first call in a test process starts a
// private session bus (no service activation, so nothing else is started on it) and points the
// process at it; useTestKeyring() adds a gnome-keyring-daemon whose login keyring is created and
// unlocked with a fixed password under the test root. Both end with the test process.
//
// The first call decides the process's bus for good (GLib keeps its first connection), so a
// process either has a keyring or has none. Each answers an empty text when ready, else why not.
QString useTestKeyring();
QString useBusWithoutKeyring();

} // namespace vesk::test
