// The response run, the last step of a calibration: with the terminals still shorted, the
// multi-tone plays for a few seconds and the ratio of the two inputs at every analysis point is
// measured; the analysis then divides it out of channel 1, which removes the phase difference
// that different AC-coupling corners give the inputs.

#include "dravik/ui/uDravik.h"

#include <cmath>
#include <cstdio>

namespace dravik {
namespace {


std::string Fixed(long double value, int decimals) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(value));
  return text;
}

std::string FoundText(const TInputResponse& response) {
  return "Response calibration: the inputs differ by up to " +
         Fixed(100 * response.LargestGainDifference(), 3) + " % in gain and " +
         Fixed(1000 * response.LargestPhaseDifference(), 2) + " mrad in phase.";
}

} // namespace

void TfmLCR::StartResponseRun() {
  SignalOut->MultiSin(HighestTone, ToneStep, TonePeriod);
  SignalIn->BlockLength = static_cast<uint32_t>(SignalOut->GetBufferFrames());
  FResponseMeter.Start(SignalIn->GetSamplingRate(), SignalIn->BlockLength);
  FResponseRun = true;
  FCalibrationRun = TCalibrationRun::Response;
  SignalIn->SetOnStop([this](void*) { OnStopResponseCalibr(); });
  SignalIn->SetAttenuation(0, 0);
  SignalIn->SetAttenuation(1, 0);
  SignalIn->StartMeasurement();
}

// The waveform view shows the blocks as the other runs do; true once enough have been heard.
bool TfmLCR::ResponseBlock(TDataMatrix& Block) {
  Analysis.ShowWaveforms(Block, SignalIn->GetSamplingRate());
  const bool enough = FResponseMeter.AddBlock(Block);
  ShowCalibrationProgress();
  return enough;
}

// A response that cannot be a card's (the inputs do not see the same voltage) or that heard no
// tone is refused, and the whole calibration in force before it stays.
void TfmLCR::OnStopResponseCalibr() {
  FResponseRun = false;
  StopChains();
  TInputResponse response;
  const TResponseOutcome outcome = FResponseMeter.Blocks() < FResponseMeter.BlocksNeeded()
                                       ? TResponseOutcome::NoSignal
                                       : FResponseMeter.Result(response);
  if (outcome == TResponseOutcome::Measured) {
    SignalIn->CalibrIn->Response = response;
    AddMessage(FoundText(response), true);
    FinishCalibration(true);
    return;
  }
  if (outcome == TResponseOutcome::NoSignal) AddMessage("No signal on response calibration.", false);
  else
    AddMessage("Response calibration refused: the two inputs differ by more than a sound card "
               "could. Short the terminals and pick the same box as output and input.", false);
  SignalIn->CalibrIn->PutBackKeptTable();
  FinishCalibration(false);
}

// A response measured at another rate or block length would correct other frequencies: it is
// not used then, and the log says how to get one.
void TfmLCR::UseResponseCalibration() {
  const TInputResponse& response = SignalIn->CalibrIn->Response;
  const unsigned rate = SignalIn->GetSamplingRate();
  Analysis.SetResponse(response);
  if (response.Measured() && !response.AppliesTo(rate, SignalIn->BlockLength))
    AddMessage("The response calibration was made at " + std::to_string(response.Rate) +
                   " Hz; calibrate again at " + std::to_string(rate) +
                   " Hz to correct the inputs' phase.", false);
}

} // namespace dravik
