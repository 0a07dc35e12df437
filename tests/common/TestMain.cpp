// Shared main() of every test executable: isolates the process from the user's data, settings and
// keyring, then starts a QApplication so widget tests and queued continuations work.
#include "common/TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);

    const QString root = vesk::test::testRoot();
    for (const char* name : {"data", "config", "cloud"})
        QDir().mkpath(root + QLatin1Char('/') + QLatin1String(name));
    qputenv("VESK_DATA_DIR", (root + "/data").toUtf8());
    qputenv("VESK_CONFIG_DIR", (root + "/config").toUtf8());
    qputenv("VESK_CLOUD_DIR", (root + "/cloud").toUtf8());
    // Temporary files of this process go into its own folder: test processes run side by side,
    // and a test that checks nothing was left behind must not see another one's files.
    // Short: a child test process makes its own test root inside it, and sockets there must
    // stay within the 108 bytes of a socket's path.
    QDir().mkpath(root + "/t");
    qputenv("TMPDIR", (root + "/t").toUtf8());
    // Playback goes through FFmpeg, as in the application; never a sound card.
    qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    qputenv("XDG_DATA_HOME", (root + "/xdg-data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + "/xdg-config").toUtf8());
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = root + QStringLiteral("/runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VeskTests"));
    return RUN_ALL_TESTS();
}
