#include "dravik/audio/uWaveOut.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>

#include "platform/kernel.h"
#include "platform/messages.h"

namespace dravik {
namespace {

constexpr UINT BufferMemoryFlags = 0x2030; // fixed, shared, not discardable, not compacted
constexpr DWORD LoopForever = 0xFFFFFFFFu;
constexpr size_t BufferCount = 2;
// The driver answers a test open, a reset and a close with its notices at once; a wait that
// takes longer than this is not going to end.
constexpr auto WaitLimit = std::chrono::seconds(2);

// Pumps the message queue while `waiting` holds; false when the limit ran out first.
bool PumpWhile(const std::function<bool()>& waiting) {
  return platform::PumpUntil([&] { return !waiting(); }, WaitLimit);
}

// The whole name of a device whose capabilities were read into `caps`; empty when they could
// not be read.
std::string DeviceNameOf(int32_t device, const WAVEOUTCAPSA& caps) {
  if (caps.szPname[0] == '\0') return {};
  return WholeDeviceName(waveOutGetDevName, static_cast<UINT_PTR>(device), caps.szPname);
}

// Headers that the driver still held when their owner was destroyed: kept, never freed, so
// that the driver cannot write into released memory.
std::vector<std::vector<WAVEHDR>>& AbandonedHeaders() {
  static auto* headers = new std::vector<std::vector<WAVEHDR>>;
  return *headers;
}

bool InQueue(WAVEHDR& header) {
  return std::atomic_ref<DWORD>(header.dwFlags).load(std::memory_order_acquire) & WHDR_INQUEUE;
}

} // namespace

// ---- Creation, device and format ----

TWaveOut::TWaveOut(TLogEvent onLog, bool& Ok) : TMMWinControl(std::move(onLog)) {
  Name = "WaveOut";
  Ok = false;
  LogInfo("Creating ...");
  const UINT count = waveOutGetNumDevs();
  for (UINT n = 0; n < count && DeviceID == -1; ++n) {
    if (IsUsable(static_cast<int32_t>(n))) DeviceID = static_cast<int32_t>(n);
  }
  if (DeviceID == -1) {
    LogError("Devices not found.");
    return;
  }
  Ok = NegotiateFormat();
}

TWaveOut::~TWaveOut() {
  FDestroying = true;
  Stop();
  if (!PumpWhile([this] { return FHandle != nullptr; })) Abandon();
  FreeIdleBuffers();
}

bool TWaveOut::IsUsable(int32_t device) {
  FCaps = WAVEOUTCAPSA{};
  if (device < 0) return false;
  const MMRESULT result = waveOutGetDevCapsA(static_cast<UINT_PTR>(device), &FCaps, sizeof FCaps);
  return result == MMSYSERR_NOERROR && FCaps.dwFormats != 0;
}

void TWaveOut::SelectDevice(int32_t device) {
  if (Busy() || !IsUsable(device)) return;
  DeviceID = device;
  NegotiateFormat();
}

UINT TWaveOut::DeviceCount() const { return waveOutGetNumDevs(); }

std::string TWaveOut::DeviceName(int32_t device) {
  IsUsable(device);
  return DeviceNameOf(device, FCaps);
}

void TWaveOut::SetSampleRate(DWORD rate) {
  if (!Busy()) FFormat.nSamplesPerSec = rate;
}

void TWaveOut::SetBits(WORD bits) {
  if (!Busy()) FFormat.wBitsPerSample = bits;
}

std::string TWaveOut::FormatText() const { return FormatDescription(FFormat); }

std::string TWaveOut::ErrorText() const {
  if (LastResult == MMSYSERR_NOERROR) return "";
  char text[128] = {};
  waveOutGetErrorTextA(LastResult, text, sizeof text);
  text[sizeof text - 1] = '\0';
  return text;
}

// The open handle's detail; before the open, that of the device's last open.
std::string TWaveOut::NativeDetail() const {
  if (FHandle) return waveOutGetNativeError(FHandle);
  if (DeviceID < 0) return {};
  return waveOutGetNativeError(reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(DeviceID)));
}

// The device's default format from its capabilities, raised from 44100 Hz to the highest rate
// it accepts among 48000 and 96000 (a device that also takes 192000 stays at 48000).
bool TWaveOut::NegotiateFormat() {
  if (Busy() || !IsUsable(DeviceID)) return false;
  FormatFromCaps(FCaps.dwFormats, FFormat);
  FOpenFlags = CALLBACK_WINDOW;
  if (FCaps.dwSupport & WAVECAPS_SYNC) FOpenFlags |= WAVE_ALLOWSYNC;
  const std::string device = "\"" + DeviceNameOf(DeviceID, FCaps) + "\"";
  if (!Probe()) {
    LogFailure(device + ": Invalid wave format: " + FormatText() + ".");
    return false;
  }
  if (FFormat.nSamplesPerSec == 44100) RaiseRate();
  LogInfo(device + ": Set format: " + FormatText() + ".");
  return true;
}

void TWaveOut::RaiseRate() {
  DWORD& rate = FFormat.nSamplesPerSec;
  rate = 48000;
  if (!Probe()) {
    rate = 44100;
    return;
  }
  FOpenFlags |= WAVE_FORMAT_DIRECT;
  if (!Probe()) FOpenFlags &= ~WAVE_FORMAT_DIRECT;
  DWORD last = rate;
  for (;;) {
    last = rate;
    rate = 2 * last;
    if (rate > 200000) {
      last = 48000;
      break;
    }
    if (!Probe()) break;
  }
  rate = last;
}

// A test open: the open notice closes the device again, the close notice ends the wait.
bool TWaveOut::Probe() {
  FProbing = true;
  if (!OpenDevice()) {
    FProbing = false;
    return false;
  }
  if (!PumpWhile([this] { return FProbing; })) Abandon();
  return true;
}

// Opens DeviceID in the current format, with the object's window as the notice target.
bool TWaveOut::OpenDevice() {
  CompleteFormat(FFormat);
  LastResult = waveOutOpen(&FHandle, static_cast<UINT>(DeviceID), &FFormat,
                           reinterpret_cast<DWORD_PTR>(WindowHandle()), 0, FOpenFlags);
  if (LastResult == MMSYSERR_NOERROR) return true;
  FHandle = nullptr;
  return false;
}

// ---- Signals and running ----

void TWaveOut::MultiSin(int32_t HighestTone, int32_t Step, uint32_t Period) {
  if (Busy()) return;
  TSignalTable table;
  if (!MultiSinTable(FFormat.nSamplesPerSec, FFormat.nChannels, HighestTone, Step, Period, table)) {
    LogError("Exception in MultiSin");
    return;
  }
  Play(std::move(table));
}

void TWaveOut::Trapezium(long double RiseTime, long double FlatTime) {
  if (Busy()) return;
  TSignalTable table;
  if (!TrapeziumTable(FFormat.nSamplesPerSec, FFormat.nChannels, RiseTime, FlatTime, table)) {
    LogError("Exception in Trapezium.");
    return;
  }
  Play(std::move(table));
}

void TWaveOut::Play(TSignalTable&& table) {
  FSignal = std::move(table.Signal);
  FBufferFrames = table.Frames;
  Open();
}

void TWaveOut::Open() {
  if (DeviceID == -1 || Busy()) return;
  FProbing = false;
  if (OpenDevice()) return;
  LogFailure("Open: " + ErrorText());
  if (OnFailed) OnFailed(this);
}

void TWaveOut::Stop() {
  if (FClosing) return; // the close notice is on its way
  if (FQueuedCount != 0) {
    FStopping = true;
    LastResult = waveOutReset(FHandle);
    if (LastResult != MMSYSERR_NOERROR) LogFailure("Close: Reset: " + ErrorText());
    return;
  }
  if (!Active && !FStartFailed) return;
  if (!ReleaseBuffers()) return;
  FStopping = false;
  LastResult = waveOutClose(FHandle);
  if (LastResult != MMSYSERR_NOERROR) {
    LogFailure("Close: " + ErrorText());
    return;
  }
  FClosing = true;
}

// ---- Notices ----

void TWaveOut::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // Notices of another device (or of one closed already) are not ours.
  if (FHandle == nullptr || reinterpret_cast<HWAVEOUT>(wParam) != FHandle) return;
  switch (message) {
  case MM_WOM_OPEN: OnOpen(); break;
  case MM_WOM_DONE: OnDone(reinterpret_cast<WAVEHDR*>(lParam)); break;
  case MM_WOM_CLOSE: OnClose(); break;
  default: break;
  }
}

void TWaveOut::OnOpen() {
  if (FProbing || FDestroying) {
    FProbing = true; // a device opened while being destroyed closes as quietly as a test open
    if (waveOutClose(FHandle) != MMSYSERR_NOERROR) {
      FProbing = false; // no close notice will end the wait
      FHandle = nullptr;
    }
    return;
  }
  FStopping = false;
  FStartFailed = false;
  if (!AllocateBuffers()) return StartFailed();
  for (size_t n = 0; n < BufferCount; ++n) {
    if (!QueueBuffer(n)) return StartFailed();
  }
  Active = true;
  LogInfo("Start: " + FormatText() + ".");
}

void TWaveOut::OnDone(WAVEHDR* header) {
  const int n = HeaderNumber(header);
  if (n < 0) return;
  if (FStopping) {
    if (--FQueuedCount <= 0) {
      FQueuedCount = 0;
      FStopping = false;
      Stop();
    }
    return;
  }
  // Rewritten unchanged: keeps the sound going whether or not the driver honours the loop.
  LastResult = waveOutWrite(FHandle, header, sizeof(WAVEHDR));
  if (LastResult == MMSYSERR_NOERROR) return;
  // The driver refused it (the device has gone): it is no longer queued, and once none is,
  // the device is closed instead of waiting for buffers that will never come back.
  LogFailure("Write header #" + std::to_string(n) + ": " + ErrorText());
  if (--FQueuedCount <= 0) {
    FQueuedCount = 0;
    Stop();
    if (OnFailed) OnFailed(this);
  }
}

void TWaveOut::OnClose() {
  FHandle = nullptr;
  FClosing = false;
  if (FProbing) {
    FProbing = false;
    return;
  }
  if (!FStopping) {
    Active = false;
    FStartFailed = false;
    LogInfo("Stop.");
  }
}

// ---- Buffers ----

bool TWaveOut::AllocateBuffers() {
  FHeaders.assign(BufferCount, WAVEHDR{});
  const uint64_t length =
      uint64_t{FFormat.nBlockAlign} * static_cast<uint64_t>(FBufferFrames > 0 ? FBufferFrames : 0);
  for (size_t n = 0; n < BufferCount; ++n) {
    WAVEHDR& header = FHeaders[n];
    // A buffer must hold at least one frame and its length must fit the header.
    if (length > 0 && length <= 0xFFFFFFFFu) {
      header.lpData = static_cast<LPSTR>(GlobalAlloc(BufferMemoryFlags, length));
    }
    if (header.lpData == nullptr) {
      LogError("Can not allocate buffer #" + std::to_string(n) + ".");
      return false;
    }
    header.dwBufferLength = static_cast<DWORD>(length);
    header.dwLoops = LoopForever;
    header.dwFlags = n == 0 ? WHDR_BEGINLOOP : 0;
    if (n == BufferCount - 1) header.dwFlags |= WHDR_ENDLOOP;
  }
  return true;
}

bool TWaveOut::QueueBuffer(size_t n) {
  WAVEHDR& header = FHeaders[n];
  int32_t index = 0;
  if (!FillOutputBuffer(FSignal, FBufferFrames, FFormat.nChannels, FFormat.wBitsPerSample,
                        reinterpret_cast<uint8_t*>(header.lpData), index)) {
    LogError("Error of copy data to header: Count=" + std::to_string(FBufferFrames) +
             ", Index=" + std::to_string(index));
    return false;
  }
  const std::string number = std::to_string(n);
  LastResult = waveOutPrepareHeader(FHandle, &header, sizeof header);
  if (LastResult != MMSYSERR_NOERROR) {
    LogFailure("Prepare header #" + number + ": " + ErrorText());
    return false;
  }
  LastResult = waveOutWrite(FHandle, &header, sizeof header);
  if (LastResult != MMSYSERR_NOERROR) {
    LogFailure("Write header #" + number + ": " + ErrorText());
    return false;
  }
  ++FQueuedCount;
  return true;
}

// A start that failed inside the open notice leaves the device open but not playing: it is
// stopped and closed at once (resetting what was queued first), so that the device is free
// again and a later signal can start it.
void TWaveOut::StartFailed() {
  FStartFailed = true;
  Stop();
  if (OnFailed) OnFailed(this);
}

bool TWaveOut::ReleaseBuffers() {
  for (size_t n = 0; n < FHeaders.size(); ++n) {
    WAVEHDR& header = FHeaders[n];
    if (header.lpData == nullptr) continue;
    LastResult = waveOutUnprepareHeader(FHandle, &header, sizeof header);
    if (LastResult != MMSYSERR_NOERROR) {
      LogFailure("Unprepare header #" + std::to_string(n) + ": " + ErrorText());
      return false;
    }
    if (GlobalFree(header.lpData) != nullptr) {
      LogError("Can not free handle #" + std::to_string(n) + ".");
      return false;
    }
    header.lpData = nullptr;
  }
  return true;
}

int TWaveOut::HeaderNumber(const WAVEHDR* header) const {
  for (size_t n = 0; n < FHeaders.size(); ++n) {
    if (&FHeaders[n] == header) return static_cast<int>(n);
  }
  return -1;
}

// ---- Giving up on a device whose notices did not come ----

// Takes back what the driver still holds, releases what it gave back and closes without
// waiting for notices. Buffers the driver keeps in spite of the reset are left to it.
void TWaveOut::Abandon() {
  waveOutReset(FHandle);
  bool kept = false;
  for (WAVEHDR& header : FHeaders) {
    if (header.lpData == nullptr) continue;
    if (InQueue(header)) {
      kept = true;
      continue;
    }
    waveOutUnprepareHeader(FHandle, &header, sizeof header);
    GlobalFree(header.lpData);
    header.lpData = nullptr;
  }
  if (kept) AbandonedHeaders().push_back(std::move(FHeaders));
  waveOutClose(FHandle);
  FHeaders.clear();
  FHandle = nullptr;
  FProbing = FStopping = FClosing = FStartFailed = false;
  FQueuedCount = 0;
  Active = false;
}

// After the device has closed: memory that a failed stop left behind.
void TWaveOut::FreeIdleBuffers() {
  for (WAVEHDR& header : FHeaders) {
    if (header.lpData != nullptr && !InQueue(header)) GlobalFree(header.lpData);
  }
  FHeaders.clear();
}

} // namespace dravik
