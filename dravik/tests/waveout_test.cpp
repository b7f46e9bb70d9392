// The playback device on the virtual measuring box: format negotiation, the buffers it plays,
// the loop, stopping and restarting, the notices it must ignore, what the box's input hears,
// and the driver failures it reports and recovers from.

#include "dravik/audio/uPcmCodes.h"
#include "dravik/audio/uWaveOut.h"
#include "platform/kernel.h"
#include "platform/messages.h"
#include "platform/vmbox.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

namespace dravik {
namespace {

using namespace std::chrono_literals;
namespace vmbox = platform::vmbox;
using vmbox::TPort;

class TAppEnvironment : public testing::Environment {
public:
  void SetUp() override {
    setenv("VMBOX_ONLY", "1", 1); // only the virtual card, whatever the machine has
    App = std::make_unique<QCoreApplication>(Argc, Argv);
  }
  void TearDown() override { App.reset(); }

private:
  int Argc = 1;
  char Name[8] = "test";
  char* Argv[2] = {Name, nullptr};
  std::unique_ptr<QCoreApplication> App;
};
const auto* const AppEnvironment = testing::AddGlobalTestEnvironment(new TAppEnvironment);

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    platform::ProcessMessages();
    std::this_thread::sleep_for(100us);
  }
  return true;
}

void PumpFor(std::chrono::milliseconds time) { PumpUntil([] { return false; }, time); }

std::string DriverText(MMRESULT code) {
  char text[128] = {};
  waveOutGetErrorTextA(code, text, sizeof text);
  return text;
}

// A box without noise, offsets or mismatch, so that what its input hears is predictable.
vmbox::TBoxConfig QuietBox(const char* name, double r) {
  vmbox::TBoxConfig box;
  box.Name = name;
  box.Circuit.R = r;
  box.Circuit.Rref = 10;
  box.Card.NoiseOn = false;
  box.Card.Matched = true;
  box.Card.DcOffset[0] = box.Card.DcOffset[1] = 0;
  box.Card.HighPassHz[0] = box.Card.HighPassHz[1] = 0;
  return box;
}

struct TLogLine {
  std::string Text;
  bool IsInfo;
  bool operator==(const TLogLine&) const = default;
};
std::ostream& operator<<(std::ostream& os, const TLogLine& l) {
  return os << (l.IsInfo ? "info: " : "error: ") << l.Text;
}

class WaveOutOnBox : public testing::Test {
protected:
  void SetUp() override { vmbox::Reinitialise({QuietBox("Box A", 47), QuietBox("Box B", 0)}, vmbox::TSpeed::Fast); }
  void TearDown() override {
    Device.reset();
    vmbox::ClearFaults();
  }

  // A device on box 0's output (the first device), with the log cleared afterwards.
  TWaveOut& Create(bool expectOk = true) {
    Device.reset();
    bool ok = false;
    Device = std::make_unique<TWaveOut>([this](const std::string& m, bool i) { Log.push_back({m, i}); }, ok);
    EXPECT_EQ(ok, expectOk);
    return *Device;
  }
  TWaveOut& Playing() {
    Create();
    Log.clear();
    Device->MultiSin(9, 1, 1024);
    EXPECT_TRUE(PumpUntil([this] { return Device->Active; }));
    return *Device;
  }
  void StopAndWait() {
    Device->Stop();
    EXPECT_TRUE(PumpUntil([this] { return !Device->Active && Device->Handle() == nullptr; }));
  }
  // The device is free again: another program could open it now.
  static bool DeviceIsFree(size_t box) {
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 22050, 22050 * 4, 4, 16, 0}; // a rate every box accepts
    HWAVEOUT out = nullptr;
    if (waveOutOpen(&out, vmbox::DeviceId(box, TPort::Output), &f, 0, 0, CALLBACK_NULL) != 0) return false;
    return waveOutClose(out) == MMSYSERR_NOERROR;
  }

  std::vector<TLogLine> Log;
  std::unique_ptr<TWaveOut> Device;
};

TLogLine Info(const std::string& text) { return {"WaveOut: " + text, true}; }
TLogLine Error(const std::string& text) { return {"WaveOut: " + text, false}; }

// ---- Creation and format ----

TEST_F(WaveOutOnBox, CreationSettlesTheHighestUsefulRate) {
  struct Case { uint32_t maxRate; DWORD rate; bool direct; };
  const Case cases[] = {{192000, 48000, true}, {96000, 96000, true}, {48000, 48000, true},
                        {44100, 44100, false}, {22050, 22050, false}};
  for (const auto& c : cases) {
    vmbox::SetMaxSampleRate(c.maxRate);
    Log.clear();
    TWaveOut& out = Create();
    EXPECT_EQ(out.DeviceID, 0);
    EXPECT_EQ(out.SampleRate(), c.rate) << c.maxRate;
    EXPECT_EQ(out.OpenFlags(), CALLBACK_WINDOW | (c.direct ? WAVE_FORMAT_DIRECT : 0)) << c.maxRate;
    const std::string format = "Channels=2, Sampling=" + std::to_string(c.rate) + ", Bits=16.";
    EXPECT_EQ(Log, (std::vector<TLogLine>{Info("Creating ..."), Info("\"Box A\": Set format: " + format)}));
    EXPECT_FALSE(out.Probing());
    EXPECT_TRUE(DeviceIsFree(0)) << "a test open left the device open";
    Device.reset();
  }
}

TEST_F(WaveOutOnBox, MissingDevicesAndRefusedFormatsAreReported) {
  vmbox::FailCall("waveOutOpen", WAVERR_BADFORMAT);
  Create(false);
  EXPECT_EQ(Log.back(), Error("\"Box A\": Invalid wave format: Channels=2, Sampling=44100, Bits=16."));

  vmbox::Reinitialise({}, vmbox::TSpeed::Fast);
  Log.clear();
  TWaveOut& none = Create(false);
  EXPECT_EQ(Log, (std::vector<TLogLine>{Info("Creating ..."), Error("Devices not found.")}));
  EXPECT_EQ(none.DeviceID, -1);
  none.Open(); // nothing to open
  none.Stop();
  EXPECT_EQ(Log.size(), 2u);
}

TEST_F(WaveOutOnBox, AllowSyncOnlyForADeviceThatPlaysSynchronously) {
  vmbox::SetSynchronousOutput(1, true);
  TWaveOut& out = Create();
  EXPECT_FALSE(out.OpenFlags() & WAVE_ALLOWSYNC);
  out.SelectDevice(static_cast<int32_t>(vmbox::DeviceId(1, TPort::Output)));
  EXPECT_TRUE(out.OpenFlags() & WAVE_ALLOWSYNC);
  Log.clear();
  out.MultiSin(9, 1, 1024); // this device refuses an open without the flag
  ASSERT_TRUE(PumpUntil([&] { return out.Active; }));
  EXPECT_EQ(Log, (std::vector<TLogLine>{Info("Start: Channels=2, Sampling=48000, Bits=16.")}));
  StopAndWait();
  out.SelectDevice(0);
  EXPECT_FALSE(out.OpenFlags() & WAVE_ALLOWSYNC);
}

// ---- What is played ----

TEST_F(WaveOutOnBox, BothBuffersHoldTheTableRotatedByOneFrame) {
  struct Case { WORD bits; DWORD bytes; };
  for (const Case c : {Case{16, 8192}, Case{8, 4096}}) {
    vmbox::SetMaxSampleRate(44100);
    TWaveOut& out = Create();
    out.SetBits(c.bits);
    Log.clear();
    out.MultiSin(9, 1, 1024);
    ASSERT_TRUE(PumpUntil([&] { return out.Active; }));
    EXPECT_EQ(Log, (std::vector<TLogLine>{
                       Info("Start: Channels=2, Sampling=44100, Bits=" + std::to_string(c.bits) + ".")}));
    EXPECT_EQ(out.BufferFrames(), 2048);
    EXPECT_EQ(out.QueuedCount(), 2);
    ASSERT_EQ(out.Headers().size(), 2u);
    const TDataVector& table = out.Signal()[0];
    for (size_t n = 0; n < 2; ++n) {
      const WAVEHDR& h = out.Headers()[n];
      EXPECT_EQ(h.dwBufferLength, c.bytes);
      EXPECT_EQ(h.dwLoops, 0xFFFFFFFFu);
      EXPECT_EQ(h.dwFlags & (WHDR_BEGINLOOP | WHDR_ENDLOOP), n == 0 ? WHDR_BEGINLOOP : WHDR_ENDLOOP);
      const auto* data = reinterpret_cast<const uint8_t*>(h.lpData);
      const TSampleReader read = InputReader(c.bits);
      const size_t sample = c.bits / 8;
      for (size_t j = 0; j < 2048; ++j) {
        const long double expected = table[(j + 1) % 2048];
        for (size_t ch = 0; ch < 2; ++ch) {
          ASSERT_NEAR(static_cast<double>(read(data + (2 * j + ch) * sample)), static_cast<double>(expected),
                      c.bits == 16 ? 1.6e-5 : 4e-3)
              << "buffer " << n << " frame " << j << " channel " << ch;
        }
      }
    }
    StopAndWait();
    Device.reset();
  }
}

// Real DFT magnitudes at bins 0..N/2-1 of one channel's N frames.
std::vector<long double> Spectrum(const std::vector<long double>& x) {
  TDataVector data(2 * x.size());
  for (size_t i = 0; i < x.size(); ++i) data[2 * i] = x[i];
  Four1(data.data(), static_cast<int>(x.size()), 1);
  std::vector<long double> magnitude(x.size() / 2);
  for (size_t k = 0; k < magnitude.size(); ++k) magnitude[k] = std::hypot(data[2 * k], data[2 * k + 1]);
  return magnitude;
}

// Records `frames` frames of the left input of a box at 48000 Hz, 16 bits, stereo.
std::vector<long double> RecordLeft(size_t box, size_t frames) {
  struct TTarget : platform::TMessageTarget {
    int Done = 0;
    void HandleMessage(UINT message, WPARAM, LPARAM) override { Done += message == MM_WIM_DATA; }
  } target;
  const WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 48000, 48000 * 4, 4, 16, 0};
  HWAVEIN in = nullptr;
  EXPECT_EQ(waveInOpen(&in, vmbox::DeviceId(box, TPort::Input), &f,
                       reinterpret_cast<DWORD_PTR>(target.Handle()), 0, CALLBACK_WINDOW),
            MMSYSERR_NOERROR);
  std::vector<char> buffer(frames * 4);
  WAVEHDR h{};
  h.lpData = buffer.data();
  h.dwBufferLength = static_cast<DWORD>(buffer.size());
  waveInPrepareHeader(in, &h, sizeof h);
  waveInAddBuffer(in, &h, sizeof h);
  waveInStart(in);
  EXPECT_TRUE(PumpUntil([&] { return target.Done == 1; }));
  waveInReset(in);
  waveInUnprepareHeader(in, &h, sizeof h);
  waveInClose(in);
  std::vector<long double> left(frames);
  for (size_t i = 0; i < frames; ++i) left[i] = ReadPcm16(reinterpret_cast<const uint8_t*>(&buffer[4 * i]));
  return left;
}

TEST_F(WaveOutOnBox, TheBoxHearsTheTableRepeatedWithEnergyOnlyAtTheTones) {
  TWaveOut& out = Playing();
  ASSERT_EQ(out.SampleRate(), 48000u);
  const std::vector<long double> recorded = RecordLeft(0, 32768);
  // Any 2048 frames of the looped table, once the jig has settled, hold the same tones.
  const std::vector<long double> last(recorded.end() - 2048, recorded.end());
  const auto heard = Spectrum(last);
  const auto played = Spectrum({out.Signal()[0].begin(), out.Signal()[0].end()});
  const long double gain = 57.0L / 59.2L; // (47 + 10) / (2.2 source + 47 + 10): all resistive
  for (size_t k = 0; k < heard.size(); ++k) {
    const bool tone = k >= 2 && k <= 512 && std::has_single_bit(k);
    if (tone) {
      EXPECT_NEAR(static_cast<double>(heard[k] / (played[k] * gain)), 1.0, 1e-3) << "bin " << k;
    } else {
      EXPECT_LT(static_cast<double>(heard[k] / played[2]), 1e-4) << "bin " << k;
    }
  }
}

// ---- Running, stopping and what must change nothing ----

TEST_F(WaveOutOnBox, AStartStopRestartCycleReportsInOrder) {
  TWaveOut& out = Playing();
  StopAndWait();
  EXPECT_EQ(out.QueuedCount(), 0);
  EXPECT_FALSE(out.Stopping());
  EXPECT_TRUE(DeviceIsFree(0));
  out.Trapezium(0.0001L, 0.001L);
  ASSERT_TRUE(PumpUntil([&] { return out.Active; }));
  EXPECT_EQ(out.BufferFrames(), 106);
  StopAndWait();
  out.Open(); // the last table again
  ASSERT_TRUE(PumpUntil([&] { return out.Active; }));
  EXPECT_EQ(out.BufferFrames(), 106);
  Device.reset(); // stops and waits for the close
  const TLogLine start = Info("Start: Channels=2, Sampling=48000, Bits=16.");
  EXPECT_EQ(Log, (std::vector<TLogLine>{start, Info("Stop."), start, Info("Stop."), start, Info("Stop.")}));
  EXPECT_TRUE(DeviceIsFree(0));
}

TEST_F(WaveOutOnBox, SignalsAndSettingsWaitWhileTheDeviceIsOpen) {
  TWaveOut& out = Playing();
  const TDataMatrix table = out.Signal();
  out.Trapezium(0.0001L, 0.001L);
  out.MultiSin(3, 1, 1024);
  out.SetSampleRate(22050);
  out.SetBits(8);
  out.SelectDevice(static_cast<int32_t>(vmbox::DeviceId(1, TPort::Output)));
  out.Open();
  PumpFor(20ms);
  EXPECT_EQ(out.Signal(), table);
  EXPECT_EQ(out.BufferFrames(), 2048);
  EXPECT_EQ(out.FormatText(), "Channels=2, Sampling=48000, Bits=16");
  EXPECT_EQ(out.DeviceID, 0);
  EXPECT_EQ(Log.size(), 1u); // only the start
  EXPECT_TRUE(out.Active);
}

TEST_F(WaveOutOnBox, StopWhileIdleAndForeignNoticesChangeNothing) {
  TWaveOut& idle = Create();
  Log.clear();
  idle.Stop();
  PumpFor(10ms);
  EXPECT_TRUE(Log.empty());
  EXPECT_FALSE(idle.Stopping());
  Device.reset();

  TWaveOut& out = Playing();
  auto* header = const_cast<WAVEHDR*>(&out.Headers()[0]);
  WAVEHDR stranger{};
  const auto otherDevice = reinterpret_cast<WPARAM>(&stranger);
  PostMessage(out.WindowHandle(), MM_WOM_DONE, otherDevice, reinterpret_cast<LPARAM>(header));
  PostMessage(out.WindowHandle(), MM_WOM_DONE, reinterpret_cast<WPARAM>(out.Handle()),
              reinterpret_cast<LPARAM>(&stranger));
  PostMessage(out.WindowHandle(), MM_WOM_CLOSE, otherDevice, 0);
  PumpFor(20ms);
  EXPECT_EQ(out.QueuedCount(), 2);
  EXPECT_TRUE(out.Active);
  EXPECT_EQ(Log.size(), 1u) << Log.back();
  StopAndWait();
  EXPECT_EQ(Log.back(), Info("Stop."));
}

TEST_F(WaveOutOnBox, GeneratorFailuresAreReportedAndPlayNothing) {
  TWaveOut& out = Create();
  struct Case { std::function<void()> call; const char* text; };
  const Case cases[] = {
      {[&] { out.MultiSin(-1, 1, 1024); }, "Exception in MultiSin"},
      {[&] { out.MultiSin(31, 1, 1024); }, "Exception in MultiSin"},
      {[&] { out.Trapezium(0.0001L, -0.001L); }, "Exception in Trapezium."},
  };
  for (const auto& c : cases) {
    Log.clear();
    c.call();
    PumpFor(10ms);
    EXPECT_EQ(Log, (std::vector<TLogLine>{Error(c.text)}));
    EXPECT_EQ(out.Handle(), nullptr);
    EXPECT_FALSE(out.Active);
    EXPECT_EQ(out.BufferFrames(), 1024); // the table of the creation stays
  }
}

// ---- Driver failures ----

TEST_F(WaveOutOnBox, AFailedStartReleasesTheDeviceForTheNextSignal) {
  struct Case { std::function<void()> inject; std::string text; };
  const Case cases[] = {
      {[] { vmbox::FailNextOpen(TPort::Output, MMSYSERR_ALLOCATED); }, "Open: " + DriverText(MMSYSERR_ALLOCATED)},
      {[] { vmbox::FailCall("waveOutPrepareHeader", MMSYSERR_NOMEM); },
       "Prepare header #0: " + DriverText(MMSYSERR_NOMEM)},
      {[] { vmbox::FailCall("waveOutWrite", MMSYSERR_NOMEM); }, "Write header #0: " + DriverText(MMSYSERR_NOMEM)},
  };
  for (const auto& c : cases) {
    TWaveOut& out = Create();
    Log.clear();
    c.inject();
    out.MultiSin(9, 1, 1024);
    ASSERT_TRUE(PumpUntil([&] { return out.Handle() == nullptr && !Log.empty(); })) << c.text;
    PumpFor(10ms);
    EXPECT_EQ(Log.front(), Error(c.text));
    EXPECT_FALSE(out.Active);
    EXPECT_TRUE(DeviceIsFree(0)) << c.text;
    out.MultiSin(9, 1, 1024);
    EXPECT_TRUE(PumpUntil([&] { return out.Active; })) << c.text;
    Device.reset();
  }
}

TEST_F(WaveOutOnBox, AStopThatFailsCanBeRepeated) {
  struct Case { const char* call; std::string text; };
  const Case cases[] = {
      {"waveOutReset", "Close: Reset: " + DriverText(MMSYSERR_ERROR)},
      {"waveOutUnprepareHeader", "Unprepare header #0: " + DriverText(MMSYSERR_ERROR)},
      {"waveOutClose", "Close: " + DriverText(MMSYSERR_ERROR)},
  };
  for (const auto& c : cases) {
    TWaveOut& out = Playing();
    vmbox::FailCall(c.call, MMSYSERR_ERROR);
    out.Stop();
    PumpFor(20ms);
    EXPECT_EQ(Log.back(), Error(c.text));
    EXPECT_TRUE(out.Active) << c.call;
    StopAndWait();
    EXPECT_EQ(Log.back(), Info("Stop.")) << c.call;
    EXPECT_TRUE(DeviceIsFree(0)) << c.call;
    Device.reset();
  }
}

TEST_F(WaveOutOnBox, AVanishedDeviceIsClosedInsteadOfWaitedFor) {
  TWaveOut& out = Playing();
  vmbox::Vanish(0, TPort::Output);
  ASSERT_TRUE(PumpUntil([&] { return !out.Active; }));
  const std::string gone = DriverText(MMSYSERR_NODRIVER);
  EXPECT_EQ(Log, (std::vector<TLogLine>{Info("Start: Channels=2, Sampling=48000, Bits=16."),
                                        Error("Write header #0: " + gone), Error("Write header #1: " + gone),
                                        Info("Stop.")}));
  EXPECT_EQ(out.Handle(), nullptr);
}

TEST_F(WaveOutOnBox, DestructionNeverHangsAndLeavesNoDeviceOpen) {
  TWaveOut& opening = Create();
  Log.clear();
  opening.MultiSin(9, 1, 1024);
  Device.reset(); // the open notice is still on its way
  EXPECT_TRUE(Log.empty());
  EXPECT_TRUE(DeviceIsFree(0));

  Playing();
  vmbox::FailCall("waveOutReset", MMSYSERR_ERROR, 0xFFFFFFFFu);
  const auto start = std::chrono::steady_clock::now();
  Device.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(Log.back(), Error("Close: Reset: " + DriverText(MMSYSERR_ERROR)));
}

} // namespace
} // namespace dravik
