// A large capture made ready on the capture worker, stopped by its store going away.
#include "common/TestEnvironment.h"
#include "platform/CancellationToken.h"
#include "store/CapturePreparation.h"
#include "store/CaptureRowWriter.h"
#include "store/SQLiteDatabase.h"

#include <QDateTime>
#include <QUuid>
#include <gtest/gtest.h>

namespace vesk::test {
namespace {

// A store destroyed mid-capture must not wait for the whole preparation, nor leave a row that
// its window never showed half made: a cancel seen at any step ends it there, with no row.
TEST(CapturePreparation, ACancelledCaptureStopsAtItsNextStepAndWritesNoRow)
{
    enum class CancelAt { BeforeStart, WhileComparing, AfterPreparing, Never };
    const struct {
        const char* name;
        CancelAt at;
    } cases[] = {
        {"before it starts", CancelAt::BeforeStart},
        {"while it is compared with the library", CancelAt::WhileComparing},
        {"once its text is cleaned and titled", CancelAt::AfterPreparing},
        {"never", CancelAt::Never},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = makeTempDirectory(QStringLiteral("capture-cancel")) + QStringLiteral("/library.sqlite");
        CaptureRowWriter writer(path);
        const CancellationToken cancel;
        if (c.at == CancelAt::BeforeStart)
            cancel.cancel();
        bool started = false;
        const auto prepare = [&](const SimilarTextFinder& similar) {
            if (c.at == CancelAt::WhileComparing)
                cancel.cancel();
            started = true;
            EXPECT_TRUE(similar(QStringLiteral("harbour lanterns at dusk over the ferry")).isEmpty());
            PreparedCapture prepared = prepareTextCapture(QStringLiteral("Harbour log\nlanterns at dusk"), std::nullopt,
                                                          [](const QString&) { return QList<NearDuplicateMatch>(); });
            if (c.at == CancelAt::AfterPreparing)
                cancel.cancel();
            return prepared;
        };
        const QUuid id = QUuid::createUuid();
        const PreparedCapture ready = makeCaptureReady(prepare, {}, id, QDateTime::currentDateTimeUtc(), cancel);
        const bool written = writePreparedCapture(ready, QByteArray("{\\rtf1 log}"), writer, cancel);

        const bool kept = c.at == CancelAt::Never;
        EXPECT_EQ(ready.kind, kept ? PreparedCapture::Kind::Text : PreparedCapture::Kind::Nothing);
        EXPECT_EQ(written, kept);
        EXPECT_EQ(ready.searchEntry != nullptr, kept);
        EXPECT_EQ(started, c.at != CancelAt::BeforeStart);
        auto stored = writer.database()->fetchItems();
        ASSERT_TRUE(stored.hasValue());
        EXPECT_EQ(stored.value().size(), kept ? 1 : 0);
    }
}

} // namespace
} // namespace vesk::test
