#include "sorvane/engine/uWaveIn.h"

#include <cstdint>
#include <cstring>

#include "platform/kernel.h"

namespace sorvane {
namespace {

constexpr double FullScale = 32767.5;
constexpr DWORD OpenFlags = CALLBACK_EVENT | WAVE_FORMAT_DIRECT; // 0x50008
constexpr const char* OpenError = "Can not open input device ";
// Buffers discarded after a resume: the one being filled when the new signal went out, and two
// more, so that every block collected afterwards was recorded after the change had settled.
constexpr int ResumeSkip = 3;
constexpr int64_t PacingMs = 300;
constexpr int64_t RearmMs = 2000;

} // namespace

// ---- TWaveIn ----

TWaveIn::TWaveIn() { SetBlockLength(256); }

TWaveIn::~TWaveIn() { Shutdown(); }

void TWaveIn::SetBlockLength(int n) {
  if (n < 1) return;
  BlockSize = n;
  if (!Suspended()) return; // the capture thread resizes at its next buffer
  SetWaveLength(Data, static_cast<size_t>(n));
  DataLength = n;
}

bool TWaveIn::Start() {
  if (!AwaitIdleForStart()) {
    ReportError(OpenError, WAVERR_STILLPLAYING);
    return false;
  }
  if (!Prepare()) return true;
  // The first 25 frames and one millisecond more are the converter settling: discarded.
  Position = -25 - static_cast<int>(Format.nSamplesPerSec / 1000);
  Arrival.Reset(AwaitSignal ? Format.nSamplesPerSec : 0);
  Collecting = true;
  ResumePending = false;
  SkipCount = 0;
  Command = TCommand::None;
  ++Epoch;
  Handle = nullptr;
  const MMRESULT opened =
      waveInOpen(&Handle, DeviceID, &Format, reinterpret_cast<DWORD_PTR>(Event), 0, OpenFlags);
  if (opened != MMSYSERR_NOERROR) {
    // A failed open leaves no handle: the device number names it.
    FailOpen(OpenError, opened, waveInGetNativeError(reinterpret_cast<HWAVEIN>(UINT_PTR{DeviceID})));
    return false;
  }
  for (WAVEHDR& header : Headers) {
    waveInPrepareHeader(Handle, &header, sizeof header);
    waveInAddBuffer(Handle, &header, sizeof header);
  }
  waveInStart(Handle);
  return true;
}

void TWaveIn::EnableCollection(bool on) {
  // Buffers returned but not yet handled hold samples from before this moment as well.
  if (on) ResumeBacklog = ReturnedBuffers();
  Command = on ? TCommand::Resume : TCommand::Pause;
}

void TWaveIn::ApplyCommand() {
  const TCommand command = Command.exchange(TCommand::None);
  if (command == TCommand::None) return;
  Collecting = false;
  Position = 0;
  ResumePending = command == TCommand::Resume;
  if (ResumePending) SkipCount = ResumeSkip + ResumeBacklog;
  ++Epoch;
}

void TWaveIn::ProcessBuffer(WAVEHDR& header) {
  ApplyCommand();
  const auto size = static_cast<size_t>(BlockSize.load());
  if (Data[0].size() != size) {
    SetWaveLength(Data, size);
    DataLength = static_cast<int>(size);
    if (Position > static_cast<int>(size) - 1) Position = 0;
  }
  const DWORD bytes = std::min(header.dwBytesRecorded, header.dwBufferLength);
  const size_t frames = header.lpData ? bytes / sizeof(TStereoFrame) : 0;
  if (Collecting) {
    Collect(header.lpData, frames);
  } else if (ResumePending && --SkipCount <= 0) {
    ResumePending = false;
    Collecting = true;
  }
  // A buffer that cannot be queued again is met once more next lap: it must then hold nothing.
  header.dwBytesRecorded = 0;
  if (waveInAddBuffer(Handle, &header, sizeof header) == MMSYSERR_NODRIVER) ReportLost("input");
}

void TWaveIn::Collect(const char* frames, size_t count) {
  const int last = static_cast<int>(Data[0].size()) - 1;
  for (size_t i = 0; i < count; ++i) {
    if (Position < 0) { // the converter settling
      ++Position;
      continue;
    }
    TStereoFrame frame;
    std::memcpy(&frame, frames + i * sizeof frame, sizeof frame);
    if (!Arrival.Settled(frame)) continue;
    Data[0][Position] = frame.Left / FullScale;
    Data[1][Position] = frame.Right / FullScale;
    if (Position == last) {
      Position = 0;
      if (OnData) OnData(Data);
    } else {
      ++Position;
    }
  }
}

void TWaveIn::CloseDevice() {
  // Buffers queued again after the stop request come back before the device closes.
  waveInReset(Handle);
  waveInStop(Handle);
  State = wsClosing;
  // Without a close notice the thread would wait for ever: wake it to go idle.
  if (waveInClose(Handle) != MMSYSERR_NOERROR) SetEvent(Event);
}

void TWaveIn::ResetDevice() { waveInReset(Handle); }

void TWaveIn::ReleaseBuffers() {
  for (WAVEHDR& header : Headers) waveInUnprepareHeader(Handle, &header, sizeof header);
  TWaveControl::ReleaseBuffers();
}

// ---- TSyncIn ----

TSyncIn::TSyncIn() : Event(CreateEventA(nullptr, FALSE, FALSE, nullptr)), Device(new TWaveIn) {
  // The pointer is taken once here, so the capture thread never reads Device itself.
  Device->OnData = [this, device = Device.get()](const TWaveData& block) {
    Captured(block, device->CollectionEpoch());
  };
  Device->SetAwaitSignal(true);
}

TSyncIn::~TSyncIn() {
  ShutdownCheck.Verify();
  CloseHandle(Event);
}

void TSyncIn::Shutdown() {
  ShutdownCheck.ShuttingDown(typeid(*this));
  if (!Device) return;
  Terminate(); // from here on no block reaches ProcessBlock or OnBlock
  Device.reset();
  TerminateAndWait();
}

int TSyncIn::BlockLength() const { return Device ? Device->BlockLength() : 0; }

void TSyncIn::SetBlockLength(int n) {
  if (Device) Device->SetBlockLength(n);
}

void TSyncIn::SetDeviceID(UINT id) {
  if (Device) Device->SetDeviceID(id);
}

DWORD TSyncIn::SampleRate() const { return Device ? Device->SampleRate() : 0; }

void TSyncIn::SetSampleRate(DWORD rate) {
  if (Device) Device->SetSampleRate(rate);
}

void TSyncIn::SetErrorHandler(std::function<void(const std::string& text)> handler) {
  if (Device) Device->OnError = std::move(handler);
}

void TSyncIn::SetLostHandler(std::function<void(const std::string& text)> handler) {
  if (Device) Device->OnLost = std::move(handler);
}

bool TSyncIn::Start() {
  if (!Suspended()) return true;
  if (!Device) return false;
  ShutdownCheck.Started(typeid(*this));
  Ready = true;
  {
    std::lock_guard lock(HandOff);
    PendingFresh = false; // a block of the last run is never handed over
  }
  Resume();
  if (Device->Start()) return true;
  Suspend();
  return false;
}

void TSyncIn::Stop() {
  if (Suspended() || !Device) return;
  Device->Stop();
  Suspend();
}

void TSyncIn::EnableCollection(bool on) {
  if (!on) ++Generation;
  if (Device) Device->EnableCollection(on);
}

void TSyncIn::RequestNext() { Ready = true; }

void TSyncIn::BlockCaptured(const TWaveData& block) { Captured(block, SeenEpoch); }

void TSyncIn::Captured(const TWaveData& block, unsigned epoch) {
  PreviewBlock(block);
  if (epoch != SeenEpoch) {
    SeenEpoch = epoch; // a new series: the blocks summed so far belong to the old one
    Count = 0;
  }
  if (Acc[0].size() != block[0].size()) {
    SetWaveLength(Acc, block[0].size());
    Count = 0;
  }
  if (AccGeneration != Generation) Count = 0; // the signal changed while this sum grew
  if (Count == 0) AccGeneration = Generation;
  if (Count == 0) {
    CopyWave(block, Acc);
    AccMoments.Clear();
  } else {
    for (size_t c = 0; c < Acc.size(); ++c) {
      const size_t n = std::min(Acc[c].size(), block[c].size());
      for (size_t i = 0; i < n; ++i) Acc[c][i] += block[c][i];
    }
  }
  AccMoments.AddBlock(block[0], block[1]);
  ++Count;
  const platform::TDateTime now = platform::Now();
  int64_t elapsed = platform::MillisecondsBetween(LastDelivery, now);
  if (elapsed < 0) elapsed = INT64_MAX; // the clock went back: the last hand-off counts as long ago
  if (elapsed > RearmMs) Ready = true;
  if (elapsed >= PacingMs && Ready) {
    LastDelivery = now;
    if (Count > 1) {
      for (TChannelData& channel : Acc) {
        for (double& x : channel) x /= Count;
      }
    }
    Count = 0;
    Deliver(Acc, AccMoments);
  } else if (!Averaging) {
    Count = 0; // the next block replaces the sum: the one handed over is the latest
  }
}

void TSyncIn::Deliver(const TWaveData& wave, const TSpectrumMoments& moments) {
  {
    std::lock_guard lock(HandOff);
    SetWaveLength(Pending, wave[0].size());
    CopyWave(wave, Pending);
    PendingMoments = moments;
    PendingGeneration = AccGeneration;
    PendingFresh = true;
  }
  Ready = false;
  // Set rather than pulsed: a dispatcher that is busy at this moment still takes the block.
  SetEvent(Event);
}

void TSyncIn::TerminatedSet() { SetEvent(Event); }

void TSyncIn::Execute() {
  while (!Terminated()) {
    if (WaitForSingleObject(Event, INFINITE) != WAIT_OBJECT_0) break;
    if (Terminated()) break;
    Synchronize([this] { DispatchBlock(); });
  }
  CloseHandle(Event);
}

void TSyncIn::DispatchBlock() {
  // Stopped or being destroyed: the window gets no block of a run that has ended.
  if (Terminated() || Suspended()) return;
  {
    std::lock_guard lock(HandOff);
    if (!PendingFresh) return;
    if (PendingGeneration != Generation) {
      PendingFresh = false; // handed over before the signal changed
      Ready = true;
      return;
    }
    std::swap(Out, Pending);
    std::swap(OutMoments, PendingMoments);
    PendingFresh = false;
  }
  ProcessBlock(Out);
  if (OnBlock) OnBlock(Out);
}

} // namespace sorvane
