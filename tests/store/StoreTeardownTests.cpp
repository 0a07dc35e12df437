// A store destroyed while its work still runs, on the real services and a real library folder.
#include "common/Fakes.h"
#include "common/TestEnvironment.h"
#include "store/RealServices.h"
#include "store/VeskStore.h"

#include <QCoreApplication>
#include <QImage>
#include <QUuid>
#include <gtest/gtest.h>

namespace vesk::test {
namespace {

// Under the address sanitizer the loop is what finds a result posted to a destroyed store or a
// worker left holding freed memory; the normal build keeps the suite quick.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kRounds = 200;
#else
constexpr int kRounds = 5;
#endif

TEST(StoreTeardown, AStoreDestroyedAmidImportCaptureAnalysisAndDeepPassLeavesNothingToReachIt)
{
    const QString sources = makeTempDirectory(QStringLiteral("teardown-sources"));
    const QString picture = sources + QStringLiteral("/portrait.png");
    QImage image(800, 600, QImage::Format_RGB32);
    image.fill(Qt::darkYellow);
    ASSERT_TRUE(image.save(picture));
    const QString document = writeFile(sources + QStringLiteral("/report.pdf"), QByteArray(4 << 20, '%'));
    // Ten megabytes of words, so that the capture goes through the capture worker.
    QString capture;
    capture.reserve(10 << 20);
    for (int word = 0; capture.size() < (10 << 20); ++word)
        capture += QStringLiteral("harbour%1 ").arg(word % 5000);

    for (int round = 0; round < kRounds; ++round) {
        VeskServices services = makeRealServices(makeTempDirectory(QStringLiteral("teardown-library")));
        services.secrets = std::make_shared<FakeSecretStore>();
        services.watchInboxes = false;
        auto store = std::make_unique<VeskStore>(services);
        (void)store->importFile(document);
        (void)store->importFile(picture);
        store->addText(capture);
        store->analyzeItem(picture, QUuid::createUuid());
        store->startDeepSearch(QStringLiteral("harbour12"));
        // Some of the work starts, none of it is done.
        QCoreApplication::processEvents();
        store.reset();
        // Whatever finishes now finds no store to hand its result to.
        QCoreApplication::processEvents();
    }
}

} // namespace
} // namespace vesk::test
