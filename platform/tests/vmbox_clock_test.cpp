// The virtual card's clock: a minute of audio in a few seconds with the time of day following
// it, real time kept within 1 %, and the environment's choice of speed and boxes. (The fast
// card's pacing rules show in the other tests: exact positions at a starved input, no gaps in
// requeued playback, lost and late buffers.)

#include "platform/clock.h"
#include "platform/vmbox/uVmboxEnv.h"
#include "platform/tests/wave_support.h"

#include <cstdio>
#include <sstream>

// Sanitizer builds run the simulation many times slower; there the bound only catches a hang.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define WAVE_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define WAVE_TEST_SANITIZED 1
#endif
#endif

namespace {

#ifdef WAVE_TEST_SANITIZED
constexpr double MinuteWallLimit = 200;
#else
constexpr double MinuteWallLimit = 10;
#endif

using namespace wavetest;
namespace vmbox = platform::vmbox;

// ---- The environment ----

TEST(VmboxEnvironment, UnusableValuesAreReportedAndTheDefaultsTaken) {
  struct Case { const char* speed; const char* circuits; vmbox::TSpeed expected; bool reported; };
  const Case cases[] = {
      {nullptr, nullptr, vmbox::TSpeed::RealTime, false},
      {"fast", "", vmbox::TSpeed::Fast, false},
      {"realtime", nullptr, vmbox::TSpeed::RealTime, false},
      {"quick", nullptr, vmbox::TSpeed::RealTime, true},
      {"fast", "R=oops", vmbox::TSpeed::Fast, true},
  };
  const size_t defaults = vmbox::DefaultBoxes().size();
  for (const auto& c : cases) {
    std::ostringstream report;
    const vmbox::TVmboxSettings settings = vmbox::ReadSettings(c.speed, c.circuits, report);
    EXPECT_EQ(settings.Speed, c.expected);
    EXPECT_EQ(settings.Boxes.size(), defaults);
    EXPECT_EQ(!report.str().empty(), c.reported) << report.str();
  }
}

// ---- Running the card ----

TEST(CardClock, FastCardRunsAMinuteInSecondsAndTheTimeOfDayFollowsIt) {
  UseQuietCard(TSpeed::Fast);
  const platform::TDateTime before = platform::Now();
  const auto wallStart = std::chrono::steady_clock::now();
  TPlaySpec spec;
  spec.Seconds = 60;
  spec.EventMode = true;
  spec.InFrames = 4096;
  PlayAndRecord(spec);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  const int64_t ms = platform::MillisecondsBetween(before, platform::Now());
  std::printf("[ measured ] a minute of audio at 48 kHz: %.2f s of wall time, time of day +%lld ms\n",
              wall, static_cast<long long>(ms));
  EXPECT_LT(wall, MinuteWallLimit);
  // Within one capture buffer, and the playback that runs before the recording starts.
  EXPECT_NEAR(static_cast<double>(ms), 60000.0, 4096 / 48.0 + 200);
  UseQuietCard(TSpeed::RealTime);
  EXPECT_GT(platform::MillisecondsBetween(before, platform::Now()), 0); // the system clock again
}

TEST(CardClock, RealTimeCardKeepsPaceWithinOnePercent) {
  UseQuietCard(TSpeed::RealTime);
  TPlaySpec spec;
  spec.Seconds = 2.2;
  spec.EventMode = true;
  spec.InFrames = 480;
  const TRecording run = PlayAndRecord(spec);
  const double pace = static_cast<double>(run.FramesTimed) / 48000.0 / run.WallSeconds;
  std::printf("[ measured ] real-time card: %.4f s of audio per second of wall time\n", pace);
  EXPECT_NEAR(pace, 1.0, 0.01);
}

} // namespace
