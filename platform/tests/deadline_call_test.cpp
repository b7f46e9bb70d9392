// Calls made with a deadline: one that comes back in time is simply a call; one that does not
// is abandoned within its limit, and tidies up after itself when it comes back after all.

#include "platform/src/uDeadlineCall.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct TDeadlineCase {
  const char* Name;
  std::chrono::milliseconds Limit;
  bool Blocks; // the call waits until the test releases it, long after the limit
  bool Answered;
};

const TDeadlineCase DeadlineCases[] = {
    {"a call that returns at once", 2000ms, false, true},
    {"a call that never returns in time", 100ms, true, false},
    {"a call that never returns, with no time at all", 0ms, true, false},
};

TEST(DeadlineCall, ACallIsWaitedForAtMostItsLimitAndTidiesUpWhenItComesBackLate) {
  for (const auto& c : DeadlineCases) {
    SCOPED_TRACE(c.Name);
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    auto result = std::make_shared<std::atomic<int>>(0);
    auto late = std::make_shared<std::promise<void>>();
    std::future<void> lateRan = late->get_future();
    const auto start = Clock::now();
    const bool answered = platform::RunWithin(
        c.Limit,
        [=] {
          if (c.Blocks) released.wait();
          *result = 42;
        },
        [late] { late->set_value(); });
    const auto took = Clock::now() - start;
    EXPECT_EQ(answered, c.Answered);
    EXPECT_LT(took, c.Limit + 500ms) << "the caller waited past the limit";
    if (answered) {
      EXPECT_EQ(*result, 42) << "what an answered call did is seen by the caller";
      EXPECT_EQ(lateRan.wait_for(200ms), std::future_status::timeout) << "late ran for a call in time";
      continue;
    }
    EXPECT_GE(took, c.Limit);
    EXPECT_EQ(lateRan.wait_for(50ms), std::future_status::timeout) << "late ran before the call came back";
    release->set_value(); // the stopped server resumes
    ASSERT_EQ(lateRan.wait_for(5s), std::future_status::ready) << "an abandoned call never tidied up";
    EXPECT_EQ(*result, 42);
  }
}

// The call waits for a lock that another call holds, as every call into the sound library
// waits for the library's lock: it gives up within its limit, and the caller holds no lock.
TEST(DeadlineCall, ACallWaitingForAHeldLockIsAbandonedInTime) {
  auto lock = std::make_shared<std::mutex>();
  std::unique_lock held(*lock);
  auto ran = std::make_shared<std::promise<void>>();
  std::future<void> done = ran->get_future();
  const auto start = Clock::now();
  EXPECT_FALSE(platform::RunWithin(150ms, [lock, ran] {
    std::lock_guard guard(*lock);
    ran->set_value();
  }));
  EXPECT_LT(Clock::now() - start, 650ms);
  held.unlock();
  EXPECT_EQ(done.wait_for(5s), std::future_status::ready) << "the abandoned call never ran";
}

} // namespace
