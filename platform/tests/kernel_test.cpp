#include "platform/kernel.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/src/eventobject.h"

namespace {

using namespace std::chrono;
using platform::detail::EventWaiterCount;

// Handshake: until `count` threads block on `event`; the bound is generous for slow CI runs.
bool WaitForWaiters(HANDLE event, size_t count) {
  const auto deadline = steady_clock::now() + seconds(20);
  while (EventWaiterCount(event) != count && steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  return EventWaiterCount(event) == count;
}

bool AllZero(const void* p, size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  return std::all_of(b, b + n, [](unsigned char c) { return c == 0; });
}

TEST(Events, InitialStateAndResetDecideImmediateWaits) {
  struct Case { BOOL manual, initial, reset; DWORD first, second; };
  const Case cases[] = {{FALSE, TRUE, FALSE, WAIT_OBJECT_0, WAIT_TIMEOUT},
                        {TRUE, TRUE, FALSE, WAIT_OBJECT_0, WAIT_OBJECT_0},
                        {TRUE, TRUE, TRUE, WAIT_TIMEOUT, WAIT_TIMEOUT}};
  for (const auto& c : cases) {
    HANDLE e = CreateEventA(nullptr, c.manual, c.initial, nullptr);
    if (c.reset) ResetEvent(e);
    EXPECT_EQ(WaitForSingleObject(e, 0), c.first) << c.manual << c.reset;
    EXPECT_EQ(WaitForSingleObject(e, 0), c.second) << c.manual << c.reset;
    CloseHandle(e);
  }
}

// Threads wait; one set or pulse follows; closing the handle then fails the waits left.
TEST(Events, SetAndPulseReleaseOneOrAllOfTheWaiters) {
  struct Case { BOOL manual, initial; bool pulse; int waiting, released; DWORD afterwards; };
  const Case cases[] = {
      {FALSE, FALSE, false, 3, 1, WAIT_TIMEOUT},  // auto-reset: exactly one; the signal is used up
      {TRUE, FALSE, false, 3, 3, WAIT_OBJECT_0},  // manual-reset: all, and it stays set
      {FALSE, FALSE, true, 3, 1, WAIT_TIMEOUT},
      {TRUE, FALSE, true, 3, 3, WAIT_TIMEOUT},    // a pulse always leaves the event reset
      {FALSE, FALSE, true, 0, 0, WAIT_TIMEOUT},   // a pulse with nobody waiting is lost
      {TRUE, TRUE, true, 0, 0, WAIT_TIMEOUT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "manual " << c.manual << " pulse " << c.pulse);
    HANDLE e = CreateEventA(nullptr, c.manual, c.initial, nullptr);
    std::vector<DWORD> results(c.waiting, 0);
    std::vector<std::thread> waiters;
    for (auto& r : results) waiters.emplace_back([&r, e] { r = WaitForSingleObject(e, INFINITE); });
    ASSERT_TRUE(WaitForWaiters(e, c.waiting));
    EXPECT_TRUE(c.pulse ? PulseEvent(e) : SetEvent(e));
    EXPECT_EQ(EventWaiterCount(e), static_cast<size_t>(c.waiting - c.released));
    EXPECT_EQ(WaitForSingleObject(e, 0), c.afterwards);
    EXPECT_TRUE(CloseHandle(e));
    for (auto& w : waiters) w.join();
    EXPECT_EQ(std::count(results.begin(), results.end(), WAIT_OBJECT_0), c.released);
    EXPECT_EQ(std::count(results.begin(), results.end(), WAIT_FAILED), c.waiting - c.released);
  }
}

TEST(Events, TimedWaitsEndAtTheirTimeOrAtTheSignal) {
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  const auto start = steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(e, 150), WAIT_TIMEOUT);
  EXPECT_GE(steady_clock::now() - start, milliseconds(150));
  DWORD result = 0;
  std::thread waiter([&] { result = WaitForSingleObject(e, 60000); });
  ASSERT_TRUE(WaitForWaiters(e, 1));
  SetEvent(e);
  waiter.join();
  EXPECT_EQ(result, WAIT_OBJECT_0);
  CloseHandle(e);
}

TEST(Events, BadHandlesFailWithoutHarm) {
  HANDLE closed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_TRUE(CloseHandle(closed));
  HANDLE fresh = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  EXPECT_NE(fresh, closed); // a closed handle never comes to name a newer event
  int local = 0;
  for (HANDLE h : {HANDLE{}, closed, reinterpret_cast<HANDLE>(&local), reinterpret_cast<HANDLE>(~0ul)}) {
    EXPECT_EQ(SetEvent(h) | ResetEvent(h) | PulseEvent(h) | CloseHandle(h), FALSE);
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_FAILED);
  }
  CloseHandle(fresh);
  EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, "shared"), nullptr);
}

TEST(Memory, BlocksAreAlignedZeroedAndFreedOnlyOnce) {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  const SIZE_T page = info.dwPageSize;
  ASSERT_EQ(page, static_cast<SIZE_T>(sysconf(_SC_PAGESIZE)));
  for (SIZE_T size : {SIZE_T{1}, page, 3 * page + 5}) {
    auto* p = static_cast<char*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(p, nullptr) << size;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % page, 0u);
    const SIZE_T whole = (size + page - 1) / page * page;
    EXPECT_TRUE(AllZero(p, whole));
    std::memset(p, 0xA5, whole); // the whole last page is usable
    EXPECT_EQ(VirtualFree(p, size, MEM_RELEASE) | VirtualFree(p + 1, 0, MEM_RELEASE), FALSE);
    EXPECT_EQ(VirtualFree(p, 0, MEM_RELEASE), TRUE);
    EXPECT_EQ(VirtualFree(p, 0, MEM_RELEASE), FALSE);
  }
  for (SIZE_T size : {SIZE_T{0}, SIZE_MAX}) {
    EXPECT_EQ(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE), nullptr);
  }
  EXPECT_EQ(VirtualAlloc(&info, page, MEM_COMMIT, PAGE_READWRITE), nullptr);

  for (UINT flags : {GPTR, 0x2030u}) {
    void* p = GlobalAlloc(flags, 4096);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(AllZero(p, 4096));
    EXPECT_EQ(GlobalFree(p), nullptr);
  }
  EXPECT_EQ(GlobalFree(&info), &info); // not ours: failure returns the handle
  EXPECT_EQ(GlobalAlloc(0x0002u /* movable */, 16), nullptr);
}

} // namespace
