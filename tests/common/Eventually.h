#pragma once
// Waiting in a test for what the event loop brings. QtTest's QTRY_, QCOMPARE and QVERIFY macros
// report to a QtTest run that is not there and then return from the test, which GoogleTest then
// counts as passed; these take their place (scripts/check-test-macros.sh keeps them out).
#include "common/TestEnvironment.h"

#include <QTest>
#include <gtest/gtest.h>

// Turns the event loop until `condition` holds, or fails the test once `timeoutMs` have passed
// (ten times as long in a sanitized build).
#define ASSERT_EVENTUALLY(condition, timeoutMs)                                                                        \
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(condition); }, vesk::test::realWaitMs(timeoutMs)))                  \
        << "still false after " << (timeoutMs) << " ms: " #condition

// The same until `actual` equals `expected`, then the comparison says what each was.
#define ASSERT_EVENTUALLY_EQ(actual, expected, timeoutMs)                                                              \
    do {                                                                                                               \
        (void)QTest::qWaitFor([&] { return (actual) == (expected); }, vesk::test::realWaitMs(timeoutMs));              \
        ASSERT_EQ(actual, expected) << "after " << (timeoutMs) << " ms";                                               \
    } while (false)
