// Dravik's window on a real sound card whose server is stopped (SIGSTOP: it answers nothing)
// while it measures: Stop and closing the window each end within seconds, and the window's
// thread never stands still for longer than one call's limit, so the window keeps painting.
// The test stops the server, so it runs only in a loopback session that allows it
// (LOOPBACK_MAY_STOP=1); it resumes the server in every case.

#define UITEST_REAL_CARDS
#include "dravik/tests/ui_support.h"
#include "platform/cards/uPaLimits.h"
#include "platform/tests/real_support.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

namespace dravik {
namespace {

using namespace uitest;
using Clock = std::chrono::steady_clock;
namespace limits = platform::portaudio;

// A loaded machine's delay on top of a limit.
constexpr auto Slack = 1000ms;

// The longest time the window's thread went without serving its event loop.
struct TLongestGap {
  QTimer Timer;
  QElapsedTimer Since;
  qint64 LongestMs = 0;
  TLongestGap() {
    Since.start();
    QObject::connect(&Timer, &QTimer::timeout, [this] {
      LongestMs = std::max(LongestMs, Since.restart());
    });
    Timer.start(20);
  }
};

struct RealSuspend : TWindowTest {
  void SetUp() override {
    SKIP_WITHOUT_STOPPABLE_SERVER();
    TWindowTest::SetUp();
    vmbox::Reinitialise(MatchedBoxes(), vmbox::TSpeed::RealTime);
  }
  void TearDown() override {
    if (realtest::TStoppedServer::Pid() > 0) TWindowTest::TearDown();
  }
  void Select(QComboBox* list, const char* name) {
    list->setCurrentIndex(list->findText(name));
    ASSERT_EQ(list->currentText(), name);
  }
  // A measurement on the server's devices that has shown a result.
  void StartMeasuring() {
    Open();
    Select(W->cbOut, "pulse");
    W->cbOutChange();
    Select(W->cbIn, "pulse");
    W->cbInChange();
    ASSERT_TRUE(PumpUntil([this] { return Idle(); }));
    W->rgRunMode->Item(1)->click();
    W->btnStart->click();
    ASSERT_TRUE(PumpUntil([this] { return Results > 0; }, 30s)) << "no result on the live server";
  }
};

TEST_F(RealSuspend, StopAndCloseEndWithinSecondsAndTheWindowKeepsPainting) {
  const int in = realtest::FindInput("pulse");
  ASSERT_GE(in, 0);
  // Stop, then close; and close in the middle of the measurement.
  for (const bool stopFirst : {true, false}) {
    SCOPED_TRACE(stopFirst ? "Stop, then close" : "close while measuring");
    ASSERT_NO_FATAL_FAILURE(StartMeasuring());
    Log.clear();
    {
      realtest::TStoppedServer server;
      ASSERT_TRUE(server.Stopped);
      TLongestGap gap;
      const auto start = Clock::now();
      if (stopFirst) {
        W->btnStart->click();
        EXPECT_TRUE(PumpUntil([this] { return Idle(); }, 10s)) << "the run never stopped";
        std::printf("Stop under a stopped server: idle after %lld ms\n",
                    static_cast<long long>((Clock::now() - start) / 1ms));
      }
      const auto closing = Clock::now();
      EXPECT_TRUE(W->close());
      W.reset();
      const auto closed = Clock::now() - closing;
      std::printf("close under a stopped server: %lld ms; longest gap of the window's thread "
                  "%lld ms\n",
                  static_cast<long long>(closed / 1ms), static_cast<long long>(gap.LongestMs));
      EXPECT_LT(closed, 2 * (limits::CloseLimit + Slack)) << "closing waited on the stopped server";
      // Closing itself does not serve the event loop; before it, only one call's limit at a time.
      if (stopFirst) {
        EXPECT_LT(gap.LongestMs, (limits::CloseLimit + Slack) / 1ms);
      }
      for (const auto& [line, info] : Log) std::printf("  log: %s\n", line.c_str());
    }
    ASSERT_TRUE(realtest::InputOpensAgain(in, 15s)) << "the device never came back";
  }
}

} // namespace
} // namespace dravik
