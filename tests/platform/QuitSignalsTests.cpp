#include "platform/QuitSignals.h"

#include <QSignalSpy>
#include <csignal>
#include <gtest/gtest.h>

namespace vesk::test {
namespace {

TEST(QuitSignals, EachSignalThatEndsADesktopProgramArrivesFromTheEventLoop)
{
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(number);
        struct sigaction before {};
        ::sigaction(number, nullptr, &before);
        {
            QuitSignals quit;
            ASSERT_TRUE(quit.isActive());
            // A second object would take the handlers from the first.
            EXPECT_FALSE(QuitSignals().isActive());
            QSignalSpy received(&quit, &QuitSignals::received);
            ASSERT_EQ(::raise(number), 0);
            // Nothing runs inside the handler: the signal comes on the next turn of the loop.
            EXPECT_EQ(received.count(), 0);
            ASSERT_TRUE(received.wait(5000));
            EXPECT_EQ(received.takeFirst().at(0).toInt(), number);
        }
        struct sigaction after {};
        ::sigaction(number, nullptr, &after);
        EXPECT_EQ(after.sa_handler, before.sa_handler);
    }
}

TEST(QuitSignals, ASignalIgnoredAtStartStaysIgnored)
{
    // As under nohup: the hang-up of the terminal that started Vesk must not end it.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction before {};
    ASSERT_EQ(::sigaction(SIGHUP, &ignore, &before), 0);
    {
        QuitSignals quit;
        ASSERT_TRUE(quit.isActive());
        QSignalSpy received(&quit, &QuitSignals::received);
        struct sigaction during {};
        ::sigaction(SIGHUP, nullptr, &during);
        EXPECT_EQ(during.sa_handler, SIG_IGN);
        ASSERT_EQ(::raise(SIGHUP), 0);
        // SIGTERM still arrives, and after it nothing of the ignored hang-up is queued.
        ASSERT_EQ(::raise(SIGTERM), 0);
        ASSERT_TRUE(received.wait(5000));
        EXPECT_EQ(received.takeFirst().at(0).toInt(), SIGTERM);
        EXPECT_TRUE(received.isEmpty());
    }
    struct sigaction after {};
    ::sigaction(SIGHUP, nullptr, &after);
    EXPECT_EQ(after.sa_handler, SIG_IGN);
    ::sigaction(SIGHUP, &before, nullptr);
}

} // namespace
} // namespace vesk::test
