#pragma once
// Shared by the waveform-audio tests: a Qt application for window notices (from the test
// support library, with its pump and quiet boxes), a recorder of those notices, buffers with
// their headers, event objects, and a session that plays a tone through a box while recording it.

#include "platform/kernel.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"
#include "platform/src/uPcm.h"
#include "platform/vmbox.h"
#include "platform/tests/support/app_environment.h"
#include "platform/tests/support/quiet_boxes.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <cmath>
#include <chrono>
#include <functional>
#include <memory>
#include <numbers>
#include <thread>
#include <vector>

namespace wavetest {

using namespace std::chrono_literals;
using platform::vmbox::TBoxConfig;
using platform::vmbox::TPort;
using platform::vmbox::TSpeed;

inline const auto* const AppEnvironment = testsupport::AddAppEnvironment({});
using testsupport::PumpUntil, testsupport::QuietResistorBox;
using testsupport::InputOf, testsupport::OutputOf;

struct TNotice {
  UINT Message;
  WPARAM Device;
  LPARAM Header;
};

// A hidden window that records the notices it receives and may answer each one.
class TNoticeLog : public platform::TMessageTarget {
public:
  std::vector<TNotice> Notices;
  std::function<void(const TNotice&)> OnNotice;
  size_t Count(UINT message) const {
    size_t n = 0;
    for (const auto& notice : Notices) n += notice.Message == message;
    return n;
  }

protected:
  void HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    Notices.push_back({message, wParam, lParam});
    if (OnNotice) OnNotice(Notices.back());
  }
};

inline DWORD_PTR WindowOf(const TNoticeLog& log) { return reinterpret_cast<DWORD_PTR>(log.Handle()); }

struct TEvent {
  HANDLE Handle = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ~TEvent() { CloseHandle(Handle); }
  bool Wait(DWORD ms) const { return WaitForSingleObject(Handle, ms) == WAIT_OBJECT_0; }
  DWORD_PTR Callback() const { return reinterpret_cast<DWORD_PTR>(Handle); }
};

// dwFlags as another thread must read it while the driver runs.
inline DWORD Flags(WAVEHDR& header) {
  return std::atomic_ref<DWORD>(header.dwFlags).load(std::memory_order_acquire);
}

// Buffers of `bytes` bytes each with their headers (which never move).
struct TBuffers {
  std::vector<std::vector<char>> Data;
  std::vector<WAVEHDR> Headers;
  TBuffers(size_t count, size_t bytes) : Data(count, std::vector<char>(bytes)), Headers(count) {
    for (size_t i = 0; i < count; ++i) {
      Headers[i] = WAVEHDR{};
      Headers[i].lpData = Data[i].data();
      Headers[i].dwBufferLength = static_cast<DWORD>(bytes);
      Headers[i].dwUser = i;
    }
  }
  WAVEHDR* operator[](size_t i) { return &Headers[i]; }
  size_t Size() const { return Headers.size(); }
};

inline WAVEFORMATEX Pcm(DWORD rate, WORD channels = 2, WORD bits = 16) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = bits;
  f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  f.nAvgBytesPerSec = rate * f.nBlockAlign;
  return f;
}

// A fresh fast card with two quiet boxes: 0 = "Box A" (47 ohm), 1 = "Box B" (0 ohm).
inline void UseQuietCard(TSpeed speed = TSpeed::Fast) {
  platform::vmbox::Reinitialise({QuietResistorBox("Box A", 47), QuietResistorBox("Box B", 0)}, speed);
}

// ---- Playing a tone while recording, as the programs do ----

constexpr double ToneHz = 1000;
constexpr double ToneLevel = 0.5;

struct TPlaySpec {
  size_t OutBox = 0;
  WAVEFORMATEX Out = Pcm(48000);
  size_t InBox = 0;
  WAVEFORMATEX In = Pcm(48000);
  double Seconds = 1;
  bool EventMode = false; // capture by event and ring walk (else by window notices)
  size_t InFrames = 4800; // per capture buffer
};

struct TRecording {
  std::vector<double> Stereo; // full-scale frames, left then right
  double WallSeconds = 0;     // from the first returned capture buffer to the last
  uint64_t FramesTimed = 0;   // frames returned in that time
};

// Records spec.Seconds from one box's input while another (or the same) box's output plays a
// steady 1 kHz tone from four buffers, each written again as soon as it comes back.
inline TRecording PlayAndRecord(const TPlaySpec& spec) {
  using namespace platform;
  const pcm::TLayout outLayout{spec.Out.nChannels, spec.Out.wBitsPerSample};
  const pcm::TLayout inLayout{spec.In.nChannels, spec.In.wBitsPerSample};
  const size_t outFrames = spec.Out.nSamplesPerSec / 100; // ten whole periods: buffers alike
  std::vector<double> tone(2 * outFrames);
  for (size_t i = 0; i < outFrames; ++i) {
    tone[2 * i] = tone[2 * i + 1] = ToneLevel * std::sin(2 * std::numbers::pi * ToneHz * i / spec.Out.nSamplesPerSec);
  }
  TBuffers outBuffers(4, outFrames * spec.Out.nBlockAlign), inBuffers(8, spec.InFrames * spec.In.nBlockAlign);
  for (auto& data : outBuffers.Data) pcm::EncodeStereo(tone.data(), outFrames, outLayout, reinterpret_cast<uint8_t*>(data.data()));

  TNoticeLog outLog, inLog;
  TEvent event;
  HWAVEOUT out = nullptr;
  HWAVEIN in = nullptr;
  bool playing = true;
  TRecording rec;
  const auto wanted = static_cast<size_t>(spec.Seconds * spec.In.nSamplesPerSec);
  // Buffers are handed back only while more are needed, so the card records no more than that.
  const size_t needed = (wanted + spec.InFrames - 1) / spec.InFrames;
  size_t handed = inBuffers.Size();
  std::chrono::steady_clock::time_point first;
  auto take = [&](WAVEHDR* header) {
    const size_t frames = header->dwBytesRecorded / spec.In.nBlockAlign, at = rec.Stereo.size();
    const auto now = std::chrono::steady_clock::now();
    if (at == 0) first = now;
    rec.FramesTimed += at ? frames : 0;
    rec.WallSeconds = std::chrono::duration<double>(now - first).count();
    rec.Stereo.resize(at + 2 * frames);
    pcm::DecodeToStereo(reinterpret_cast<uint8_t*>(header->lpData), frames, inLayout, rec.Stereo.data() + at);
    if (handed < needed && waveInAddBuffer(in, header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) {
      ++handed;
    } else {
      waveInUnprepareHeader(in, header, sizeof(WAVEHDR)); // done with: the card need not wait for it
    }
  };
  size_t current = 0;
  auto walkRing = [&] { // returned buffers in ring order, up to the first still queued
    while (rec.Stereo.size() / 2 < wanted && !(Flags(*inBuffers[current]) & WHDR_INQUEUE)) {
      take(inBuffers[current]);
      current = (current + 1) % inBuffers.Size();
    }
  };
  outLog.OnNotice = [&](const TNotice& n) {
    if (n.Message == MM_WOM_DONE && playing) waveOutWrite(out, reinterpret_cast<WAVEHDR*>(n.Header), sizeof(WAVEHDR));
  };
  inLog.OnNotice = [&](const TNotice& n) {
    if (n.Message == MM_WIM_DATA && playing) take(reinterpret_cast<WAVEHDR*>(n.Header));
  };
  // Both sides set up, the output held until all its buffers are queued.
  EXPECT_EQ(waveOutOpen(&out, OutputOf(spec.OutBox), &spec.Out, WindowOf(outLog), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  waveOutPause(out);
  for (size_t i = 0; i < outBuffers.Size(); ++i) {
    waveOutPrepareHeader(out, outBuffers[i], sizeof(WAVEHDR));
    waveOutWrite(out, outBuffers[i], sizeof(WAVEHDR));
  }
  const DWORD_PTR target = spec.EventMode ? event.Callback() : WindowOf(inLog);
  EXPECT_EQ(waveInOpen(&in, InputOf(spec.InBox), &spec.In, target, 0, spec.EventMode ? CALLBACK_EVENT : CALLBACK_WINDOW), MMSYSERR_NOERROR);
  for (size_t i = 0; i < inBuffers.Size(); ++i) {
    waveInPrepareHeader(in, inBuffers[i], sizeof(WAVEHDR));
    waveInAddBuffer(in, inBuffers[i], sizeof(WAVEHDR));
  }
  // Playback runs before the recording starts: a fast card would otherwise record silence for
  // as long as its input buffers last while the output is still held.
  waveOutRestart(out);
  waveInStart(in);
  EXPECT_TRUE(PumpUntil([&] {
    if (spec.EventMode && event.Wait(0)) walkRing(); // no signal, no walk: a lost notice stalls
    return rec.Stereo.size() / 2 >= wanted;
  }, 300s));
  playing = false;
  waveInReset(in);
  waveOutReset(out);
  PumpUntil([&] { return outLog.Count(MM_WOM_DONE) >= outBuffers.Size(); });
  for (size_t i = 0; i < inBuffers.Size(); ++i) waveInUnprepareHeader(in, inBuffers[i], sizeof(WAVEHDR));
  for (size_t i = 0; i < outBuffers.Size(); ++i) waveOutUnprepareHeader(out, outBuffers[i], sizeof(WAVEHDR));
  EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
  while (event.Wait(0)) {
  }
  EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
  if (spec.EventMode) {
    EXPECT_TRUE(event.Wait(1000)); // the close notice
    EXPECT_FALSE(event.Wait(50));  // and nothing after it
  }
  PumpUntil([&] { return outLog.Count(MM_WOM_CLOSE) == 1; });
  rec.Stereo.resize(2 * wanted);
  return rec;
}

} // namespace wavetest
