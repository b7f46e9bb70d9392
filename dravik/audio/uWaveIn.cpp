#include "dravik/audio/uWaveIn.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "platform/kernel.h"

namespace dravik {
namespace {

constexpr UINT BufferMemoryFlags = 0x2030; // fixed, shared, not discardable
constexpr UINT HeaderSize = sizeof(WAVEHDR);
constexpr uint32_t HalfRange = 0x7FFFFFFFu;
// How long destruction waits for buffers and the close notice before it lets go of the device.
constexpr auto DestroyPatience = std::chrono::seconds(10);

// Gives the header a zeroed buffer of `bytes`; false when that does not fit a header or the
// memory is not there.
bool AllocateBuffer(WAVEHDR& header, uint64_t bytes) {
  header = WAVEHDR{};
  if (bytes == 0 || bytes > 0xFFFFFFFFu) return false;
  void* memory = GlobalAlloc(BufferMemoryFlags, static_cast<SIZE_T>(bytes));
  if (!memory) return false;
  header.lpData = static_cast<LPSTR>(memory);
  header.dwBufferLength = static_cast<DWORD>(bytes);
  return true;
}

// True when the header holds no memory any more.
bool FreeBuffer(WAVEHDR& header) {
  if (!header.lpData) return true;
  if (GlobalFree(header.lpData) != nullptr) return false;
  header.lpData = nullptr;
  return true;
}

std::string NumberText(size_t n) { return std::to_string(n); }

} // namespace

bool PositionIsAhead(uint32_t P, uint32_t E) {
  const uint32_t distance = P > E ? P - E : E - P;
  if (distance > HalfRange) {
    P += HalfRange; // both modulo 2^32
    E += HalfRange;
  }
  return P > E;
}

// ---- Creation, devices and format ----

TWaveIn::TWaveIn(QObject* AOwner, TLogEvent AOnLog, bool& Ok) : TMMWinControl(std::move(AOnLog)) {
  if (AOwner) setParent(AOwner);
  Name = "WaveIn";
  Ok = false;
  LogInfo("Creating ...");
  Position.wType = TIME_SAMPLES;
  const uint32_t count = DeviceCount();
  for (uint32_t n = 0; n < count && n <= INT32_MAX && DeviceID < 0; ++n) {
    if (IsUsable(static_cast<int32_t>(n))) DeviceID = static_cast<int32_t>(n);
  }
  if (DeviceID < 0) {
    LogError("Devices not found.");
    return;
  }
  Ok = NegotiateFormat();
}

bool TWaveIn::Succeeded(MMRESULT result) {
  LastResult = result;
  return result == MMSYSERR_NOERROR;
}

bool TWaveIn::IsUsable(int32_t Device) {
  Caps = WAVEINCAPSA{};
  if (Device < 0) return false;
  return Succeeded(waveInGetDevCapsA(static_cast<UINT_PTR>(Device), &Caps, sizeof Caps)) &&
         Caps.dwFormats != 0;
}

void TWaveIn::SelectDevice(int32_t Device) {
  if (!Idle() || !IsUsable(Device)) return;
  DeviceID = Device;
  NegotiateFormat();
}

uint32_t TWaveIn::DeviceCount() const { return waveInGetNumDevs(); }

std::string TWaveIn::DeviceName(int32_t Device) {
  Caps = WAVEINCAPSA{};
  if (Device < 0) return {};
  if (!Succeeded(waveInGetDevCapsA(static_cast<UINT_PTR>(Device), &Caps, sizeof Caps))) return {};
  return WholeDeviceName(waveInGetDevName, static_cast<UINT_PTR>(Device), Caps.szPname);
}

void TWaveIn::SetSampleRate(uint32_t Rate) {
  if (Idle() && IsUsable(DeviceID)) Format.nSamplesPerSec = Rate;
}

void TWaveIn::SetBits(uint32_t Bits) {
  if (Idle() && IsUsable(DeviceID)) Format.wBitsPerSample = static_cast<WORD>(Bits);
}

// A block of no frames would make no buffer at all.
void TWaveIn::SetBlockSize(uint32_t Frames) {
  if (Idle() && Frames > 0) BlockSize = Frames;
}

std::string TWaveIn::ErrorText() const {
  if (LastResult == MMSYSERR_NOERROR) return {};
  char text[128] = {};
  if (waveInGetErrorTextA(LastResult, text, sizeof text) != MMSYSERR_NOERROR) return {};
  return std::string(text, strnlen(text, sizeof text));
}

// The open handle's detail; before the open, that of the device's last open.
std::string TWaveIn::NativeDetail() const {
  if (DeviceOpen()) return waveInGetNativeError(Handle);
  if (DeviceID < 0) return {};
  return waveInGetNativeError(reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(DeviceID)));
}

// The device's default format, then, from 44100 Hz, the highest of the doubled rates that the
// driver accepts (not more than 200000 Hz).
bool TWaveIn::NegotiateFormat() {
  if (!Idle() || !IsUsable(DeviceID)) return false;
  const std::string device =
      "\"" + WholeDeviceName(waveInGetDevName, static_cast<UINT_PTR>(DeviceID), Caps.szPname) + "\"";
  FormatFromCaps(Caps.dwFormats, Format);
  OpenFlags = CALLBACK_WINDOW;
  if (!Probe()) {
    LogFailure(device + ": Invalid wave format: " + FormatText() + ".");
    return false;
  }
  if (Format.nSamplesPerSec == 44100) RaiseRate();
  LogInfo(device + ": Set format: " + FormatText() + ".");
  return true;
}

void TWaveIn::RaiseRate() {
  Format.nSamplesPerSec = 48000;
  if (!Probe()) {
    Format.nSamplesPerSec = 44100;
    return;
  }
  OpenFlags |= WAVE_FORMAT_DIRECT;
  if (!Probe()) OpenFlags &= ~WAVE_FORMAT_DIRECT;
  uint32_t last = 0;
  for (;;) {
    last = Format.nSamplesPerSec;
    Format.nSamplesPerSec = 2 * last;
    if (Format.nSamplesPerSec > 200000) {
      last = 48000; // a device that takes every rate keeps the usual one
      break;
    }
    if (!Probe()) break;
  }
  Format.nSamplesPerSec = last;
}

// A test open: the driver's answer tells whether it takes the format; the open notice closes
// the device again and the close notice ends the wait.
bool TWaveIn::Probe() {
  if (DeviceOpen()) return false;
  CompleteFormat(Format);
  if (!Succeeded(waveInOpen(&Handle, static_cast<UINT>(DeviceID), &Format,
                            reinterpret_cast<DWORD_PTR>(WindowHandle()), 0, OpenFlags))) {
    return false;
  }
  Apply(TCaptureEvent::ProbeOpened);
  PumpWhile([this] { return Probing(); });
  return true;
}

void TWaveIn::PumpWhile(const std::function<bool()>& condition) {
  while (condition()) {
    platform::ProcessMessages();
    if (condition()) std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

// ---- A run ----

void TWaveIn::Open() {
  if (DeviceID < 0 || !Idle()) return;
  CompleteFormat(Format);
  if (!Succeeded(waveInOpen(&Handle, static_cast<UINT>(DeviceID), &Format,
                            reinterpret_cast<DWORD_PTR>(WindowHandle()), 0, OpenFlags))) {
    LogFailure("Open: " + ErrorText());
    if (OnFailed) OnFailed(this);
    return;
  }
  Apply(TCaptureEvent::RunOpened);
}

void TWaveIn::Apply(TCaptureEvent Event) {
  const TCaptureState before = CaptureState;
  CaptureState = NextCaptureState(CaptureState, Event);
  Active = FlagsOf(CaptureState).Active;
  if (CaptureState != before && OnStateChange) OnStateChange(this);
}

void TWaveIn::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case MM_WIM_OPEN: OpenNotice(); break;
  case MM_WIM_DATA: DataNotice(wParam, reinterpret_cast<WAVEHDR*>(lParam)); break;
  case MM_WIM_CLOSE: CloseNotice(); break;
  default: break;
  }
}

void TWaveIn::OpenNotice() {
  if (Probing()) {
    if (Succeeded(waveInClose(Handle))) {
      Apply(TCaptureEvent::DeviceClosed);
    } else {
      LogFailure("Close: " + ErrorText());
      Apply(TCaptureEvent::ProbeCloseFailed); // no close notice will end the wait
    }
    return;
  }
  Apply(TCaptureEvent::OpenNoticed);
  if (CaptureState != TCaptureState::Running) return; // no run was opening
  // A run that cannot start gives the device back at once instead of holding it open.
  if (!AllocateBuffers() || !PrepareBuffers()) {
    Close();
    return;
  }
  Block.assign(Channels(), TDataVector(BlockSize));
  Reader = InputReader(Bits());
  if (!StartCapture()) {
    Close();
    return;
  }
  if (OnStart) OnStart(this);
  LogInfo("Start: " + FormatText() + ".");
}

bool TWaveIn::AllocateBuffers() {
  FreeBuffer(FalseHeader); // anything an earlier run could not give back
  for (WAVEHDR& header : Headers) FreeBuffer(header);
  const uint32_t rate = Format.nSamplesPerSec;
  FalseFrames = rate / 10 + 100;
  if (!AllocateBuffer(FalseHeader, uint64_t{Format.nBlockAlign} * FalseFrames)) {
    LogError("Can not allocate false buffer.");
    return false;
  }
  // About one second of sound plus two blocks; ties go to the even count.
  BufferCount = static_cast<uint32_t>(std::nearbyint(static_cast<long double>(rate) / BlockSize)) + 2;
  Headers.assign(BufferCount, WAVEHDR{});
  for (size_t n = 0; n < Headers.size(); ++n) {
    if (!AllocateBuffer(Headers[n], uint64_t{Format.nBlockAlign} * BlockSize)) {
      LogError("Can not allocate buffer #" + NumberText(n) + ".");
      return false;
    }
  }
  return true;
}

bool TWaveIn::PrepareBuffers() {
  if (!Succeeded(waveInPrepareHeader(Handle, &FalseHeader, HeaderSize))) {
    LogFailure("Prepare false header: " + ErrorText());
    return false;
  }
  ExpectedPosition = 0u - Margin();
  for (size_t n = 0; n < Headers.size(); ++n) {
    if (!Succeeded(waveInPrepareHeader(Handle, &Headers[n], HeaderSize))) {
      LogFailure("Prepare header #" + NumberText(n) + ": " + ErrorText());
      return false;
    }
  }
  return true;
}

// The expected position counts from where the device stands now, so frames lost before a
// (re)start are not held against the new queue.
void TWaveIn::RebaseExpectedPosition() {
  Position.wType = TIME_SAMPLES;
  if (Succeeded(waveInGetPosition(Handle, &Position, sizeof Position))) {
    ExpectedPosition = Position.u.sample - Margin();
  }
}

bool TWaveIn::AddBuffers() {
  RebaseExpectedPosition();
  if (!Succeeded(waveInAddBuffer(Handle, &FalseHeader, HeaderSize))) {
    LogFailure("Add false buffer: " + ErrorText());
    return false;
  }
  ExpectedPosition += FalseFrames;
  for (size_t n = 0; n < Headers.size(); ++n) {
    if (!Succeeded(waveInAddBuffer(Handle, &Headers[n], HeaderSize))) {
      LogFailure("Add buffer #" + NumberText(n) + ": " + ErrorText());
      return false;
    }
    ExpectedPosition += BlockSize;
    ++QueuedCount;
  }
  return true;
}

bool TWaveIn::StartCapture() {
  if (!AddBuffers()) return false;
  if (!Succeeded(waveInStart(Handle))) {
    LogFailure("Start: " + ErrorText());
    return false;
  }
  return true;
}

void TWaveIn::DataNotice(WPARAM device, WAVEHDR* header) {
  if (reinterpret_cast<HWAVEIN>(device) != Handle || !header) return;
  ++FReturnedBuffers;
  if (header == &FalseHeader) return; // its samples are thrown away
  const std::less<const WAVEHDR*> before;
  if (Headers.empty() || before(header, Headers.data()) ||
      !before(header, Headers.data() + Headers.size())) {
    return; // not one of ours
  }
  --QueuedCount;
  if (Resync() || Stopping()) {
    if (QueuedCount == 0) FinishPause();
    return;
  }
  if (!OnData) {
    Close();
    return;
  }
  // Checked before the block is handed on, so that no block that may span a gap reaches the
  // consumer; the buffers still out come back unused and the run restarts.
  if (DataMayBeLost(*header)) {
    Apply(TCaptureEvent::RestartNeeded);
    if (QueuedCount == 0) FinishPause();
    return;
  }
  ConvertBuffer(*header);
  const bool stop = LevelsDropBlock() ? false : OnData(Block);
  if (stop) {
    Close();
    return;
  }
  // A callback may have stopped, restarted or closed the capture: the buffer then stays out.
  if (Stopping() || Resync() || !DeviceOpen()) return;
  if (QueuedCount == 0) {
    // Every buffer has come back: the driver ran dry. Queue all again behind a false buffer.
    if (!AddBuffers()) Close();
    return;
  }
  Requeue(*header);
}

// A buffer that came back before it was full, or a device position past the queued buffers,
// means that samples were lost. A position that cannot be read is taken as a loss too.
bool TWaveIn::DataMayBeLost(const WAVEHDR& header) {
  if (header.dwBytesRecorded < header.dwBufferLength) return true;
  Position.wType = TIME_SAMPLES;
  if (!Succeeded(waveInGetPosition(Handle, &Position, sizeof Position))) {
    LogFailure("Position: " + ErrorText());
    return true;
  }
  return PositionIsAhead(Position.u.sample, ExpectedPosition);
}

// Frames are interleaved, channel 0 first.
void TWaveIn::ConvertBuffer(const WAVEHDR& header) {
  const auto* data = reinterpret_cast<const uint8_t*>(header.lpData);
  const size_t channels = Block.size();
  const size_t width = Bits() / 8;
  for (size_t j = 0; j < BlockSize; ++j) {
    for (size_t c = 0; c < channels; ++c) Block[c][j] = Reader(data + (j * channels + c) * width);
  }
}

// The block was captured at the levels in force before the callbacks ran: it is dropped when
// any callback asks for it, or when a level changed meanwhile (the calibration steps in use
// have then moved past the block).
bool TWaveIn::LevelsDropBlock() {
  bool drop = false;
  LevelChanged = false;
  for (size_t c = 0; c < Block.size(); ++c) {
    long double peak = 0;
    for (const long double v : Block[c]) peak = std::max(peak, std::fabs(v));
    const auto channel = static_cast<int32_t>(c);
    if (peak > 0.99L && OnOverload && OnOverload(channel)) drop = true;
    if (peak < 0.45L && OnLowLevel && OnLowLevel(channel)) drop = true;
  }
  return drop || LevelChanged;
}

// A buffer the driver refuses is left out and reported; the count holds only queued buffers.
void TWaveIn::Requeue(WAVEHDR& header) {
  if (!Succeeded(waveInAddBuffer(Handle, &header, HeaderSize))) {
    LogFailure("Add buffer #" + NumberText(static_cast<size_t>(&header - Headers.data())) + ": " +
             ErrorText());
    return;
  }
  ++QueuedCount;
  ExpectedPosition += BlockSize;
}

// The last buffer of a pause is back: a pending stop wins over a pending restart.
void TWaveIn::FinishPause() {
  const bool stop = Stopping();
  Apply(TCaptureEvent::QueueBack);
  if (stop) {
    Close();
    return;
  }
  if (!StartCapture()) Close();
}

// ---- Stopping ----

void TWaveIn::Close() {
  if (Stopping()) return;
  if (QueuedCount != 0) {
    Apply(TCaptureEvent::StopRequested);
    if (!Succeeded(waveInReset(Handle))) LogFailure("Close: Reset: " + ErrorText());
    return;
  }
  if (!Active || !DeviceOpen()) return;
  if (!ReleaseBuffers()) return;
  if (Succeeded(waveInClose(Handle))) {
    Apply(TCaptureEvent::DeviceClosed);
  } else {
    LogFailure("Close: " + ErrorText());
  }
}

bool TWaveIn::ReleaseBuffers() {
  for (size_t n = 0; n < Headers.size(); ++n) {
    if (!Headers[n].lpData) continue; // never allocated
    if (!Succeeded(waveInUnprepareHeader(Handle, &Headers[n], HeaderSize))) {
      LogFailure("Unprepare header #" + NumberText(n) + ": " + ErrorText());
      return false;
    }
    if (!FreeBuffer(Headers[n])) {
      LogError("Can not free handle #" + NumberText(n) + ".");
      return false;
    }
  }
  if (!FalseHeader.lpData) return true;
  if (!Succeeded(waveInUnprepareHeader(Handle, &FalseHeader, HeaderSize))) {
    LogFailure("Unprepare false header: " + ErrorText());
    return false;
  }
  if (!FreeBuffer(FalseHeader)) {
    LogError("Can not free false handle.");
    return false;
  }
  return true;
}

void TWaveIn::CloseNotice() {
  const bool probe = Probing();
  Apply(TCaptureEvent::CloseNoticed);
  if (probe) return;
  LogInfo("Stop.");
  if (OnStop) OnStop(this);
}

void TWaveIn::Invalidate() {
  LevelChanged = true;
  if (QueuedCount == 0 || Stopping()) return;
  if (!Succeeded(waveInReset(Handle))) {
    LogFailure("Invalidate: Reset: " + ErrorText());
    return;
  }
  Apply(TCaptureEvent::RestartNeeded);
}

// ---- Destruction ----

TWaveIn::~TWaveIn() {
  Close();
  // Wait only while something is on its way: returning buffers or the close notice.
  const auto deadline = std::chrono::steady_clock::now() + DestroyPatience;
  PumpWhile([&] {
    return Active && (Stopping() || !DeviceOpen()) && std::chrono::steady_clock::now() < deadline;
  });
  if (DeviceOpen()) ForceRelease();
  if (!DeviceOpen()) {
    FreeBuffer(FalseHeader);
    for (WAVEHDR& header : Headers) FreeBuffer(header);
  }
  Headers.clear();
}

// The close did not get through (or the device was still opening): take every buffer back and
// close without waiting; the notices still pending die with the object.
void TWaveIn::ForceRelease() {
  waveInReset(Handle);
  QueuedCount = 0;
  Apply(TCaptureEvent::QueueBack);
  if (!ReleaseBuffers()) return; // buffers the driver may still hold are not freed
  if (Succeeded(waveInClose(Handle))) {
    Apply(TCaptureEvent::DeviceClosed);
  } else {
    LogFailure("Close: " + ErrorText());
  }
}

} // namespace dravik
