#pragma once
// Capture: TWaveIn records 16-bit stereo on its own thread and cuts it into blocks of N frames
// of doubles; TSyncIn owns a TWaveIn, sums its blocks for averaging and hands one block at a time
// to the main thread, at most every 300 ms and only when the main thread has asked for it.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "sorvane/numeric/uSpectrumMoments.h"
#include "sorvane/engine/uSignalArrival.h"
#include "sorvane/engine/uWaveControl.h"

namespace sorvane {

class TWaveIn : public TWaveControl {
public:
  TWaveIn();
  ~TWaveIn() override;

  // The block length N in frames (at least 1); while capturing it takes effect at the next
  // buffer. BlockLength is the length of the blocks now being assembled.
  void SetBlockLength(int n);
  int BlockLength() const { return DataLength; }

  // Opens and starts capture: true when capture runs (also when it ran already), false when the
  // device could not be opened (OnError has the text).
  bool Start();
  // Whether a Start waits for the signal played to reach the inputs and settle before its first
  // block (TSignalArrival); off, the first block begins after the converter's settling frames.
  // Set it before Start.
  void SetAwaitSignal(bool on) { AwaitSignal = on; }

  // false pauses collection at once; true resumes it after three more device buffers, from
  // frame 0 of a new block. Any thread may call it; the capture thread applies it at its next
  // buffer, so a block is never assembled from samples on both sides of the pause.
  void EnableCollection(bool on);

  // Changes whenever a new series of blocks begins (each Start and each pause); read on the
  // capture thread, inside OnData, to know that blocks before it must not be mixed with later ones.
  unsigned CollectionEpoch() const { return Epoch; }

  // Each complete block, called on the capture thread.
  std::function<void(const TWaveData& block)> OnData;

protected:
  void ProcessBuffer(WAVEHDR& header) override;
  void CloseDevice() override;
  void ResetDevice() override;
  void ReleaseBuffers() override;

private:
  enum class TCommand : uint8_t { None, Pause, Resume };

  void ApplyCommand();
  void Collect(const char* frames, size_t count);

  HWAVEIN Handle = nullptr;
  std::atomic<int> BlockSize{256};
  TWaveData Data;
  std::atomic<int> DataLength{256};
  bool Collecting = false;
  bool ResumePending = false;
  int SkipCount = 0;
  bool AwaitSignal = false;
  TSignalArrival Arrival;
  std::atomic<TCommand> Command{TCommand::None};
  std::atomic<int> ResumeBacklog{0};
  unsigned Epoch = 0;
};

class TSyncIn : public platform::TThread {
public:
  // Stops the program with a message when the leaf's destructor did not call Shutdown().
  ~TSyncIn() override;

  // Forwarded to the capture device.
  int BlockLength() const;
  void SetBlockLength(int n);
  void SetDeviceID(UINT id);
  DWORD SampleRate() const;
  void SetSampleRate(DWORD rate);
  void SetErrorHandler(std::function<void(const std::string& text)> handler);
  // The capture device's OnLost.
  void SetLostHandler(std::function<void(const std::string& text)> handler);
  TWaveIn& WaveIn() { return *Device; }
  const TWaveIn& WaveIn() const { return *Device; }

  // Starts capture; the first block is recorded once the signal played has reached the inputs
  // and settled (a block of silence or of the start-up transient reads far from the truth).
  bool Start();
  void Stop();
  // Wired to the playback device's OnSignalChange: a pause also restarts the averaging, and no
  // block summed (or handed over) before it is ever passed to the main thread: it belongs to
  // the old signal, which the window no longer analyses.
  void EnableCollection(bool on);
  // The main thread has finished with the last block and wants the next one.
  void RequestNext();

  // The capture device's OnData handler, on the capture thread: sums and, when due, hands over.
  void BlockCaptured(const TWaveData& block);

  // The main window's block handler, called on the main thread after ProcessBlock.
  std::function<void(TWaveData& block)> OnBlock;
  // Sum successive blocks until the next hand-off; set by the main thread at any time.
  std::atomic<bool> Averaging{false};

protected:
  // Every raw block, on the capture thread, before it is summed.
  virtual void PreviewBlock(const TWaveData& /*block*/) {}
  // The handed-over block, on the main thread, before OnBlock.
  virtual void ProcessBlock(TWaveData& /*block*/) {}
  // The scatter of the blocks that were averaged into the block being handed over; main thread,
  // valid during ProcessBlock and OnBlock.
  const TSpectrumMoments& BlockMoments() const { return OutMoments; }

  // Only ever a base: every class derived from it calls Shutdown() first in its destructor.
  TSyncIn();

  // Stops capture and ends both threads, while the leaf's PreviewBlock and ProcessBlock and the
  // members they use still exist. The base destructor checks that it ran, and the first call
  // checks that it came from the class the thread ran as (TShutdownCheck).
  void Shutdown();

  void Execute() override;
  void TerminatedSet() override;

private:
  void Captured(const TWaveData& block, unsigned epoch);
  void Deliver(const TWaveData& wave, const TSpectrumMoments& moments);
  void DispatchBlock();

  HANDLE Event = nullptr;
  TWaveData Out; // main thread only
  TSpectrumMoments OutMoments; // main thread only
  platform::TDateTime LastDelivery = 0;
  TWaveData Acc;
  TSpectrumMoments AccMoments; // capture thread only, beside Acc
  int Count = 0;
  unsigned SeenEpoch = 0;
  // Counts the pauses; the sum records the count it began under, the hand-off the count of
  // the sum it passes on.
  std::atomic<unsigned> Generation{0};
  unsigned AccGeneration = 0;  // capture thread only
  unsigned PendingGeneration = 0;
  std::atomic<bool> Ready{false};
  std::unique_ptr<TWaveIn> Device;
  TShutdownCheck ShutdownCheck{"TSyncIn"};

  // The hand-off: Deliver copies into Pending and DispatchBlock takes it over into Out, each
  // under the lock, so the copy never overlaps ProcessBlock and OnBlock working on Out, and the
  // capture thread never waits for the main thread's drawing.
  std::mutex HandOff;
  TWaveData Pending;
  TSpectrumMoments PendingMoments;
  bool PendingFresh = false;
};

} // namespace sorvane
