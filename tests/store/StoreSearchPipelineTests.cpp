#include "store/SearchTextPipeline.h"
#include "store/StoreTestSupport.h"

#include <QTest>

using namespace vesk;

namespace {

struct FakePass {
    QStringList runs;
    SearchTextPipeline::Receiver receiver()
    {
        return [this](const QString& text) { runs.append(text); };
    }
};

} // namespace

TEST(SearchTextPipeline, DeliversTheLastTextOnceTypingPauses)
{
    FakePass pass;
    SearchTextPipeline pipeline(20, pass.receiver());
    pipeline.send(QString());
    QTRY_COMPARE(pass.runs, QStringList{QString()});

    pipeline.send(QStringLiteral("t"));
    pipeline.send(QStringLiteral("te"));
    pipeline.send(QStringLiteral("tent"));
    QTRY_COMPARE(pass.runs, (QStringList{QString(), QStringLiteral("tent")}));
}

TEST(SearchTextPipeline, AnEqualTextDoesNotRunThePassAgain)
{
    FakePass pass;
    SearchTextPipeline pipeline(5, pass.receiver());
    pipeline.send(QStringLiteral("tent"));
    QTRY_COMPARE(pass.runs.size(), 1);
    pipeline.send(QStringLiteral("tent"));
    QTest::qWait(40);
    EXPECT_EQ(pass.runs.size(), 1);

    // Only the previous value counts: going back to an earlier text runs the pass.
    pipeline.send(QStringLiteral("tents"));
    pipeline.send(QStringLiteral("tent"));
    QTRY_COMPARE(pass.runs.size(), 2);
    EXPECT_EQ(pass.runs.last(), QStringLiteral("tent"));
}

TEST(SearchTextPipeline, ADestroyedPipelineDropsItsPendingText)
{
    FakePass pass;
    {
        SearchTextPipeline pipeline(5, pass.receiver());
        pipeline.send(QStringLiteral("gone"));
    }
    QTest::qWait(30);
    EXPECT_TRUE(pass.runs.isEmpty());
}
