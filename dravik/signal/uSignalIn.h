#pragma once
// The input chain: the input side of the instrument as the main window sees it. It owns the
// capture device, the recording mixer bound to it and the input calibration, wires them so
// that blocks flow from the device through the calibration to the window's consumers, and
// sequences the two calibration runs step by step: the offset run (one 0.2 s block per
// attenuator step, output silent) and the amplitude run (blocks of whole periods of the
// trapezium, channel 0 and then channel 1 as the reference). Any change of a recording-mixer
// control discards the blocks in flight. Everything runs on the main window's thread.

#include <cstdint>
#include <memory>
#include <string>

#include "dravik/audio/uWaveIn.h"
#include "dravik/mixer/uMixer.h"
#include "dravik/signal/uCalibrIn.h"

namespace platform {
class TIniFile;
}

namespace dravik {

class TSignalIn {
public:
  // Creates the capture device, the mixer bound to it ("MixerIn") and the calibration, in
  // that order, reporting each step; Ok is false when the device or the mixer binding failed
  // (the part has reported why, and the parts after it are not created). A mixer that could
  // not be set up because another program holds one of its controls is named in the log and
  // leaves the chain created, with MixerReady false. The chain alone
  // frees its parts.
  TSignalIn(TLogEvent AOnLog, bool& Ok);
  // Frees the device, the mixer and the calibration, reporting each.
  ~TSignalIn();
  TSignalIn(const TSignalIn&) = delete;
  TSignalIn& operator=(const TSignalIn&) = delete;

  std::unique_ptr<TWaveIn> WaveIn;
  std::unique_ptr<TMixer> MixerIn;
  std::unique_ptr<TCalibrIn> CalibrIn;
  uint32_t BlockLength = 0; // frames per block of a measurement
  TLogEvent OnLog;
  TNotifyEvent OnStart;     // handed to the capture device whenever capture starts
  TNotifyEvent OnStop;      // a measurement or a calibration run has ended

  uint32_t DeviceCount() const;
  std::string DeviceName(int32_t Device);
  uint32_t GetDevice() const;
  // Selects the device (only while idle; a negative number selects nothing), then binds the
  // mixer to the device in use; the mixer's result.
  bool SetDevice(int32_t Device);
  // The mixer of the device in use is set up, so the chain can measure with it.
  bool MixerReady() const;

  int32_t SourceCount() const;
  std::string SourceName(int32_t Index) const;
  int32_t GetSource() const;
  void SetSource(int32_t Index);

  uint32_t GetSamplingRate() const;
  void SetSamplingRate(uint32_t Rate);
  uint32_t GetBits() const;
  void SetBits(uint32_t Bits);

  void SetOnSaturation(TChannelEvent Handler);
  void SetOnLowLevel(TChannelEvent Handler);
  // Discards the blocks in flight and restarts the capture.
  void Invalidate();

  int32_t AddBlockConsumer(TBlockConsumer Handler, void* Data = nullptr);
  void SetOnBlock(TBlockEvent Handler);
  int32_t GetAttIndex(int32_t Channel) const;
  int32_t GetStepCount() const;
  // Moves the channel's calibration step and its recording level together.
  void SetAttenuation(int32_t Channel, int32_t Step);
  void SaveCalibration(platform::TIniFile& File) const;
  void LoadCalibration(const platform::TIniFile& File);

  // Also makes the handler the capture device's stop handler at once.
  void SetOnStop(TNotifyEvent Handler);
  // The capture device could not be opened for a measurement or a run's next step.
  void SetOnFailed(TNotifyEvent Handler);
  // Captures blocks of BlockLength frames, calibrates them and hands them to the consumers.
  void StartMeasurement();
  void Stop();
  // The capture device has closed after the last stop (or never opened).
  bool Idle() const { return !WaveIn || WaveIn->Idle(); }

  void StartOffsetRun();
  void OffsetRunStep();
  // Frequency of the periodic calibration signal in Hz. False (nothing started, reported)
  // when it is not a positive number whose block of whole periods fits 32 bits.
  bool StartAmplitudeRun(long double Frequency);
  void AmplitudeRunStep();

private:
  void Report(const std::string& Msg, bool IsInfo) const;
  // Names the control that another program holds, when that is why the mixer could not be
  // set up; false when it is not.
  bool ReportHeldControl() const;
  void SetAllAttenuations(int32_t Step);
  // Opens the capture device for one block of a run: the block length, the calibration's
  // handler as consumer, the window's start handler and the run's step as stop handler.
  void OpenForRun(uint32_t Frames, bool (TCalibrIn::*Handler)(TDataMatrix&),
                  void (TSignalIn::*NextStep)());
  void EndRun();
  void EndAmplitudeRun();
  // Recording levels back in line with the calibration steps once a channel without signal has
  // shortened the step table (which moves the channels beyond it down).
  void FollowShortenedTable();

  int32_t RunStepCount = 0; // steps of the table when the amplitude run last moved on
};

// Frames of an amplitude-run block: p = Round(Frequency / 2) whole periods (at least one), that
// is round(p * Rate / Frequency) frames. 0 when the frequency is not positive and finite, p
// does not fit 32 bits or the block is empty or not shorter than 2^32 frames.
uint32_t AmplitudeBlockFrames(uint32_t Rate, long double Frequency);

} // namespace dravik
