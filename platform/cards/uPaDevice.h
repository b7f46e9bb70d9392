#pragma once
// One PortAudio device in one direction as a device of the waveform API. While a program has it
// open, a callback stream runs on it and only moves samples between the device and the open
// stream's buffer queue (TWaveStream): the queue, its notices, positions, loops and resets
// behave exactly as on the virtual card. Samples recorded while no buffer is queued are lost
// and still counted; an output queue that runs dry plays silence.
//
// The stream runs in 32-bit float with the device's own channels (one or two); the PCM
// formats of the program are converted by TWaveStream. A software gain per channel is applied
// on the way (set by the software mixer where no sound-card mixer serves the device).
//
// A stream that stops on its own, or whose callbacks stop coming (a device unplugged, a sound
// server gone), is found by Check(): the open stream then vanishes (every queued buffer comes
// back, later calls answer MMSYSERR_NODRIVER, closing still works).
//
// Every call into the library is made with a deadline (uPaLimits.h): a device whose server is
// stopped answers nothing, and a call that overruns is abandoned. The device then counts as
// vanished: an open stream vanishes as above, and opens are refused (MMSYSERR_NODRIVER) until
// every abandoned call has come back.

#include "platform/src/uWaveBackend.h"
#include "platform/src/uWaveStream.h"

#include <portaudio.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace platform::portaudio {

uint64_t SteadyNs(); // the steady clock in nanoseconds

// The library stream of one open, shared with the helper threads that call the library on it.
// Guarded by PaLock(); Closed once the library has closed it, so that an abandoned call that
// comes back late never touches a closed stream.
struct THostStream {
  PaStream* Stream = nullptr;
  bool Closed = false;
};

class TPaDevice : public wave::TWaveDevice {
public:
  // `alsa`: the device belongs to the library's ALSA host interface.
  TPaDevice(PaDeviceIndex index, wave::TDirection direction, std::string name, int channels,
            double latency, bool alsa = false);
  ~TPaDevice() override;

  bool Present() const override { return true; }
  // The name as the library gives it, uncut (it carries the sound card's ALSA address).
  std::string Name() const override;
  // "hw:N" from the "(hw:N,M)" the name ends with; the name where it has none.
  std::string CardName() const override;
  DWORD Formats() const override;
  WORD Channels() const override { return static_cast<WORD>(HostChannels); }
  DWORD Support() const override { return 0; }
  MMRESULT CheckFormat(const WAVEFORMATEX& format) const override;
  TBackendResult Attach(const std::shared_ptr<wave::TWaveStream>& stream) override;
  void Detach(const wave::TWaveStream& stream) override;

  PaDeviceIndex Index() const { return DeviceIndex; }
  wave::TDirection Direction() const { return Dir; }
  bool Serves(const wave::TWaveStream* stream) const;
  void SetGain(int channel, double gain) { Gain[channel] = gain; }
  double GainOf(int channel) const { return Gain[channel]; }

  // Makes the open stream vanish when the device has stopped serving it; nowNs on the steady
  // clock.
  void Check(uint64_t nowNs);

private:
  static int Callback(const void* input, void* output, unsigned long frames,
                      const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags status,
                      void* self);
  void Record(const float* input, size_t frames, uint64_t nowNs);
  void Play(float* output, size_t frames, uint64_t nowNs);
  bool RateAccepted(uint32_t rate) const;
  // Opens and starts the library stream into `host` (on a helper thread, under PaLock).
  TBackendResult OpenHost(THostStream& host, double rate, unsigned long chunk);
  // Runs `work` within `limit` (platform::RunWithin), or without waiting while an abandoned
  // call on any device has not come back; an abandoned call counts in Unanswered until it has
  // come back and `late` has run. Empty when answered, else the native detail of the failure.
  std::string CallWithin(std::chrono::milliseconds limit, std::function<void()> work,
                         std::function<void()> late = {}) const;
  bool Unresponsive() const { return *Unanswered > 0; }
  double* Scratch(size_t frames);

  const PaDeviceIndex DeviceIndex;
  const wave::TDirection Dir;
  const std::string HostName;
  const int HostChannels;
  const double Latency;
  const bool Alsa;

  mutable std::mutex Mutex; // the open stream, the library stream and the rate cache
  mutable std::map<uint32_t, bool> Rates;
  std::shared_ptr<wave::TWaveStream> Stream;
  std::shared_ptr<THostStream> Host;
  bool Failed = false;
  // Abandoned calls that have not come back (shared with their helper threads; it may dip
  // below zero for a moment when one comes back before it is counted).
  const std::shared_ptr<std::atomic<int>> Unanswered = std::make_shared<std::atomic<int>>(0);

  // Used by the callback only while the library stream runs.
  wave::TWaveStream* Active = nullptr;
  std::vector<double> Stereo;
  std::atomic<uint64_t> LastCallbackNs{0};
  std::atomic<double> Gain[2] = {1.0, 1.0};
};

} // namespace platform::portaudio
