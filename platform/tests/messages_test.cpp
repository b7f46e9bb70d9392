#include "platform/display.h"
#include "platform/messages.h"
#include "platform/tests/support/app.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono;

// Left alive to the end: deleting it after main() would race with Qt's own teardown.
QCoreApplication* const App = &testsupport::Application({});

struct TReceived {
  const void* Target;
  UINT Message;
  WPARAM WParam;
  LPARAM LParam;
  bool OnGuiThread;
};

class TRecorder : public platform::TMessageTarget {
public:
  explicit TRecorder(std::vector<TReceived>& log) : Log(log) {}

protected:
  void HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    Log.push_back({this, message, wParam, lParam,
                   QThread::currentThread() == QCoreApplication::instance()->thread()});
  }

private:
  std::vector<TReceived>& Log;
};

bool PumpUntil(const std::function<bool()>& done) {
  const auto deadline = steady_clock::now() + seconds(20);
  while (!done()) {
    if (steady_clock::now() > deadline) return false;
    platform::ProcessMessages();
  }
  return true;
}

TEST(Messages, PostsFromSeveralThreadsArriveInOrderOnTheGuiThread) {
  constexpr int Threads = 4, PerThread = 500;
  std::vector<TReceived> log;
  TRecorder target(log);
  const HWND hwnd = target.Handle();
  std::vector<std::thread> posters;
  for (int t = 0; t < Threads; ++t) {
    posters.emplace_back([hwnd, t] {
      for (int i = 0; i < PerThread; ++i) EXPECT_TRUE(PostMessage(hwnd, 0x3C0 + t, i, -i));
    });
  }
  EXPECT_TRUE(PumpUntil([&] { return log.size() >= size_t{Threads * PerThread}; }));
  for (auto& p : posters) p.join();
  platform::ProcessMessages();
  ASSERT_EQ(log.size(), size_t{Threads * PerThread});
  std::vector<WPARAM> next(Threads, 0);
  for (const auto& r : log) {
    const int t = static_cast<int>(r.Message) - 0x3C0;
    ASSERT_TRUE(t >= 0 && t < Threads);
    EXPECT_EQ(r.WParam, next[t]++) << "thread " << t;
    EXPECT_EQ(r.LParam, -static_cast<LPARAM>(r.WParam));
    EXPECT_TRUE(r.OnGuiThread);
  }
}

// One queue keeps the posting order across targets; a destroyed target receives none of its
// pending messages and its handle is refused from then on, never handed out again.
TEST(Messages, OneQueueInPostingOrderAndNothingForADestroyedTarget) {
  std::vector<TReceived> log;
  TRecorder first(log), second(log);
  auto doomed = std::make_unique<TRecorder>(log);
  const HWND doomedHwnd = doomed->Handle();
  const HWND targets[] = {first.Handle(), second.Handle(), doomedHwnd};
  for (LPARAM i = 0; i < 60; ++i) EXPECT_TRUE(PostMessage(targets[i % 3], 1, 0, i));
  doomed.reset();
  platform::ProcessMessages();
  ASSERT_EQ(log.size(), 40u);
  for (size_t k = 0; k < log.size(); ++k) {
    const LPARAM i = static_cast<LPARAM>(k / 2 * 3 + k % 2);
    EXPECT_EQ(log[k].LParam, i);
    EXPECT_EQ(log[k].Target, i % 3 ? static_cast<void*>(&second) : static_cast<void*>(&first));
  }
  int local = 0;
  for (HWND bad : {doomedHwnd, HWND{}, reinterpret_cast<HWND>(&local)}) {
    EXPECT_EQ(PostMessage(bad, 1, 0, 0), FALSE);
  }
  TRecorder later(log);
  EXPECT_NE(later.Handle(), doomedHwnd);
}

// Posters keep posting to whichever target is current while the GUI thread replaces it; a
// message reaching a destroyed target would be a use after free (caught by the sanitizers) and a
// foreign entry in the log.
TEST(Messages, PostsRacingWithDestructionAreSafe) {
  std::vector<TReceived> log;
  std::atomic<HWND> current{};
  std::atomic<bool> stop{false};
  std::vector<std::jthread> posters;
  for (int t = 0; t < 2; ++t) {
    posters.emplace_back([&] {
      while (!stop) PostMessage(current.load(), 9, 0, 0);
    });
  }
  for (int round = 0; round < 200 && !HasFailure(); ++round) {
    auto target = std::make_unique<TRecorder>(log);
    current = target->Handle();
    EXPECT_TRUE(PumpUntil([&] { return !log.empty(); }));
    for (const auto& r : log) EXPECT_EQ(r.Target, target.get());
    log.clear();
    target.reset();
  }
  stop = true;
  posters.clear(); // joins
  platform::ProcessMessages();
  EXPECT_TRUE(log.empty());
}

// Whether a program runs its window or its tour: an empty display variable names no display.
TEST(Display, AnEmptyVariableNamesNone) {
  const struct {
    const char* X;
    const char* Wayland;
    bool None;
  } cases[] = {{nullptr, nullptr, true}, {"", nullptr, true},  {"", "", true},
               {":0", nullptr, false},   {nullptr, "wayland-0", false}, {"", "wayland-0", false}};
  const auto set = [](const char* name, const char* value) {
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  };
  const std::string x = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  const bool hadX = std::getenv("DISPLAY") != nullptr;
  for (const auto& c : cases) {
    set("DISPLAY", c.X);
    set("WAYLAND_DISPLAY", c.Wayland);
    EXPECT_EQ(platform::NoDisplay(), c.None) << (c.X ? c.X : "unset") << " / " << (c.Wayland ? c.Wayland : "unset");
  }
  set("DISPLAY", hadX ? x.c_str() : nullptr);
  unsetenv("WAYLAND_DISPLAY");
}

} // namespace
