#pragma once
// The input calibration. Each input channel reaches the program through the recording mixer at
// an attenuator step s (a recording level of 2^-s of full scale), and at every step it has its
// own DC offset and gain. TCalibrIn keeps an offset and a factor per channel and step, applies
// them to every captured block before the block reaches its consumers, measures them block by
// block in the offset run (output silent) and the amplitude run (trapezium on both inputs), and
// keeps them in the section "Calibration" of the settings file. The input chain owns it and
// moves the steps; everything runs on the main window's thread.

#include <cstdint>
#include <functional>
#include <vector>

#include "dravik/measure/uInputResponse.h"
#include "dravik/signal/uSignalProcessing.h"
#include "platform/calibration_place.h"

namespace platform {
class TIniFile;
}

namespace dravik {

// One attenuator step of one channel: a raw sample x is calibrated as (x - OffSet) * AttVal.
struct TAttStep {
  long double OffSet = 0;
  long double AttVal = 1;
};

struct TChannelCal {
  int32_t AttIndex = 0;         // the step the channel is at now
  std::vector<TAttStep> Steps;  // one per attenuator step
};

// Shows a block of a calibration run before it is measured.
using TBlockEvent = std::function<void(const TDataMatrix& Block)>;

constexpr int32_t DefaultCalibrationChannels = 2;
constexpr int32_t DefaultAttenuationSteps = 5;
// The per-step keys join channel and step numbers, so the settings file can only describe
// counts up to 10 of each; larger (or non-positive) counts read from it are ignored.
constexpr int32_t MaxStoredCount = 10;
// How far a measured factor may lie from its step's nominal 2^s. A step of a working card is
// within a few dB of its nominal level; one step of a mixer with a cubic curve (a quarter of
// the nominal level) still passes, the noise of a dead input (factors in the thousands) not.
constexpr long double FactorTolerance = 8;
// The first block of the amplitude run has both inputs at step 0 on the shorted jig: their
// amplitudes agree within platform::LargestInputMismatch.
// The trapezium arrives at about 0.8 of full scale; a reference amplitude below this share of
// full scale (about 30 steps of a 16-bit input) is the noise of an input that hears no output.
constexpr long double HeardAmplitude = 1e-3L;
// The step that stands for a level of exactly 0.
constexpr int32_t SilentStep = 255;

// The mixer level of attenuator step s: 2^-s, full level for s <= 0. Steps 31 to 254 all mean
// 2^-30, the smallest level a step can name, and 255 or more mean silence, so a larger step
// never gives a louder level and a silent channel brought down one step comes back to life.
double AttenuationLevel(int32_t Step);
// The step of a mixer level: Round(log2(1 / level)), ties to even; SilentStep for a level of 0.
int32_t AttenuationStep(double Level);

class TCalibrIn : public TSignalProcessing {
public:
  // Two channels of five nominal steps, every channel at step 0, reference channel 0.
  TCalibrIn();

  std::vector<TChannelCal> ChannelCal;
  int32_t RefChannel = 0;  // the amplitude reference of the amplitude run
  TBlockEvent OnBlock;     // sees every block of a calibration run
  // Set by an amplitude block in which a channel showed no signal at its first step, or the
  // reference a factor no working card can give: nothing can be calibrated, and the run must
  // end. The input chain clears it when it starts a run.
  bool AmplitudeRunStopped = false;
  // The amplitude run has reported an error: the input chain puts the kept table back when the
  // run ends, and the calibration is not done. Cleared with AmplitudeRunStopped.
  bool AmplitudeRunFailed = false;

  // Fewer channels drop them from the end; new ones copy the last channel (or, starting from
  // none, get the nominal table). A negative count counts as 0.
  void SetChannelCount(int32_t Count);
  int32_t GetChannelCount() const;
  // Resizes every channel's table; new steps get the nominal values, and a channel beyond the
  // new last step is moved to it. A negative count counts as 0.
  void SetStepCount(int32_t Count);
  // Steps of channel 0; 0 without channels.
  int32_t GetStepCount() const;
  // The step is not checked here; the input chain keeps it in range. A channel that does not
  // exist is ignored (and reads as step 0).
  void SetAttIndex(int32_t Channel, int32_t Step);
  int32_t GetAttIndex(int32_t Channel) const;

  // A calibration starts from the default step count; the table in force is kept aside for a
  // run that fails.
  void BeginCalibration();
  // The table kept by BeginCalibration, with the steps the channels were at then; false (and
  // nothing changed) when none was kept.
  bool PutBackKeptTable();

  // Calibrates the block in place, then hands it to the consumers.
  bool Process(TDataMatrix& Block) override;
  // Offset run: the mean of each channel becomes the offset of its current step. Returns true
  // (one block per step).
  bool OffsetBlock(TDataMatrix& Block);
  // Amplitude run: the factor of each channel's current step is set so that its amplitude
  // equals that of the reference channel at the reference's current step. A factor that no
  // working card can have (more than FactorTolerance from the step's nominal 2^s) is noise
  // taken for signal and counts as no signal. Returns true.
  bool AmplitudeBlock(TDataMatrix& Block);

  // The inputs' response measured on the shorted jig after the amplitude run (none until then);
  // kept in the same section.
  TInputResponse Response;
  // The devices and the rate the table was measured on (not known for a table of an earlier
  // version); kept in the same section.
  platform::TCalibrationPlace Place;

  void SaveToIni(platform::TIniFile& File) const;
  // Reading puts every channel back at step 0. A stored response that is incomplete or that no
  // working card could have is left out (no response), with the rest of the table read as usual.
  void LoadFromIni(const platform::TIniFile& File);

private:
  // Channels of the block that have a calibration entry.
  size_t CalibratedChannels(const TDataMatrix& Block) const;
  // The channel's current step; nullptr when its step lies outside the table.
  TAttStep* CurrentStep(size_t Channel);
  bool NoSignal(size_t Channel);
  // Nothing can be calibrated against the channel: the run must end, and fails.
  bool Refuse(size_t Channel);
  // The first block (both inputs at step 0): the reference heard the output and the inputs
  // agree as a card's do; otherwise the run ends, refused with a sentence that says what to do.
  bool FirstBlockRefused(const std::vector<long double>& Amplitudes);
  // The channel whose signal is missing when `Channel` would get `Factor`; -1 when none is.
  int32_t ChannelWithoutSignal(size_t Channel, long double Factor) const;

  std::vector<TChannelCal> KeptTable; // the table in force when the calibration began
};

} // namespace dravik
