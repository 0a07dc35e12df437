#include "common/Fakes.h"
#include "store/SearchTextPipeline.h"
#include "store/StoreTestSupport.h"

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
    auto timers = std::make_shared<test::FakeTimers>();
    SearchTextPipeline pipeline(20, pass.receiver(), timers);
    pipeline.send(QString());
    timers->advance(20);
    EXPECT_EQ(pass.runs, QStringList{QString()});

    // Every keystroke starts the pause again.
    pipeline.send(QStringLiteral("t"));
    timers->advance(15);
    pipeline.send(QStringLiteral("te"));
    timers->advance(15);
    pipeline.send(QStringLiteral("tent"));
    timers->advance(19);
    EXPECT_EQ(pass.runs, QStringList{QString()});
    timers->advance(1);
    EXPECT_EQ(pass.runs, (QStringList{QString(), QStringLiteral("tent")}));
}

TEST(SearchTextPipeline, AnEqualTextDoesNotRunThePassAgain)
{
    FakePass pass;
    auto timers = std::make_shared<test::FakeTimers>();
    SearchTextPipeline pipeline(5, pass.receiver(), timers);
    pipeline.send(QStringLiteral("tent"));
    timers->advance(5);
    EXPECT_EQ(pass.runs.size(), 1);
    pipeline.send(QStringLiteral("tent"));
    EXPECT_EQ(timers->pendingCount(), 0);
    timers->advance(40);
    EXPECT_EQ(pass.runs.size(), 1);

    // Only the previous value counts: going back to an earlier text runs the pass.
    pipeline.send(QStringLiteral("tents"));
    pipeline.send(QStringLiteral("tent"));
    timers->advance(5);
    EXPECT_EQ(pass.runs.size(), 2);
    EXPECT_EQ(pass.runs.last(), QStringLiteral("tent"));
}

TEST(SearchTextPipeline, ADestroyedPipelineDropsItsPendingText)
{
    FakePass pass;
    auto timers = std::make_shared<test::FakeTimers>();
    {
        SearchTextPipeline pipeline(5, pass.receiver(), timers);
        pipeline.send(QStringLiteral("gone"));
    }
    timers->advance(30);
    EXPECT_TRUE(pass.runs.isEmpty());
}
