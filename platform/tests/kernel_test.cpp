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

// Generous bound for every handshake: the CI machine is slow, especially under sanitizers.
constexpr auto Patience = seconds(20);

bool WaitForWaiters(HANDLE event, size_t count) {
  const auto deadline = steady_clock::now() + Patience;
  while (platform::detail::EventWaiterCount(event) != count) {
    if (steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// Threads that each wait once on an event and keep the result.
class TWaiters {
public:
  TWaiters(HANDLE event, int count) : Results(count, 0xDEADu) {
    for (int i = 0; i < count; ++i) {
      Threads.emplace_back([this, event, i] { Results[i] = WaitForSingleObject(event, INFINITE); });
    }
  }
  int Join(DWORD result) {
    for (auto& t : Threads) t.join();
    return static_cast<int>(std::count(Results.begin(), Results.end(), result));
  }

private:
  std::vector<DWORD> Results;
  std::vector<std::thread> Threads;
};

TEST(Events, InitialStateAndResetDecideImmediateWaits) {
  struct Case { BOOL manual, initial, resetFirst; DWORD first, second; };
  const Case cases[] = {
      {FALSE, TRUE, FALSE, WAIT_OBJECT_0, WAIT_TIMEOUT},  // auto-reset: one pass only
      {TRUE, TRUE, FALSE, WAIT_OBJECT_0, WAIT_OBJECT_0},  // manual-reset stays set
      {FALSE, FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
      {TRUE, FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
      {TRUE, TRUE, TRUE, WAIT_TIMEOUT, WAIT_TIMEOUT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "manual " << c.manual << " initial " << c.initial);
    HANDLE e = CreateEventA(nullptr, c.manual, c.initial, nullptr);
    ASSERT_NE(e, nullptr);
    if (c.resetFirst) {
      EXPECT_TRUE(ResetEvent(e));
    }
    EXPECT_EQ(WaitForSingleObject(e, 0), c.first);
    EXPECT_EQ(WaitForSingleObject(e, 0), c.second);
    EXPECT_TRUE(CloseHandle(e));
  }
}

// Three threads wait; one SetEvent or PulseEvent follows; whoever is still waiting is woken by
// closing the handle, which fails their wait.
TEST(Events, SetAndPulseReleaseOneOrAllOfTheWaiters) {
  struct Case { BOOL manual; bool pulse; int released; DWORD afterwards; };
  const Case cases[] = {
      {FALSE, false, 1, WAIT_TIMEOUT},  // auto-reset: exactly one, and the signal is used up
      {TRUE, false, 3, WAIT_OBJECT_0},  // manual-reset: all, and the event stays set
      {FALSE, true, 1, WAIT_TIMEOUT},
      {TRUE, true, 3, WAIT_TIMEOUT},    // a pulse always leaves the event reset
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "manual " << c.manual << " pulse " << c.pulse);
    HANDLE e = CreateEventA(nullptr, c.manual, FALSE, nullptr);
    TWaiters waiters(e, 3);
    ASSERT_TRUE(WaitForWaiters(e, 3));
    EXPECT_TRUE(c.pulse ? PulseEvent(e) : SetEvent(e));
    EXPECT_EQ(platform::detail::EventWaiterCount(e), static_cast<size_t>(3 - c.released));
    EXPECT_EQ(WaitForSingleObject(e, 0), c.afterwards);
    EXPECT_TRUE(CloseHandle(e));
    EXPECT_EQ(waiters.Join(WAIT_OBJECT_0), c.released);
  }
}

TEST(Events, APulseWithNobodyWaitingIsLost) {
  for (BOOL manual : {FALSE, TRUE}) {
    for (BOOL initial : {FALSE, TRUE}) {
      HANDLE e = CreateEventA(nullptr, manual, initial, nullptr);
      EXPECT_TRUE(PulseEvent(e));
      EXPECT_EQ(WaitForSingleObject(e, 10), WAIT_TIMEOUT) << manual << initial;
      CloseHandle(e);
    }
  }
}

TEST(Events, ASignalArrivingDuringATimedWaitEndsIt) {
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  DWORD result = 0;
  std::thread waiter([&] { result = WaitForSingleObject(e, 60000); });
  ASSERT_TRUE(WaitForWaiters(e, 1));
  SetEvent(e);
  waiter.join();
  EXPECT_EQ(result, WAIT_OBJECT_0);
  CloseHandle(e);
}

TEST(Events, ATimeOutLastsAtLeastItsTime) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const auto start = steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(e, 150), WAIT_TIMEOUT);
  EXPECT_GE(steady_clock::now() - start, milliseconds(150));
  CloseHandle(e);
}

TEST(Events, BadHandlesFailWithoutHarm) {
  HANDLE closed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_TRUE(CloseHandle(closed));
  int local = 0;
  const HANDLE bad[] = {nullptr, closed, reinterpret_cast<HANDLE>(&local),
                        reinterpret_cast<HANDLE>(~uintptr_t{0})};
  for (HANDLE h : bad) {
    EXPECT_EQ(SetEvent(h), FALSE);
    EXPECT_EQ(ResetEvent(h), FALSE);
    EXPECT_EQ(PulseEvent(h), FALSE);
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_FAILED);
    EXPECT_EQ(CloseHandle(h), FALSE);
  }
  // A new event never takes over the number of a closed one.
  HANDLE fresh = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  EXPECT_NE(fresh, closed);
  EXPECT_EQ(WaitForSingleObject(closed, 0), WAIT_FAILED);
  CloseHandle(fresh);
  EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, "shared"), nullptr);
}

TEST(Memory, VirtualAllocGivesAlignedZeroedWholePages) {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  const SIZE_T page = info.dwPageSize;
  ASSERT_EQ(page, static_cast<SIZE_T>(sysconf(_SC_PAGESIZE)));
  GetSystemInfo(nullptr);
  for (SIZE_T size : {SIZE_T{1}, page - 1, page, page + 1, 3 * page + 5}) {
    auto* p = static_cast<unsigned char*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                                       PAGE_READWRITE));
    ASSERT_NE(p, nullptr) << size;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % page, 0u);
    const SIZE_T whole = (size + page - 1) / page * page;
    EXPECT_TRUE(std::all_of(p, p + whole, [](unsigned char b) { return b == 0; }));
    std::memset(p, 0xA5, whole); // the whole last page is usable
    EXPECT_EQ(VirtualAlloc(p + size - 1, 1, MEM_COMMIT, PAGE_READWRITE), p + (size - 1) / page * page);
    EXPECT_EQ(VirtualFree(p, size, MEM_RELEASE), FALSE); // a release names no size
    EXPECT_EQ(VirtualFree(p + 1, 0, MEM_RELEASE), FALSE);
    EXPECT_EQ(VirtualFree(p, 0, MEM_RELEASE), TRUE);
    EXPECT_EQ(VirtualFree(p, 0, MEM_RELEASE), FALSE);
  }
  EXPECT_EQ(VirtualAlloc(nullptr, 0, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_EQ(VirtualAlloc(nullptr, page, MEM_COMMIT, 0x40), nullptr);
  EXPECT_EQ(VirtualAlloc(nullptr, SIZE_MAX, MEM_COMMIT, PAGE_READWRITE), nullptr);
}

TEST(Memory, GlobalAllocGivesFixedZeroedBlocks) {
  for (UINT flags : {GPTR, GMEM_FIXED, 0x2030u}) {
    auto* p = static_cast<unsigned char*>(GlobalAlloc(flags, 4096));
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(std::all_of(p, p + 4096, [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(GlobalFree(p), nullptr);
  }
  int local = 0;
  EXPECT_EQ(GlobalFree(&local), &local); // not ours: failure returns the handle
  EXPECT_EQ(GlobalFree(nullptr), nullptr);
  EXPECT_EQ(GlobalAlloc(0x0002u /* movable */, 16), nullptr);
}

} // namespace
