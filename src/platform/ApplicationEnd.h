#pragma once
// The end of main(), shared with the tests that quit the application amid work, so that what they
// check is the ending the application runs.

#include <QObject>
#include <memory>

namespace vesk {

// Lets running go (the window and the store, whose destructors still end work on the pools), then
// waits up to msecs for the pools' jobs before the application object goes (finishWorkBeforeExit).
// Gives the exit code for main() to return.
[[nodiscard]] int endApplication(std::unique_ptr<QObject> running, int exitCode, int msecs = 5000);

// Runs the application's event loop until it is asked to end, then ends as endApplication does.
[[nodiscard]] int runApplicationToItsEnd(std::unique_ptr<QObject> running, int msecs = 5000);

} // namespace vesk
