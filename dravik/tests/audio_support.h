#pragma once
// Shared by the audio device tests: the Qt application whose event loop carries the driver's
// notices, a pump with a time limit, a recorder of log lines and quiet boxes (all from the test
// support library), a noisy box for the virtual card and a plain recording through the waveform
// API to compare the devices against.

#include "dravik/audio/uCommon.h"
#include "platform/messages.h"
#include "platform/advice.h"
#include "platform/mmsystem.h"
#include "platform/vmbox.h"
#include "platform/tests/support/app_environment.h"
#include "platform/tests/support/log_lines.h"
#include "platform/tests/support/quiet_boxes.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace audiotest {

using namespace std::chrono_literals;
using platform::vmbox::TBoxConfig;
using platform::vmbox::TPort;
using platform::vmbox::TSpeed;

inline const auto* const AppEnvironment = testsupport::AddAppEnvironment({});
using testsupport::PumpUntil, testsupport::TLogLines, testsupport::QuietBox;
using testsupport::InputOf, testsupport::OutputOf;

// The platform's text for a result code, as the devices put it into their lines.
inline std::string WaveInText(MMRESULT code) {
  char text[128] = {};
  waveInGetErrorTextA(code, text, sizeof text);
  return text;
}

// A box with a silent output and loud, seeded noise on both inputs: what it records is the same
// sequence from every open, so a device's blocks can be located in a plain recording.
inline TBoxConfig NoisyBox(const std::string& name) {
  TBoxConfig box = QuietBox(name, platform::vmbox::TCircuit{});
  box.Card.NoiseOn = true;
  box.Card.NoiseRms = 0.05;
  box.Card.Matched = false;
  return box;
}

// Frames of the false buffer that every capture run starts behind: a tenth of a second and
// 100 frames more.
constexpr long FalseFrames(unsigned rate) { return rate / 10 + 100; }
// Capture buffers of a run: one second of blocks, rounded to nearest (ties to even), and two more.
inline uint32_t CaptureBufferCount(unsigned rate, unsigned blockFrames) {
  return static_cast<uint32_t>(std::nearbyint(static_cast<double>(rate) / blockFrames)) + 2;
}
// Bytes of a stereo 16-bit frame.
constexpr uint32_t StereoPcm16Bytes = 2 * sizeof(int16_t);

// Records `frames` stereo 16-bit frames from the start of an input through the plain API.
inline std::vector<int16_t> RecordPlain(UINT device, DWORD rate, size_t frames) {
  WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, rate, rate * 4, 4, 16, 0};
  std::vector<int16_t> samples(2 * frames);
  WAVEHDR header{};
  header.lpData = reinterpret_cast<LPSTR>(samples.data());
  header.dwBufferLength = static_cast<DWORD>(4 * frames);
  HWAVEIN in = nullptr;
  if (waveInOpen(&in, device, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return {};
  waveInPrepareHeader(in, &header, sizeof header);
  waveInAddBuffer(in, &header, sizeof header);
  waveInStart(in);
  PumpUntil([&] { return std::atomic_ref<DWORD>(header.dwFlags).load() & WHDR_DONE; });
  waveInReset(in);
  waveInUnprepareHeader(in, &header, sizeof header);
  waveInClose(in);
  return samples;
}

} // namespace audiotest
