#include "sorvane/engine/uWaveControl.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "platform/advice.h"
#include "platform/kernel.h"

namespace sorvane {
namespace {

// How long a Start waits for a stop still in progress, or for the thread to take the open
// notice, and a failed open for the thread to go idle. Each takes milliseconds in practice; the
// bound only keeps a device that never answers from hanging the main thread.
constexpr unsigned IdleTimeoutMs = 5000;

} // namespace

int FrequencyToBin(int n, double frequency, double sampleRate) {
  const int highest = n / 2 - 1;
  double k = sampleRate > 0 ? std::nearbyint(frequency * n / sampleRate) : 0.0;
  if (!(k >= 1)) k = 1; // also catches not-a-number
  if (k > highest) k = highest;
  return static_cast<int>(k);
}

void SetWaveLength(TWaveData& wave, size_t n) {
  if (wave[0].size() == n) return;
  wave[0].resize(n);
  wave[1].resize(n);
}

void CopyWave(const TWaveData& source, TWaveData& dest) {
  for (size_t c = 0; c < source.size(); ++c) {
    const size_t count = std::min(source[c].size(), dest[c].size());
    std::copy_n(source[c].begin(), count, dest[c].begin());
  }
}

// ---- TWaveControl ----

TWaveControl::TWaveControl() {
  Event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  Format.wFormatTag = WAVE_FORMAT_PCM;
  Format.nChannels = 2;
  Format.nSamplesPerSec = 48000;
  Format.wBitsPerSample = 16;
  UpdateFormat();
}

TWaveControl::~TWaveControl() { ShutdownCheck.Verify(); }

void TWaveControl::Shutdown() {
  ShutdownCheck.ShuttingDown(typeid(*this));
  if (Finished()) return;
  if (Suspended()) {
    CloseEvent();
  } else if (RequestStop()) {
    ResetDevice();
  }
  // TerminatedSet wakes the thread; it ends once the device is closed and its buffers are free.
  TerminateAndWait();
  CloseEvent();
}

void TWaveControl::SetDeviceID(UINT id) {
  if (Suspended()) DeviceID = id;
}

void TWaveControl::SetSampleRate(DWORD rate) {
  if (Suspended()) Format.nSamplesPerSec = rate;
}

int TWaveControl::FrequencyToBin(int n, double frequency) const {
  return sorvane::FrequencyToBin(n, frequency, Format.nSamplesPerSec);
}

void TWaveControl::UpdateFormat() {
  Format.nBlockAlign = static_cast<WORD>(Format.wBitsPerSample / 8 * Format.nChannels);
  Format.nAvgBytesPerSec = Format.nBlockAlign * Format.nSamplesPerSec;
  Format.cbSize = 0;
}

DWORD TWaveControl::BufferBytes(DWORD rate, WORD blockAlign, DWORD pageSize) {
  if (pageSize == 0) pageSize = 4096;
  const auto frames = static_cast<uint64_t>(std::nearbyint(rate * 0.1));
  const uint64_t pages = std::max<uint64_t>(frames * blockAlign / pageSize, 1);
  return static_cast<DWORD>(std::min<uint64_t>(pages * pageSize, UINT32_MAX / pageSize * pageSize));
}

void TWaveControl::AllocateBuffers() {
  UpdateFormat();
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  const DWORD size = BufferBytes(Format.nSamplesPerSec, Format.nBlockAlign, info.dwPageSize);
  for (WAVEHDR& header : Headers) {
    header = WAVEHDR{};
    header.dwBufferLength = size;
    header.lpData = static_cast<LPSTR>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                                    PAGE_READWRITE));
  }
}

bool TWaveControl::Prepare() {
  if (!Suspended()) return false;
  // Set up while the thread still stands still; a signal left from the last run must not pass
  // for the next open notice.
  ResetEvent(Event);
  AllocateBuffers();
  State = wsOpening;
  Current = 0;
  Active = true;
  LostReported = false;
  ShutdownCheck.Started(typeid(*this));
  Resume();
  return true;
}

bool TWaveControl::AwaitIdleForStart() {
  if (Suspended()) return true;
  const TWaveState s = State;
  if (s != wsStopping && s != wsClosing) return true; // it runs: Prepare says so
  return WaitUntilIdle(IdleTimeoutMs);
}

bool TWaveControl::WaitUntilIdle(unsigned timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!Suspended()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    // The playback thread may need the main thread to finish a synchronised call first.
    if (!platform::CheckSynchronize(1)) Sleep(1);
  }
  return true;
}

void TWaveControl::AwaitOpened() const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(IdleTimeoutMs);
  while (State == wsOpening && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

void TWaveControl::FailOpen(const std::string& text, MMRESULT result, const std::string& detail) {
  State = wsClosing;
  SetEvent(Event);
  WaitUntilIdle(IdleTimeoutMs);
  ReportError(text, result, detail);
}

void TWaveControl::ReportError(const std::string& text, MMRESULT result,
                               const std::string& detail) const {
  if (!OnError) return;
  OnError(platform::WithNativeDetail(platform::WithAdvice(text + std::to_string(DeviceID), result),
                                     detail));
}

void TWaveControl::ReportLost(const char* port) {
  if (LostReported.exchange(true)) return;
  const std::string text =
      std::string("The ") + port + " device " + std::to_string(DeviceID) + " is no longer available.";
  Synchronize([this, &text] {
    if (OnLost) OnLost(text);
  });
}

bool TWaveControl::RequestStop() {
  if (Suspended()) return false;
  TWaveState s = State;
  while (s == wsOpening || s == wsRunning) {
    if (State.compare_exchange_weak(s, wsStopping)) return true;
  }
  return s == wsStopping; // never back from wsClosing: the close is already under way
}

void TWaveControl::Stop() {
  if (!RequestStop()) return;
  ResetDevice();
  // The reset wakes the thread only when buffers were queued; this wakes it in any case.
  SetEvent(Event);
}

DWORD TWaveControl::HeaderFlags(const WAVEHDR& header) {
  // The driver stores the flags atomically from its own thread.
  return std::atomic_ref<DWORD>(const_cast<DWORD&>(header.dwFlags)).load(std::memory_order_acquire);
}

int TWaveControl::ReturnedBuffers() const {
  int count = 0;
  for (const WAVEHDR& header : Headers) count += (HeaderFlags(header) & WHDR_INQUEUE) == 0;
  return count;
}

void TWaveControl::ReleaseBuffers() {
  for (WAVEHDR& header : Headers) {
    // A buffer the driver still holds is left to it rather than freed under its feet.
    if (!header.lpData || (HeaderFlags(header) & WHDR_INQUEUE)) continue;
    VirtualFree(header.lpData, 0, MEM_RELEASE);
    header.lpData = nullptr;
  }
}

void TWaveControl::CloseEvent() { CloseHandle(Event); }

void TWaveControl::CloseDevice() { State = wsClosing; }

void TWaveControl::TerminatedSet() { SetEvent(Event); }

void TWaveControl::Execute() {
  while (!(Terminated() && !Active)) {
    if (WaitForSingleObject(Event, INFINITE) != WAIT_OBJECT_0) break; // the event is gone
    switch (State.load()) {
    case wsOpening: {
      DeviceOpened();
      TWaveState expected = wsOpening; // a stop asked meanwhile stays in force
      State.compare_exchange_strong(expected, wsRunning);
      break;
    }
    case wsRunning: ProcessReturnedBuffers(); break;
    case wsStopping: CloseDevice(); break;
    case wsClosing: GoIdle(); break;
    }
  }
  CloseEvent();
}

// Every returned buffer in ring order, from where the last wake-up stopped to the first one
// still queued; at most one lap, so a ring whose buffers cannot be queued again never spins.
void TWaveControl::ProcessReturnedBuffers() {
  for (int i = 0; i < BufferCount && State == wsRunning; ++i) {
    WAVEHDR& header = Headers[Current];
    if (HeaderFlags(header) & WHDR_INQUEUE) break;
    ProcessBuffer(header);
    Current = (Current + 1) % BufferCount;
  }
}

void TWaveControl::GoIdle() {
  ReleaseBuffers();
  Active = false;
  if (!Terminated()) Suspend();
}

} // namespace sorvane
