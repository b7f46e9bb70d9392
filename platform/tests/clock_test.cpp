#include "platform/clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace platform {
namespace {

TEST(Clock, SystemTimeIsTodayInDaysSince1899) {
  const double unixDays = static_cast<double>(std::time(nullptr)) / 86400.0;
  EXPECT_NEAR(Now(), unixDays + 25569.0, 2.0 / 86400.0);
}

TEST(Clock, MillisecondsAreRoundedDifferences) {
  struct Case { double earlierMs, laterMs; int64_t expected; };
  const Case cases[] = {{0, 1000, 1000}, {0, 999.4, 999}, {0, 999.6, 1000}, {500, 0, -500}};
  for (const auto& c : cases) {
    const double base = 46000.0;
    EXPECT_EQ(MillisecondsBetween(base + c.earlierMs / MillisecondsPerDay,
                                  base + c.laterMs / MillisecondsPerDay),
              c.expected);
  }
}

TEST(Clock, ManualClockReplacesAndRestoresTheSource) {
  {
    TManualClock clock(100.0);
    EXPECT_EQ(Now(), 100.0);
    clock.AdvanceMs(1500);
    EXPECT_EQ(MillisecondsBetween(100.0, Now()), 1500);
  }
  EXPECT_GT(Now(), 40000.0);
}

} // namespace
} // namespace platform
