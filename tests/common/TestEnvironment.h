#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace vesk::test {

// Every test executable runs inside its own temporary root: the data folder, the settings file
// and the cloud folder point there, never at the user's own; a test that needs the system keyring
// gets a private one there too (common/TestKeyring.h). TestMain sets it up before any test runs.
QString testRoot();

// A fresh, empty folder under the test root for one test; removed at the end of the run.
QString makeTempDirectory(const QString& prefix = QStringLiteral("case"));

// Writes bytes to path, making its folder first; returns the path.
QString writeFile(const QString& path, const QByteArray& bytes);

// writeFile, for a file born after moment: the file system's clock moves in steps of a few
// milliseconds, so the file is made again until its birth time has passed moment. Only for file
// systems that keep birth times.
QString writeFileBornAfter(const QDateTime& moment, const QString& path, const QByteArray& bytes);

// A bound on a real wait (a worker's read, a child process, a paint on the painting pool) for a
// build whose code runs as usual. A test that waits so ends as soon as the work does; the bound
// only says when to give up. A build with a sanitizer runs the same work many times slower.
constexpr int realWaitMs(int milliseconds)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return milliseconds * 10;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return milliseconds * 10;
#else
    return milliseconds;
#endif
#else
    return milliseconds;
#endif
}

} // namespace vesk::test
