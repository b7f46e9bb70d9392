#include "platform/messages.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono;

class TAppEnvironment : public testing::Environment {
public:
  void SetUp() override { App = std::make_unique<QCoreApplication>(Argc, Argv); }
  void TearDown() override { App.reset(); }

private:
  int Argc = 1;
  char Name[8] = "test";
  char* Argv[2] = {Name, nullptr};
  std::unique_ptr<QCoreApplication> App;
};
const auto* const Environment = testing::AddGlobalTestEnvironment(new TAppEnvironment);

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

TEST(Messages, OneQueueKeepsThePostingOrderAcrossTargets) {
  std::vector<TReceived> log;
  TRecorder first(log), second(log);
  for (LPARAM i = 0; i < 50; ++i) PostMessage((i % 3 ? first : second).Handle(), 1, 0, i);
  platform::ProcessMessages();
  ASSERT_EQ(log.size(), 50u);
  for (LPARAM i = 0; i < 50; ++i) {
    EXPECT_EQ(log[i].LParam, i);
    EXPECT_EQ(log[i].Target, i % 3 ? static_cast<void*>(&first) : static_cast<void*>(&second));
  }
}

TEST(Messages, ADestroyedTargetReceivesNothingAndItsHandleIsRefused) {
  std::vector<TReceived> log;
  auto target = std::make_unique<TRecorder>(log);
  const HWND hwnd = target->Handle();
  TRecorder survivor(log);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(PostMessage(hwnd, 7, i, 0));
  EXPECT_TRUE(PostMessage(survivor.Handle(), 8, 0, 0));
  target.reset();
  platform::ProcessMessages();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].Message, 8u);
  int local = 0;
  for (HWND bad : {hwnd, HWND{}, reinterpret_cast<HWND>(&local)}) {
    EXPECT_EQ(PostMessage(bad, 1, 0, 0), FALSE);
  }
  TRecorder later(log);
  EXPECT_NE(later.Handle(), hwnd); // a handle is never handed out twice
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

} // namespace
