#include "common/TestKeyring.h"

#include "common/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sys/prctl.h>
#include <vector>

namespace vesk::test {

namespace {

enum class BusKind { WithKeyring, WithoutKeyring };

const QByteArray kKeyringPassword = "vesk-test-keyring";

struct PrivateBus {
    BusKind kind;
    QString failure;
};

// The helper processes, which live until the test process exits: held here, and deleted only by
// stopChildren at exit, once they have ended (a destructor would wait for them to end).
std::vector<QProcess*>& childProcesses()
{
    static std::vector<QProcess*> processes;
    return processes;
}

void stopChildren()
{
    // A helper that has already ended has no process id; 0 would signal this whole process
    // group, the test runner included.
    for (auto it = childProcesses().rbegin(); it != childProcesses().rend(); ++it) {
        if (const pid_t pid = pid_t((*it)->processId()); pid > 0)
            ::kill(pid, SIGTERM);
    }
    // Reaped and let go before the process ends: a helper left unwaited for stays behind as a
    // zombie, and its QProcess, no longer held once the list goes, is a leak at exit.
    for (auto it = childProcesses().rbegin(); it != childProcesses().rend(); ++it) {
        (*it)->waitForFinished(5000);
        delete *it; // kills and waits for one that did not end on the signal
    }
    childProcesses().clear();
}

// A helper process that dies with the test process, however that ends.
QProcess* startChild(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process->start(program, arguments);
    if (!process->waitForStarted(5000))
        return nullptr;
    childProcesses().push_back(process.release());
    return childProcesses().back();
}

QString writeBusConfig(const QString& directory)
{
    // A session bus that lets every client talk to and own any name, and has no service
    // directories, so nothing (in particular no keyring) is ever started on demand.
    const QString path = directory + QStringLiteral("/bus.conf");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(QStringLiteral(
                   "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig>\n"
                   "  <type>session</type>\n"
                   "  <listen>unix:dir=%1</listen>\n"
                   "  <auth>EXTERNAL</auth>\n"
                   "  <policy context=\"default\">\n"
                   "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                   "    <allow eavesdrop=\"true\"/>\n"
                   "    <allow own=\"*\"/>\n"
                   "  </policy>\n"
                   "</busconfig>\n")
                   .arg(directory)
                   .toUtf8());
    return path;
}

bool nameHasOwner(GDBusConnection* connection, const char* name)
{
    GVariant* reply = g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", name),
                                                  G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    if (!reply)
        return false;
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned;
}

bool waitForName(const QString& address, const char* name)
{
    GError* error = nullptr;
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
        address.toUtf8().constData(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (!connection) {
        g_clear_error(&error);
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    bool owned = false;
    while (!(owned = nameHasOwner(connection, name)) && waited.elapsed() < 10000)
        QThread::msleep(20);
    g_dbus_connection_close_sync(connection, nullptr, nullptr);
    g_object_unref(connection);
    return owned;
}

PrivateBus startPrivateBus(BusKind kind)
{
    // A short name: the bus's socket goes in it, and a child test process's test root already
    // lies inside its parent's.
    QTemporaryDir made(testRoot() + QStringLiteral("/bus-XXXXXX"));
    made.setAutoRemove(false); // removed with the test root
    const QString root = made.path();
    const QString config = writeBusConfig(root);
    if (config.isEmpty())
        return {kind, QStringLiteral("cannot write the bus configuration")};

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess* bus = startChild(QStringLiteral("dbus-daemon"),
                               {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                                QStringLiteral("--print-address=1")},
                               environment);
    if (!bus)
        return {kind, QStringLiteral("dbus-daemon did not start (is the dbus package installed?)")};
    std::atexit(stopChildren);
    QElapsedTimer waited;
    waited.start();
    while (!bus->canReadLine() && waited.elapsed() < 10000)
        bus->waitForReadyRead(100);
    const QString address = QString::fromUtf8(bus->readLine()).trimmed();
    if (address.isEmpty())
        return {kind, QStringLiteral("dbus-daemon gave no address")};
    // From here on, everything in this process that opens the session bus opens this one.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    if (kind == BusKind::WithoutKeyring)
        return {kind, {}};

    for (const char* folder : {"data", "home", "control"})
        QDir().mkpath(root + QLatin1Char('/') + QLatin1String(folder));
    QFile::setPermissions(root + QStringLiteral("/control"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/data"));
    environment.insert(QStringLiteral("HOME"), root + QStringLiteral("/home"));
    QProcess* keyring = startChild(QStringLiteral("gnome-keyring-daemon"),
                                   {QStringLiteral("--unlock"), QStringLiteral("--components=secrets"),
                                    QStringLiteral("--foreground"),
                                    QStringLiteral("--control-directory=") + root + QStringLiteral("/control")},
                                   environment);
    if (!keyring)
        return {kind, QStringLiteral("gnome-keyring-daemon did not start (is the gnome-keyring package installed?)")};
    // --unlock reads the login keyring's password from standard input; a fresh keyring folder
    // gets a new login keyring with it.
    keyring->write(kKeyringPassword);
    keyring->waitForBytesWritten(5000);
    keyring->closeWriteChannel();
    if (!waitForName(address, "org.freedesktop.secrets"))
        return {kind, QStringLiteral("gnome-keyring-daemon did not offer the Secret Service: ")
                          + QString::fromLocal8Bit(keyring->readAllStandardError())};
    return {kind, {}};
}

QString usePrivateBus(BusKind kind)
{
    static const PrivateBus bus = startPrivateBus(kind);
    if (!bus.failure.isEmpty())
        return bus.failure;
    if (bus.kind != kind)
        return kind == BusKind::WithKeyring ? QStringLiteral("this test process already runs without a keyring")
                                            : QStringLiteral("this test process already runs with a keyring");
    return {};
}

} // namespace

QString useTestKeyring()
{
    return usePrivateBus(BusKind::WithKeyring);
}

QString useBusWithoutKeyring()
{
    return usePrivateBus(BusKind::WithoutKeyring);
}

} // namespace vesk::test
