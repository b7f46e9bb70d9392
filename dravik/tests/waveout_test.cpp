// The playback device on the virtual measuring box: format negotiation, the buffers it loops,
// what the box's input hears, stopping and restarting, what must change nothing, and the driver
// failures it reports and recovers from.

#include "dravik/audio/uPcmCodes.h"
#include "dravik/audio/uWaveOut.h"
#include "dravik/measure/uFour1.h"
#include "platform/advice.h"
#include "platform/vmbox.h"
#include "platform/tests/support/app_environment.h"
#include "platform/tests/support/quiet_boxes.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

namespace dravik {
namespace {

using namespace std::chrono_literals;
namespace vmbox = platform::vmbox;
using vmbox::TPort;

const auto* const AppEnvironment =
    testsupport::AddAppEnvironment({testsupport::TAppKind::Core, true, "test"});
using testsupport::PumpUntil;
using testsupport::QuietResistorBox;

void PumpFor(std::chrono::milliseconds time) {
  PumpUntil([] { return false; }, time);
}

std::string DriverText(MMRESULT code) {
  char text[128] = {};
  waveOutGetErrorTextA(code, text, sizeof text);
  return text;
}


using TLog = std::vector<std::pair<std::string, bool>>; // text, IsInfo
std::pair<std::string, bool> Info(const std::string& text) { return {"WaveOut: " + text, true}; }
std::pair<std::string, bool> Error(const std::string& text) { return {"WaveOut: " + text, false}; }
// A failed call's line: the step, the driver's text and what the code means to the user.
std::pair<std::string, bool> Failure(const std::string& step, MMRESULT code) {
  return Error(platform::WithAdvice(step + DriverText(code), code));
}
const auto Started = Info("Start: Channels=2, Sampling=48000, Bits=16.");

class WaveOutOnBox : public testing::Test {
protected:
  void SetUp() override {
    vmbox::Reinitialise({QuietResistorBox("Box A", 47), QuietResistorBox("Box B", 0)}, vmbox::TSpeed::Fast);
  }
  void TearDown() override { Device.reset(); }

  TWaveOut& Create(bool expectOk = true) {
    Device.reset();
    bool ok = false;
    Device = std::make_unique<TWaveOut>(
        [this](const std::string& m, bool i) { Log.emplace_back(m, i); }, ok);
    EXPECT_EQ(ok, expectOk);
    Log.clear();
    return *Device;
  }
  TWaveOut& Playing() {
    Create().MultiSin(9, 1, 1024);
    EXPECT_TRUE(PumpUntil([this] { return Device->Active; }));
    return *Device;
  }
  void StopAndWait() {
    Device->Stop();
    EXPECT_TRUE(PumpUntil([this] { return !Device->Active && Device->Handle() == nullptr; }));
  }
  // Nothing holds box 0's output open any more.
  static bool DeviceIsFree() {
    const WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 22050, 22050 * 4, 4, 16, 0};
    HWAVEOUT out = nullptr;
    return waveOutOpen(&out, vmbox::DeviceId(0, TPort::Output), &f, 0, 0, CALLBACK_NULL) == 0 &&
           waveOutClose(out) == 0;
  }

  TLog Log;
  std::unique_ptr<TWaveOut> Device;
};

TEST_F(WaveOutOnBox, CreationSettlesTheHighestUsefulRateAndTheOpenFlags) {
  struct Case {
    uint32_t maxRate;
    DWORD rate;
    DWORD flags;
  };
  const Case cases[] = {{192000, 48000, WAVE_FORMAT_DIRECT},
                        {96000, 96000, WAVE_FORMAT_DIRECT},
                        {44100, 44100, 0},
                        {22050, 22050, 0}};
  for (const auto& c : cases) {
    vmbox::SetMaxSampleRate(c.maxRate);
    Device.reset();
    bool ok = false;
    TWaveOut out([this](const std::string& m, bool i) { Log.emplace_back(m, i); }, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(out.OpenFlags(), CALLBACK_WINDOW | c.flags) << c.maxRate;
    const std::string format = "Channels=2, Sampling=" + std::to_string(c.rate) + ", Bits=16.";
    EXPECT_EQ(Log, (TLog{Info("Creating ..."), Info("\"Box A\": Set format: " + format)}));
    EXPECT_TRUE(DeviceIsFree()) << "a test open left the device open";
    Log.clear();
  }
  vmbox::SetSynchronousOutput(1, true); // only this device may and must get WAVE_ALLOWSYNC
  TWaveOut& out = Create();
  EXPECT_FALSE(out.OpenFlags() & WAVE_ALLOWSYNC);
  out.SelectDevice(static_cast<int32_t>(vmbox::DeviceId(1, TPort::Output)));
  EXPECT_TRUE(out.OpenFlags() & WAVE_ALLOWSYNC);
  Log.clear();
  out.MultiSin(9, 1, 1024);
  EXPECT_TRUE(PumpUntil([&] { return out.Active; })) << "refused without the flag";
}

TEST_F(WaveOutOnBox, MissingDevicesAndRefusedFormatsAreReported) {
  vmbox::FailCall("waveOutOpen", WAVERR_BADFORMAT);
  bool ok = true;
  TWaveOut refused([this](const std::string& m, bool i) { Log.emplace_back(m, i); }, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(Log.back(),
            Error("\"Box A\": Invalid wave format: Channels=2, Sampling=44100, Bits=16. The device "
                  "does not support this sampling rate or number of bits: choose another rate "
                  "(44100 or 48000 Hz with 16 bits suits most cards)."));
  vmbox::Reinitialise({}, vmbox::TSpeed::Fast);
  Log.clear();
  TWaveOut none([this](const std::string& m, bool i) { Log.emplace_back(m, i); }, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(Log, (TLog{Info("Creating ..."), Error("Devices not found.")}));
  none.Open();
  none.Stop();
  EXPECT_EQ(Log.size(), 2u);
}

TEST_F(WaveOutOnBox, BothBuffersLoopTheTableRotatedByOneFrame) {
  for (const WORD bits : {16, 8}) {
    vmbox::SetMaxSampleRate(44100);
    TWaveOut& out = Create();
    out.SetBits(bits);
    out.MultiSin(9, 1, 1024);
    ASSERT_TRUE(PumpUntil([&] { return out.Active; }));
    EXPECT_EQ(
        Log, (TLog{Info("Start: Channels=2, Sampling=44100, Bits=" + std::to_string(bits) + ".")}));
    ASSERT_EQ(out.Headers().size(), 2u);
    EXPECT_EQ(out.QueuedCount(), 2);
    const TDataVector& table = out.Signal()[0];
    for (size_t n = 0; n < 2; ++n) {
      const WAVEHDR& h = out.Headers()[n];
      EXPECT_EQ(h.dwBufferLength, 2048u * 2 * bits / 8);
      EXPECT_EQ(h.dwLoops, 0xFFFFFFFFu);
      EXPECT_EQ(h.dwFlags & (WHDR_BEGINLOOP | WHDR_ENDLOOP),
                n == 0 ? WHDR_BEGINLOOP : WHDR_ENDLOOP);
      const auto* data = reinterpret_cast<const uint8_t*>(h.lpData);
      for (size_t j = 0; j < 2 * 2048; ++j) { // both channels of every frame
        ASSERT_NEAR(static_cast<double>(InputReader(bits)(data + j * bits / 8)),
                    static_cast<double>(table[(j / 2 + 1) % 2048]), bits == 16 ? 1.6e-5 : 4e-3)
            << "buffer " << n << " sample " << j;
      }
    }
  }
}

// Records 32768 frames of box 0's left input at 48000 Hz and returns the last 2048.
TDataVector RecordLeft() {
  struct TTarget : platform::TMessageTarget {
    bool Done = false;
    void HandleMessage(UINT message, WPARAM, LPARAM) override { Done |= message == MM_WIM_DATA; }
  } target;
  const WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 48000, 48000 * 4, 4, 16, 0};
  std::vector<char> buffer(32768 * 4);
  WAVEHDR h{buffer.data(), static_cast<DWORD>(buffer.size()), 0, 0, 0, 0, nullptr, 0};
  HWAVEIN in = nullptr;
  EXPECT_EQ(waveInOpen(&in, vmbox::DeviceId(0, TPort::Input), &f,
                       reinterpret_cast<DWORD_PTR>(target.Handle()), 0, CALLBACK_WINDOW),
            0u);
  waveInPrepareHeader(in, &h, sizeof h);
  waveInAddBuffer(in, &h, sizeof h);
  waveInStart(in);
  EXPECT_TRUE(PumpUntil([&] { return target.Done; }));
  waveInUnprepareHeader(in, &h, sizeof h);
  waveInClose(in);
  TDataVector left(2048);
  for (size_t i = 0; i < 2048; ++i)
    left[i] = ReadPcm16(reinterpret_cast<uint8_t*>(&buffer[4 * (30720 + i)]));
  return left;
}

std::vector<long double> Spectrum(const TDataVector& x) {
  TDataVector z(2 * x.size());
  for (size_t i = 0; i < x.size(); ++i) z[2 * i] = x[i];
  Four1(z.data(), static_cast<int>(x.size()), 1);
  std::vector<long double> magnitude(x.size() / 2);
  for (size_t k = 0; k < magnitude.size(); ++k) magnitude[k] = std::hypot(z[2 * k], z[2 * k + 1]);
  return magnitude;
}

TEST_F(WaveOutOnBox, TheBoxHearsTheTableRepeatedWithEnergyOnlyAtTheTones) {
  TWaveOut& out = Playing();
  const auto heard = Spectrum(RecordLeft()); // any 2048 frames of the loop, once settled
  const auto played = Spectrum(out.Signal()[0]);
  const long double gain = 57.0L / 59.2L; // (47 + 10) / (2.2 source + 47 + 10), all resistive
  for (size_t k = 0; k < heard.size(); ++k) {
    if (k >= 2 && k <= 512 && std::has_single_bit(k)) {
      EXPECT_NEAR(static_cast<double>(heard[k] / (played[k] * gain)), 1.0, 1e-3) << "bin " << k;
    } else {
      EXPECT_LT(static_cast<double>(heard[k] / played[2]), 1e-4) << "bin " << k;
    }
  }
}

TEST_F(WaveOutOnBox, AStartStopRestartCycleReportsInOrderAndFreesTheDevice) {
  TWaveOut& out = Playing();
  StopAndWait();
  EXPECT_TRUE(DeviceIsFree());
  out.Trapezium(0.0001L, 0.001L);
  ASSERT_TRUE(PumpUntil([&] { return out.Active; }));
  StopAndWait();
  out.Open(); // the last table again
  ASSERT_TRUE(PumpUntil([&] { return out.Active; }));
  EXPECT_EQ(out.BufferFrames(), 106);
  Device.reset(); // stops and waits for the close
  EXPECT_EQ(Log, (TLog{Started, Info("Stop."), Started, Info("Stop."), Started, Info("Stop.")}));
  EXPECT_TRUE(DeviceIsFree());
}

TEST_F(WaveOutOnBox, IdleStopsCallsWhilePlayingAndForeignNoticesChangeNothing) {
  Create().Stop();
  PumpFor(10ms);
  EXPECT_TRUE(Log.empty());
  TWaveOut& out = Playing();
  const TDataMatrix table = out.Signal();
  out.Trapezium(0.0001L, 0.001L);
  out.MultiSin(3, 1, 1024);
  out.SetSampleRate(22050);
  out.SetBits(8);
  out.SelectDevice(static_cast<int32_t>(vmbox::DeviceId(1, TPort::Output)));
  WAVEHDR stranger{};
  const auto window = out.WindowHandle();
  PostMessage(window, MM_WOM_DONE, reinterpret_cast<WPARAM>(&stranger),
              reinterpret_cast<LPARAM>(&out.Headers()[0]));
  PostMessage(window, MM_WOM_DONE, reinterpret_cast<WPARAM>(out.Handle()),
              reinterpret_cast<LPARAM>(&stranger));
  PostMessage(window, MM_WOM_CLOSE, reinterpret_cast<WPARAM>(&stranger), 0);
  PumpFor(20ms);
  EXPECT_EQ(out.Signal(), table);
  EXPECT_EQ(out.FormatText(), "Channels=2, Sampling=48000, Bits=16");
  EXPECT_EQ(out.DeviceID, 0);
  EXPECT_EQ(out.QueuedCount(), 2);
  EXPECT_EQ(Log, (TLog{Started}));
}

TEST_F(WaveOutOnBox, FailuresAreReportedAndAFailedStartFreesTheDeviceForTheNextSignal) {
  struct Case {
    std::function<void()> fault, call;
    std::pair<std::string, bool> line;
  };
  const Case cases[] = {
      {[] {}, [this] { Device->MultiSin(-1, 1, 1024); }, Error("Exception in MultiSin")},
      {[] {}, [this] { Device->Trapezium(0.0001L, -0.001L); }, Error("Exception in Trapezium.")},
      {[] { vmbox::FailNextOpen(TPort::Output, MMSYSERR_ALLOCATED); },
       [this] { Device->MultiSin(9, 1, 1024); }, Failure("Open: ", MMSYSERR_ALLOCATED)},
      {[] { vmbox::FailCall("waveOutPrepareHeader", MMSYSERR_NOMEM); },
       [this] { Device->MultiSin(9, 1, 1024); },
       Failure("Prepare header #0: ", MMSYSERR_NOMEM)},
      {[] { vmbox::FailCall("waveOutWrite", MMSYSERR_NOMEM); },
       [this] { Device->MultiSin(9, 1, 1024); },
       Failure("Write header #0: ", MMSYSERR_NOMEM)},
  };
  for (const auto& c : cases) {
    TWaveOut& out = Create();
    c.fault();
    c.call();
    ASSERT_TRUE(PumpUntil([&] { return !Log.empty() && out.Handle() == nullptr; })) << c.line.first;
    EXPECT_EQ(Log.front(), c.line);
    EXPECT_TRUE(DeviceIsFree()) << c.line.first;
    out.MultiSin(9, 1, 1024);
    EXPECT_TRUE(PumpUntil([&] { return out.Active; })) << c.line.first;
  }
}

TEST_F(WaveOutOnBox, AFailedResetCanBeRepeatedAndAVanishedDeviceIsClosed) {
  TWaveOut& out = Playing();
  vmbox::FailCall("waveOutReset", MMSYSERR_ERROR);
  out.Stop();
  EXPECT_EQ(Log.back(), Failure("Close: Reset: ", MMSYSERR_ERROR));
  StopAndWait();
  EXPECT_EQ(Log.back(), Info("Stop."));

  Playing();
  vmbox::Vanish(0, TPort::Output);
  ASSERT_TRUE(PumpUntil([&] { return !Device->Active && Device->Handle() == nullptr; }));
  EXPECT_EQ(Log, (TLog{Started, Failure("Write header #0: ", MMSYSERR_NODRIVER),
                       Failure("Write header #1: ", MMSYSERR_NODRIVER), Info("Stop.")}));
}

TEST_F(WaveOutOnBox, DestructionNeverHangsAndLeavesNoDeviceOpen) {
  Create().MultiSin(9, 1, 1024);
  Device.reset(); // the open notice is still on its way
  EXPECT_TRUE(Log.empty());
  EXPECT_TRUE(DeviceIsFree());

  Playing();
  vmbox::FailCall("waveOutReset", MMSYSERR_ERROR, 0xFFFFFFFFu);
  const auto start = std::chrono::steady_clock::now();
  Device.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

} // namespace
} // namespace dravik
