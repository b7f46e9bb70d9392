#include "platform/thread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <stdexcept>

#include "platform/kernel.h"
#include "platform/messages.h"
#include "platform/src/eventobject.h"
#include "platform/src/synchronize.h"
#include "platform/tests/support/app.h"

namespace {

using namespace std::chrono;
using platform::TThread;

// Left alive to the end: deleting it after main() would race with Qt's own teardown.
QCoreApplication* const App = &testsupport::Application({});

// Every handshake polls an observable state against this generous bound (slow CI, sanitizers).
bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = steady_clock::now() + seconds(20);
  while (!condition()) {
    if (steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// Runs a given body; wakes itself from its event wait when terminated.
class TBodyThread : public TThread {
public:
  explicit TBodyThread(std::function<void(TBodyThread&)> body) : Body(std::move(body)) {}
  ~TBodyThread() override {
    TerminateAndWait();
    CloseHandle(Event);
  }
  const HANDLE Event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<int> Count{0};

protected:
  void Execute() override { Body(*this); }
  void TerminatedSet() override { SetEvent(Event); }

private:
  std::function<void(TBodyThread&)> Body;
};

TEST(Thread, IsBornSuspendedAndRunsWhenResumed) {
  TBodyThread thread([](TBodyThread& t) { ++t.Count; });
  EXPECT_TRUE(thread.Suspended() && thread.Idle());
  EXPECT_FALSE(thread.WaitFor(50));
  thread.Resume();
  EXPECT_TRUE(thread.WaitFor(20000));
  EXPECT_EQ(thread.Count, 1);
  EXPECT_FALSE(thread.Suspended());
  auto running = platform::StartThread<TBodyThread>([](TBodyThread& t) { ++t.Count; });
  EXPECT_TRUE(running->WaitFor(20000));
  EXPECT_EQ(running->Count, 1);
  // Terminated or destroyed before it ever started, a thread never runs.
  TBodyThread never([](TBodyThread&) { FAIL(); });
  never.Terminate();
  never.Resume();
  EXPECT_TRUE(never.Finished() && never.WaitFor(0));
  TBodyThread([](TBodyThread&) { FAIL(); });
}

TEST(Thread, SuspendsItselfAndGoesOnWhenResumed) {
  TBodyThread thread([](TBodyThread& t) {
    while (!t.Terminated()) {
      ++t.Count;
      t.Suspend();
    }
  });
  thread.Resume();
  for (int round = 1; round <= 3; ++round) {
    ASSERT_TRUE(Eventually([&] { return thread.Idle(); }));
    EXPECT_TRUE(thread.Suspended());
    EXPECT_EQ(thread.Count, round);
    thread.Resume();
  }
  // Destroyed while suspended: the destructor releases and ends it.
}

// Asked from outside, a suspension takes effect at the thread's next suspend point: here the end
// of its wait, so the work after the wait waits for the Resume.
TEST(Thread, ASuspendAskedFromOutsideTakesEffectAtTheNextSuspendPoint) {
  TBodyThread thread([](TBodyThread& t) {
    WaitForSingleObject(t.Event, INFINITE);
    ++t.Count;
  });
  thread.Resume();
  ASSERT_TRUE(Eventually([&] { return platform::detail::EventWaiterCount(thread.Event) == 1; }));
  thread.Suspend();
  EXPECT_TRUE(thread.Suspended());
  EXPECT_FALSE(thread.Idle());
  SetEvent(thread.Event);
  ASSERT_TRUE(Eventually([&] { return thread.Idle(); }));
  EXPECT_EQ(thread.Count, 0);
  thread.Resume();
  EXPECT_TRUE(thread.WaitFor(20000));
  EXPECT_EQ(thread.Count, 1);
}

TEST(Thread, TerminateEndsAThreadWaitingOnAnEventAndWaitForCanTimeOut) {
  std::atomic<bool> selfWait{true};
  auto thread = platform::StartThread<TBodyThread>([&](TBodyThread& t) {
    selfWait = t.WaitFor(); // would wait for itself for ever
    while (!t.Terminated()) WaitForSingleObject(t.Event, INFINITE);
  });
  ASSERT_TRUE(Eventually([&] { return platform::detail::EventWaiterCount(thread->Event) == 1; }));
  EXPECT_FALSE(thread->WaitFor(100));
  EXPECT_FALSE(selfWait);
  thread.reset(); // terminates (TerminatedSet signals the event), then joins
}

void SynchroniseThreeTimes(TBodyThread& t) {
  for (int i = 0; i < 3; ++i) TThread::Synchronize([&t] { t.Count += platform::IsMainThread(); });
}

TEST(Thread, SynchronizeIsServedByEveryWaitOfTheMainThread) {
  const std::pair<const char*, std::function<void(TBodyThread&)>> ways[] = {
      {"WaitFor", [](TBodyThread& t) { EXPECT_TRUE(t.WaitFor()); }},
      {"CheckSynchronize", [](TBodyThread& t) {
         EXPECT_TRUE(Eventually([&] { return platform::CheckSynchronize(100), t.Finished(); }));
       }},
      {"ProcessMessages", [](TBodyThread& t) {
         EXPECT_TRUE(Eventually([&] { return platform::ProcessMessages(), t.Finished(); }));
       }},
      {"Qt event loop", [](TBodyThread& t) {
         QEventLoop loop;
         QTimer::singleShot(20000, &loop, &QEventLoop::quit);
         QTimer poll; // the loop ends once the thread has finished
         QObject::connect(&poll, &QTimer::timeout, [&] { if (t.Finished()) loop.quit(); });
         poll.start(1);
         loop.exec();
         EXPECT_TRUE(t.Finished());
       }},
  };
  for (const auto& [name, wait] : ways) {
    SCOPED_TRACE(name);
    TBodyThread thread(SynchroniseThreeTimes);
    thread.Resume();
    wait(thread);
    EXPECT_EQ(thread.Count, 3);
  }
}

TEST(Thread, SynchronizeRethrowsAndExecuteFailuresAreKept) {
  std::atomic<bool> caught{false};
  TBodyThread thread([&](TBodyThread&) {
    try {
      TThread::Synchronize([] { throw std::runtime_error("on main"); });
    } catch (const std::runtime_error&) {
      caught = true;
    }
    throw std::logic_error("in Execute");
  });
  thread.Resume();
  ASSERT_TRUE(thread.WaitFor());
  EXPECT_TRUE(caught);
  EXPECT_THROW(std::rethrow_exception(thread.FatalException()), std::logic_error);
  EXPECT_FALSE(TThread::Synchronize(nullptr));
}

TEST(Thread, SwitchingSynchronizeOffReleasesWaitingThreads) {
  std::atomic<int> ran{0}, refused{0};
  TBodyThread thread([&](TBodyThread&) {
    for (int i = 0; i < 2; ++i) refused += TThread::Synchronize([&] { ++ran; }) ? 0 : 1;
  });
  const uint64_t seen = platform::detail::WakeCount();
  thread.Resume();
  ASSERT_TRUE(Eventually([&] { return platform::detail::WakeCount() != seen; })); // queued
  platform::SetSynchronizeEnabled(false);
  EXPECT_TRUE(thread.WaitFor(20000));
  platform::SetSynchronizeEnabled(true);
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(refused, 2);
}

} // namespace
