#pragma once

#include <QTest>

/// How long a test waits for something that must come: an answer over a
/// socket, a child process, a timer of the program, a worker thread.
///
/// CI runs the suite two tests at a time on two cores, then once more under
/// the sanitizers at a third of the speed or less; the five seconds the plain
/// QTRY_* macros give were too few there. A passing run never waits this
/// long, so it costs nothing. A wait that checks that something does NOT
/// happen stays short instead: its length only delays every passing run.
namespace TestWaits {
inline constexpr int settleMs = 20000;
} // namespace TestWaits

#define TRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, TestWaits::settleMs)
#define TRY_VERIFY2(expr, message) QTRY_VERIFY2_WITH_TIMEOUT(expr, message, TestWaits::settleMs)
#define TRY_COMPARE(actual, expected) QTRY_COMPARE_WITH_TIMEOUT(actual, expected, TestWaits::settleMs)
