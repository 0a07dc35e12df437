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

} // namespace
} // namespace vesk::test
