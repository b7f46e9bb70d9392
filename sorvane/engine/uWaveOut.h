#pragma once
// Playback: TWaveOut plays a test signal of exactly N frames over and over without a seam, from a
// double buffer, so that a new signal replaces the old one at a device-buffer boundary. While a
// new signal is on its way it tells the capture side to pause (OnSignalChange(false)), and once
// it is on the air to resume (OnSignalChange(true)).

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "sorvane/engine/uWaveControl.h"

namespace sorvane {

// The 16-bit code of a full-scale sample: x*32767.5 truncated toward zero, held inside the 16-bit
// range; not-a-number gives 0.
int16_t SampleCode(double x);

class TWaveOut : public TWaveControl {
public:
  TWaveOut();
  ~TWaveOut() override;

  // Generates the test signal for LoHz..HiHz at this device's sampling rate into both channels
  // and loads it.
  void SetSignal(int n, double level, double loHz, double hiHz);
  // Converts a signal of full-scale doubles to 16-bit frames in the back buffer. While idle it
  // becomes the signal at once; while playing it goes on the air at the next finished buffer.
  void LoadSignal(const TWaveData& wave);

  // Opens and starts playback of the loaded signal: true when playback runs (also when it ran
  // already), false when the device could not be opened (OnError has the text).
  bool Start();

  static void GenerateTestSignal(double* x, int n, int kLo, int kHi, double level);

  // false when a new signal was loaded while playing, true once it is on the air. Called on the
  // main thread.
  std::function<void(bool on)> OnSignalChange;

protected:
  void ProcessBuffer(WAVEHDR& header) override;
  void CloseDevice() override;
  void ResetDevice() override;
  void ReleaseBuffers() override;
  void DeviceOpened() override;

private:
  void SwapBuffers();
  // On the main thread, while the playback thread waits: the new signal replaces the old one in
  // `header` and in every buffer that the reset brings back. True when it did.
  bool SwapAndFlush(WAVEHDR& header);
  void FillBuffer(WAVEHDR& header);
  // Fills and queues the buffer; a device that has gone sets Gone.
  void Write(WAVEHDR& header);

  HWAVEOUT Handle = nullptr;
  std::array<TBufferData, 2> Buffers;
  int Front = 0;
  int Back = 1;
  std::atomic<bool> SwapPending{false};
  std::atomic<bool> Gone{false};
  TWaveData Signal;
};

} // namespace sorvane
