// Playback and capture through the real back end on the loopback server: an unbroken stream
// with every buffer back in order and no frame lost, the round-trip latency, and a level
// divider made by lowering the sink's right channel, read back as the resistor it stands for.

#include "platform/tests/real_support.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using namespace realtest;
namespace pcm = platform::pcm;

constexpr DWORD Rate = 48000;
constexpr size_t Period = 48;          // a 1 kHz tone: whole periods in every buffer
constexpr size_t BufferFrames = 4800;  // 100 ms
constexpr double ToneLevel = 0.5;

struct TLoopResult {
  std::vector<double> Stereo; // what the input recorded, full scale
  uint64_t Position = 0;      // the input's position at the end
  uint64_t OutputStart = 0;   // the input's position when the output was started
  size_t OutOfOrder = 0;      // input buffers that came back out of queue order
  size_t Timeouts = 0;        // waits of a second without any buffer back
};

// Plays the tone from 16 buffers and records from 32 (1.6 s and 3.2 s: on a loaded machine the
// sound server stalls and then catches up in bursts), each handed back as soon as it
// returns, until `seconds` have been recorded; then resets both devices.
TLoopResult PlayAndRecord(int in, int out, double seconds) {
  const WAVEFORMATEX format = Pcm16(Rate);
  const pcm::TLayout layout{2, 16};
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  const auto callback = reinterpret_cast<DWORD_PTR>(event);
  HWAVEIN hin = nullptr;
  HWAVEOUT hout = nullptr;
  TLoopResult result;
  EXPECT_EQ(waveInOpen(&hin, in, &format, callback, 0, CALLBACK_EVENT), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutOpen(&hout, out, &format, callback, 0, CALLBACK_EVENT), MMSYSERR_NOERROR);
  if (!hin || !hout) return result;

  std::vector<double> tone(2 * BufferFrames);
  for (size_t i = 0; i < BufferFrames; ++i) {
    tone[2 * i] = tone[2 * i + 1] = ToneLevel * std::sin(2 * std::numbers::pi * (i % Period) / Period);
  }
  std::vector<std::vector<uint8_t>> outData(16, std::vector<uint8_t>(BufferFrames * 4));
  std::vector<std::vector<uint8_t>> inData(32, std::vector<uint8_t>(BufferFrames * 4));
  std::vector<WAVEHDR> outHeaders(outData.size()), inHeaders(inData.size());
  for (size_t i = 0; i < inData.size(); ++i) {
    inHeaders[i] = WAVEHDR{};
    inHeaders[i].lpData = reinterpret_cast<LPSTR>(inData[i].data());
    inHeaders[i].dwBufferLength = static_cast<DWORD>(inData[i].size());
    waveInPrepareHeader(hin, &inHeaders[i], sizeof(WAVEHDR));
    waveInAddBuffer(hin, &inHeaders[i], sizeof(WAVEHDR));
  }
  waveInStart(hin);
  MMTIME time{TIME_SAMPLES, {}};
  waveInGetPosition(hin, &time, sizeof time);
  result.OutputStart = time.u.sample;
  for (size_t i = 0; i < outData.size(); ++i) {
    pcm::EncodeStereo(tone.data(), BufferFrames, layout, outData[i].data());
    outHeaders[i] = WAVEHDR{};
    outHeaders[i].lpData = reinterpret_cast<LPSTR>(outData[i].data());
    outHeaders[i].dwBufferLength = static_cast<DWORD>(outData[i].size());
    waveOutPrepareHeader(hout, &outHeaders[i], sizeof(WAVEHDR));
    waveOutWrite(hout, &outHeaders[i], sizeof(WAVEHDR));
  }

  const auto wanted = static_cast<size_t>(seconds * Rate);
  size_t next = 0; // the input buffer that must come back next
  auto take = [&](WAVEHDR& header, bool again) {
    next = (&header - inHeaders.data() + 1) % inHeaders.size();
    const size_t frames = header.dwBytesRecorded / 4, at = result.Stereo.size();
    result.Stereo.resize(at + 2 * frames);
    pcm::DecodeToStereo(reinterpret_cast<uint8_t*>(header.lpData), frames, layout,
                        result.Stereo.data() + at);
    header.dwFlags &= ~WHDR_DONE;
    if (again) waveInAddBuffer(hin, &header, sizeof(WAVEHDR));
  };
  auto back = [](WAVEHDR& header) {
    return (Flags(header) & (WHDR_DONE | WHDR_INQUEUE)) == WHDR_DONE;
  };
  while (result.Stereo.size() / 2 < wanted && result.Timeouts < 3) {
    if (WaitForSingleObject(event, 1000) != WAIT_OBJECT_0) ++result.Timeouts;
    while (back(inHeaders[next])) take(inHeaders[next], true);
    // Buffers come back in queue order, so none may be back while the one due first is not
    // (the others are looked at first: flags are set in return order).
    size_t others = 0;
    for (auto& header : inHeaders) others += &header != &inHeaders[next] && back(header);
    if (others && !back(inHeaders[next])) ++result.OutOfOrder;
    for (auto& header : outHeaders) {
      if (back(header)) {
        waveOutWrite(hout, &header, sizeof(WAVEHDR));
      }
    }
  }
  waveInReset(hin);
  waveOutReset(hout);
  // Reset returns every buffer at once: the partly filled one first, the empty ones after it.
  for (size_t i = 0; i < inHeaders.size(); ++i) {
    WAVEHDR& header = inHeaders[(next + i) % inHeaders.size()];
    if (back(header)) take(header, false);
  }
  waveInGetPosition(hin, &time, sizeof time);
  result.Position = time.u.sample;
  for (auto& header : inHeaders) waveInUnprepareHeader(hin, &header, sizeof(WAVEHDR));
  for (auto& header : outHeaders) waveOutUnprepareHeader(hout, &header, sizeof(WAVEHDR));
  EXPECT_EQ(waveInClose(hin), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(hout), MMSYSERR_NOERROR);
  CloseHandle(event);
  return result;
}

// The first frame at which the tone has arrived on the left input.
size_t Onset(const std::vector<double>& stereo) {
  for (size_t i = 0; i < stereo.size() / 2; ++i) {
    if (std::fabs(stereo[2 * i]) > 0.1) return i;
  }
  return stereo.size() / 2;
}

// Frames after the onset that differ from the frame one period earlier by more than two codes
// in either channel: a lost, doubled or silent stretch anywhere shows here.
size_t Seams(const std::vector<double>& stereo, size_t from) {
  size_t seams = 0;
  for (size_t i = std::max(from, Period); i < stereo.size() / 2; ++i) {
    for (int c = 0; c < 2; ++c) {
      const bool seam = std::fabs(stereo[2 * i + c] - stereo[2 * (i - Period) + c]) > 2.5 / 32768;
      if (seam && (seams < 2 || seams % 200 == 0)) {
        std::printf("seam at frame %zu of %zu, channel %d: %.4f\n", i, stereo.size() / 2, c,
                    stereo[2 * i + c]);
      }
      seams += seam;
    }
  }
  return seams;
}

class RealLoopback : public testing::Test {
protected:
  void SetUp() override {
    SKIP_WITHOUT_LOOPBACK();
    In = FindInput("pulse");
    Out = FindOutput("pulse");
    ASSERT_GE(In, 0) << "no input device named pulse";
    ASSERT_GE(Out, 0) << "no output device named pulse";
    SetSinkVolume(1.0, 1.0);
  }
  void TearDown() override {
    if (!LoopbackSink().empty()) SetSinkVolume(1.0, 1.0);
  }

  // The server's volume scale is cubic in amplitude: 65536 is full level.
  static void SetSinkVolume(double left, double right) {
    auto raw = [](double k) { return std::to_string(std::lround(65536 * std::cbrt(k))); };
    ASSERT_TRUE(Shell("pactl set-sink-volume " + LoopbackSink() + " " + raw(left) + " " +
                      raw(right)));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }

  int In = -1, Out = -1;
};

TEST_F(RealLoopback, TenSecondsComeBackWhole) {
  const TLoopResult r = PlayAndRecord(In, Out, 10);
  ASSERT_GE(r.Stereo.size() / 2, 10u * Rate);
  EXPECT_EQ(r.Timeouts, 0u);
  EXPECT_EQ(r.OutOfOrder, 0u);
  // Every frame that the position counts is in a returned buffer: none was lost.
  EXPECT_EQ(r.Position, r.Stereo.size() / 2);
  const size_t onset = Onset(r.Stereo);
  ASSERT_LT(onset, Rate) << "the tone did not come back within a second";
  const double latencyMs = 1000.0 * static_cast<double>(onset - r.OutputStart) / Rate;
  std::printf("round trip %.1f ms, %zu frames recorded, %llu counted\n", latencyMs,
              r.Stereo.size() / 2, static_cast<unsigned long long>(r.Position));
  EXPECT_EQ(Seams(r.Stereo, onset + Period), 0u);
  const auto level = std::abs(ToneAmplitude(r.Stereo, onset + Rate, Rate, 0, Period));
  EXPECT_NEAR(level, ToneLevel, 1e-3);
}

TEST_F(RealLoopback, LoweredRightChannelReadsAsTheDividerResistor) {
  constexpr double Rref = 10;
  const double ratios[] = {0.5, 0.25, 0.8};
  for (const double k : ratios) {
    SCOPED_TRACE(k);
    SetSinkVolume(1.0, k);
    const TLoopResult r = PlayAndRecord(In, Out, 2);
    const size_t onset = Onset(r.Stereo);
    ASSERT_LT(onset + 2 * BufferFrames + Rate / 2, r.Stereo.size() / 2);
    const size_t first = onset + 2 * BufferFrames;
    const auto left = ToneAmplitude(r.Stereo, first, Rate / 2, 0, Period);
    const auto right = ToneAmplitude(r.Stereo, first, Rate / 2, 1, Period);
    const double measured = std::abs(right / left);
    const double expected = Rref * (1 / k - 1);
    const double resistor = Rref * (1 / measured - 1);
    std::printf("k %.3f: %.4f ohm for %.4f ohm (%.3f %%)\n", k, resistor, expected,
                100 * (resistor / expected - 1));
    EXPECT_NEAR(resistor, expected, 0.01 * expected);
  }
}

} // namespace
