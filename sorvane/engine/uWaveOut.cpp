#include "sorvane/engine/uWaveOut.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/kernel.h"
#include "sorvane/engine/uTestSignal.h"

namespace sorvane {
namespace {

constexpr double FullScale = 32767.5;
constexpr DWORD OpenFlags = CALLBACK_EVENT | WAVE_FORMAT_DIRECT | WAVE_ALLOWSYNC; // 0x5000A
constexpr const char* OpenError = "Can not open output device ";

} // namespace

int16_t SampleCode(double x) {
  const double code = std::trunc(x * FullScale);
  if (std::isnan(code)) return 0;
  return static_cast<int16_t>(std::clamp(code, -32768.0, 32767.0));
}

TWaveOut::TWaveOut() = default;

TWaveOut::~TWaveOut() { Shutdown(); }

void TWaveOut::GenerateTestSignal(double* x, int n, int kLo, int kHi, double level) {
  sorvane::GenerateTestSignal(x, n, kLo, kHi, level);
}

void TWaveOut::SetSignal(int n, double level, double loHz, double hiHz) {
  if (n < 1) return;
  if (Signal[0].size() != static_cast<size_t>(n)) Signal[0].resize(n);
  const int kLo = FrequencyToBin(n, loHz);
  const int kHi = FrequencyToBin(n, hiHz);
  GenerateTestSignal(Signal[0].data(), n, kLo, kHi, level);
  Signal[1] = Signal[0];
  LoadSignal(Signal);
}

void TWaveOut::LoadSignal(const TWaveData& wave) {
  TBufferData& back = Buffers[Back];
  const size_t n = wave[0].size();
  back.resize(n);
  for (size_t i = 0; i < n; ++i) {
    back[i].Left = SampleCode(wave[0][i]);
    back[i].Right = i < wave[1].size() ? SampleCode(wave[1][i]) : 0;
  }
  if (Suspended()) {
    SwapBuffers();
    SwapPending = false;
    return;
  }
  if (OnSignalChange) OnSignalChange(false);
  SwapPending = true;
}

void TWaveOut::SwapBuffers() {
  std::swap(Front, Back);
  Position = 0;
}

bool TWaveOut::Start() {
  if (!AwaitIdleForStart()) {
    ReportError(OpenError, WAVERR_STILLPLAYING);
    return false;
  }
  if (!Prepare()) return true;
  Gone = false;
  // A signal loaded while the last run was still stopping is the one to play.
  if (SwapPending) SwapBuffers();
  Position = 0;
  SwapPending = false;
  Handle = nullptr;
  const MMRESULT opened =
      waveOutOpen(&Handle, DeviceID, &Format, reinterpret_cast<DWORD_PTR>(Event), 0, OpenFlags);
  if (opened != MMSYSERR_NOERROR) {
    // A failed open leaves no handle: the device number names it.
    FailOpen(OpenError, opened, waveOutGetNativeError(reinterpret_cast<HWAVEOUT>(UINT_PTR{DeviceID})));
    return false;
  }
  // The playback thread queues the buffers at the open notice; playback runs once it has.
  AwaitOpened();
  return true;
}

// On the playback thread, so that no buffer can come back while another thread still fills the
// ring: playback starts with the first write.
void TWaveOut::DeviceOpened() {
  for (WAVEHDR& header : Headers) {
    waveOutPrepareHeader(Handle, &header, sizeof header);
    Write(header);
  }
}

void TWaveOut::ProcessBuffer(WAVEHDR& header) {
  bool swapped = false;
  if (SwapPending) Synchronize([&] { swapped = SwapAndFlush(header); });
  if (!swapped) Write(header);
  if (Gone) ReportLost("output");
}

bool TWaveOut::SwapAndFlush(WAVEHDR& header) {
  if (!SwapPending || State != wsRunning) return false;
  SwapBuffers();
  // Every queued buffer of the old signal comes back at once; the thread refills each with the
  // new signal as it walks the ring.
  waveOutReset(Handle);
  SwapPending = false;
  Write(header);
  // Here rather than on the playback thread: a LoadSignal can then never fall between the swap
  // and this call, so its pause is never overtaken by the resume of the signal before it.
  if (OnSignalChange) OnSignalChange(true);
  return true;
}

void TWaveOut::Write(WAVEHDR& header) {
  FillBuffer(header);
  if (waveOutWrite(Handle, &header, sizeof header) == MMSYSERR_NODRIVER) Gone = true;
}

void TWaveOut::FillBuffer(WAVEHDR& header) {
  if (!header.lpData) return;
  const size_t frames = header.dwBufferLength / sizeof(TStereoFrame);
  const TBufferData& signal = Buffers[Front];
  if (signal.empty()) { // nothing loaded: silence rather than a ring that cannot advance
    std::memset(header.lpData, 0, frames * sizeof(TStereoFrame));
    return;
  }
  if (Position < 0 || static_cast<size_t>(Position) >= signal.size()) Position = 0;
  size_t done = 0;
  while (done < frames) {
    const size_t count = std::min(frames - done, signal.size() - Position);
    std::memcpy(header.lpData + done * sizeof(TStereoFrame), signal.data() + Position,
                count * sizeof(TStereoFrame));
    done += count;
    Position += static_cast<int>(count);
    if (static_cast<size_t>(Position) == signal.size()) Position = 0;
  }
}

void TWaveOut::CloseDevice() {
  // Buffers written again after the stop request come back before the device closes.
  waveOutReset(Handle);
  // Without a close notice the thread would wait for ever: wake it to go idle.
  if (waveOutClose(Handle) != MMSYSERR_NOERROR) SetEvent(Event);
  State = wsClosing;
}

void TWaveOut::ResetDevice() { waveOutReset(Handle); }

void TWaveOut::ReleaseBuffers() {
  for (WAVEHDR& header : Headers) waveOutUnprepareHeader(Handle, &header, sizeof header);
  TWaveControl::ReleaseBuffers();
}

} // namespace sorvane
