// Dravik's window on a real sound card: the loopback server of scripts/loopback.sh, whose
// capture stream amplifies the left channel Gain times (a stream volume, which none of the
// program's mixer controls reaches), so that input 0 clips at step 0 while input 1 reads the
// tone as played. The level handlers must settle within a few level changes, and every reading
// after that must be the resistor Rref * (Gain - 1) that such a divider stands for. The window
// runs uncalibrated, with the nominal factor 2^s of step s: right only where a step halves the
// amplitude, as the server's volumes must.

#define UITEST_REAL_CARDS
#include "dravik/tests/ui_support.h"
#include "platform/tests/real_support.h"

#include <cstdio>

namespace dravik {
namespace {

using namespace uitest;

constexpr double Gain = 2.5; // input 0 peaks at 1.125 at step 0 and 0.5625 at step 1
constexpr double Rref = 10;  // the window's default reference resistor

// Sets every capture stream's volume to `left` and `right` (in amplitude; the server's scale is
// cubic). The loopback script's own recorder is among them; what it records is thrown away.
bool SetCaptureStreamVolume(double left, double right) {
  auto raw = [](double amplitude) {
    return std::to_string(std::lround(65536 * std::cbrt(amplitude)));
  };
  return realtest::Shell("for i in $(pactl list short source-outputs | cut -f1); do "
                         "pactl set-source-output-volume $i " + raw(left) + " " + raw(right) +
                         " || exit 1; done");
}

struct RealLevels : TWindowTest {
  void SetUp() override {
    SKIP_WITHOUT_LOOPBACK();
    TWindowTest::SetUp();
    // The virtual card's fast clock would be the time of day, which its idle boxes hold still.
    vmbox::Reinitialise(MatchedBoxes(), vmbox::TSpeed::RealTime);
    Open();
  }
  void TearDown() override {
    if (realtest::LoopbackSink().empty()) return;
    TWindowTest::TearDown();
    SetCaptureStreamVolume(1, 1);
  }

  void Select(QComboBox* list, const char* name) {
    list->setCurrentIndex(list->findText(name));
    ASSERT_EQ(list->currentText(), name);
  }
};

TEST_F(RealLevels, AChannelThatClipsAtStepZeroSettlesAndEveryReadingAfterItIsRight) {
  Select(W->cbOut, "pulse");
  W->cbOutChange();
  Select(W->cbIn, "pulse");
  W->cbInChange();
  ASSERT_TRUE(PumpUntil([this] { return Idle(); }));

  struct TReading {
    std::string Text;
    size_t LevelChanges; // made before the reading was shown
  };
  std::vector<TReading> readings;
  size_t started = 0; // the log line of the capture's start
  const auto connection = QObject::connect(W.get(), &TfmLCR::ResultShown, [&] {
    if (started) readings.push_back({Text(W->lblR), LevelChanges(started)});
  });
  W->rgRunMode->Item(1)->click();
  W->btnStart->click();
  ASSERT_TRUE(PumpUntil([&] {
    for (size_t i = 0; i < Log.size() && !started; ++i) {
      if (Log[i].first.rfind("WaveIn: Start:", 0) == 0) started = i;
    }
    return started > 0;
  }));
  ASSERT_TRUE(SetCaptureStreamVolume(Gain, 1));
  constexpr size_t Wanted = 6;
  const bool read = PumpUntil([&] { return readings.size() >= Wanted; }, 20s);
  const std::pair<int32_t, int32_t> steps{W->SignalIn->GetAttIndex(0),
                                          W->SignalIn->GetAttIndex(1)};
  StopRun();
  QObject::disconnect(connection);

  const size_t changes = LevelChanges(started);
  const size_t saturations = Count("Saturation. Channel: 0") + Count("Saturation. Channel: 1");
  std::printf("[ measured ] %zu level changes, %zu saturation lines, %zu readings, input steps "
              "%d and %d\n", changes, saturations, readings.size(), steps.first, steps.second);
  EXPECT_TRUE(read);
  EXPECT_GE(Count("Saturation. Channel: 0"), 1u); // the input did clip
  EXPECT_LE(changes, 3u);
  // The clipping input one step down, or two where a block recorded before the change came in
  // late and clipped as well; the other input as it was.
  EXPECT_GE(steps.first, 1);
  EXPECT_LE(steps.first, 2);
  EXPECT_EQ(steps.second, 0);
  // The first reading after the last change may still average blocks from before it.
  size_t checked = 0;
  bool first = true;
  for (const auto& reading : readings) {
    std::printf("[ measured ] after %zu level changes: %s\n", reading.LevelChanges,
                reading.Text.c_str());
    if (reading.LevelChanges < changes) continue;
    if (std::exchange(first, false)) continue;
    ++checked;
    constexpr double Expected = Rref * (Gain - 1);
    EXPECT_NEAR(EngValue(reading.Text, "Rx= ", "Ohm"), Expected, 0.01 * Expected) << reading.Text;
  }
  EXPECT_GE(checked, Wanted / 2);
}

} // namespace
} // namespace dravik
