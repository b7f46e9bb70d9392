#pragma once
// The output chain: the main window's single handle on everything that produces the test
// signal. It owns the playback device and the playback mixer bound to it, creates them in
// order and reports each step, and offers one flat set of operations: device and source,
// format, per-channel output attenuation in steps that each halve the level, the two test
// signals and stopping. Everything runs on the main window's thread.

#include <cstdint>
#include <memory>
#include <string>

#include "dravik/audio/uWaveOut.h"
#include "dravik/mixer/uMixer.h"
#include "dravik/signal/uCalibrIn.h" // SilentStep, AttenuationLevel

namespace dravik {

class TSignalOut {
public:
  // Creates the playback device, then the mixer bound to it ("MixerOut"); Ok is false when
  // either failed (the part has reported why). A mixer that could not be set up because
  // another program holds one of its controls is named in the log and leaves the chain
  // created, with MixerReady false. The chain alone frees its parts.
  TSignalOut(TLogEvent AOnLog, bool& Ok);
  // Frees the device (stopping playback), then the mixer (giving the user's settings back).
  ~TSignalOut();
  TSignalOut(const TSignalOut&) = delete;
  TSignalOut& operator=(const TSignalOut&) = delete;

  // The parts; MixerOut is missing when the device could not be created.
  std::unique_ptr<TWaveOut> WaveOut;
  std::unique_ptr<TMixer> MixerOut;
  TLogEvent OnLog;

  uint32_t DeviceCount() const;
  std::string DeviceName(int32_t Device);
  int32_t GetDevice() const;
  // Selects the device (only while idle; a negative number selects nothing), then binds the mixer to the device in use, even
  // when that did not change; the mixer's result.
  bool SetDevice(int32_t Device);
  // The mixer of the device in use is set up, so the chain can play with it.
  bool MixerReady() const;

  int32_t SourceCount() const;
  std::string SourceName(int32_t Index) const;
  int32_t GetSource() const;
  void SetSource(int32_t Index);

  uint32_t GetSamplingRate() const;
  void SetSamplingRate(uint32_t Rate);
  uint32_t GetBits() const;
  void SetBits(uint32_t Bits);

  // Output level channels of the mixer.
  int32_t ChannelCount();
  // The step of the channel's level; SilentStep when it is 0.
  int32_t GetAttenuation(int32_t Channel);
  // Sets the channel's level to AttenuationLevel(Step) (uCalibrIn.h).
  void SetAttenuation(int32_t Channel, int32_t Step);

  // The test signals; they start playback (nothing happens while the device plays).
  void MultiSin(int32_t HighestTone, int32_t Step, uint32_t Period);
  void Trapezium(long double RiseTime, long double FlatTime);
  // Frames per period of the signal in the table.
  int32_t GetBufferFrames() const;
  void Stop();
  // The playback device has closed after the last stop (or never opened).
  bool Idle() const { return !WaveOut || !WaveOut->Busy(); }

  // Called after any change of an output level, by the program or from outside.
  void SetOnMixerChange(TNotifyEvent Handler);
  // The playback device failed to start or stopped on its own (it has gone).
  void SetOnFailed(TNotifyEvent Handler);

private:
  void Report(const std::string& Msg, bool IsInfo) const;
  // Names the control that another program holds, when that is why the mixer could not be
  // set up; false when it is not.
  bool ReportHeldControl() const;
};

} // namespace dravik
