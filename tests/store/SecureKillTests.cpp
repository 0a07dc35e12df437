// A run killed between a new secure item's secret and its row, then started again, against a
// private test keyring that another library of the same user shares.
#include "common/Eventually.h"
#include "common/TestEnvironment.h"
#include "common/TestKeyring.h"
#include "platform/LibsecretSecretStore.h"
#include "store/RealServices.h"
#include "store/VeskStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <gtest/gtest.h>

namespace vesk::test {
namespace {

std::optional<QByteArray> secretOf(SecretStore& keyring, const QUuid& id)
{
    auto read = keyring.readSecret(id);
    EXPECT_TRUE(read) << qPrintable(read.error().printedForm());
    return read ? *read : std::nullopt;
}

// The child's line that starts with prefix, read as it comes; none when the child ends first.
QString lineStartingWith(QProcess& child, const QString& prefix, QString& seen)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < realWaitMs(20000)) {
        while (child.canReadLine()) {
            const QString line = QString::fromUtf8(child.readLine()).trimmed();
            seen += line + QLatin1Char('\n');
            if (line.startsWith(prefix))
                return line.mid(prefix.size());
        }
        if (child.state() == QProcess::NotRunning)
            return {};
        child.waitForReadyRead(100);
    }
    return {};
}

TEST(SecureItemKill, TheNextStartRemovesOnlyTheSecretWhoseItemNeverGotItsRow)
{
    const QString ready = useTestKeyring();
    ASSERT_TRUE(ready.isEmpty()) << ready.toStdString();
    LibsecretSecretStore keyring;
    const QString dataDir = makeTempDirectory(QStringLiteral("secure-kill"));

    // Another library of the same user keeps a secret under the same service, for an item this
    // library has never heard of.
    const QUuid otherLibrarys = QUuid::createUuid();
    ASSERT_TRUE(keyring.saveSecret(otherLibrarys, "another library's secret"));

    QProcess child;
    child.setProgram(QStringLiteral(VESK_FAULT_CHILD));
    child.setArguments({QStringLiteral("secure"), dataDir});
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start();
    ASSERT_TRUE(child.waitForStarted(5000));
    QString seen;
    const QUuid kept = QUuid::fromString(lineStartingWith(child, QStringLiteral("kept "), seen));
    const QUuid orphan = QUuid::fromString(lineStartingWith(child, QStringLiteral("secret "), seen));
    ASSERT_FALSE(kept.isNull()) << seen.toStdString();
    ASSERT_FALSE(orphan.isNull()) << seen.toStdString();
    child.kill(); // SIGKILL: the secret is in the keyring, the item's row never written
    ASSERT_TRUE(child.waitForFinished(5000));
    ASSERT_EQ(secretOf(keyring, orphan), QByteArray("orphan-secret"));

    auto store = std::make_unique<VeskStore>(makeRealServices(dataDir));
    ASSERT_EVENTUALLY(!secretOf(keyring, orphan), 20000);
    EXPECT_EQ(store->items().size(), 1);
    EXPECT_EQ(secretOf(keyring, kept), QByteArray("kept-secret"));
    EXPECT_EQ(secretOf(keyring, otherLibrarys), QByteArray("another library's secret"));
    EXPECT_EQ(QDir(dataDir).entryList({QStringLiteral(".vesk-secure-items-being-added")}, QDir::Files | QDir::Hidden),
              QStringList()) << "the note goes once it names nothing";

    (void)keyring.deleteItem(otherLibrarys);
}

} // namespace
} // namespace vesk::test
