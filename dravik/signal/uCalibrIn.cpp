#include "dravik/signal/uCalibrIn.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "platform/inifile.h"

namespace dravik {
namespace {

constexpr const char* Section = "Calibration";
constexpr int32_t LowestNonZeroStep = 30;

// Step s of an uncalibrated channel: no offset, the nominal attenuation 2^s undone.
TAttStep NominalStep(int32_t s) { return {0.0L, std::ldexp(1.0L, s)}; }

TChannelCal NominalChannel() {
  TChannelCal channel;
  for (int32_t s = 0; s < DefaultAttenuationSteps; ++s) channel.Steps.push_back(NominalStep(s));
  return channel;
}

// Mean of the samples, summed in extended precision; 0 for an empty channel.
long double Mean(const TDataVector& samples) {
  if (samples.empty()) return 0;
  long double sum = 0;
  for (const long double x : samples) sum += x;
  return sum / static_cast<long double>(samples.size());
}

// Removes the channel's mean in place and returns the distance between the mean of the values
// above zero and the mean of the rest: for a square-like wave, the distance between its two
// levels. 0 when either side is empty (no alternating signal).
long double CenteredAmplitude(TDataVector& samples) {
  const long double mean = Mean(samples);
  long double positive = 0, negative = 0;
  size_t positives = 0, negatives = 0;
  for (long double& x : samples) {
    x -= mean;
    if (x > 0) {
      positive += x;
      ++positives;
    } else {
      negative += x;
      ++negatives;
    }
  }
  if (positives == 0 || negatives == 0) return 0;
  return positive / static_cast<long double>(positives) -
         negative / static_cast<long double>(negatives);
}

std::string StepKey(const char* name, size_t channel, size_t step) {
  return name + std::to_string(channel) + std::to_string(step);
}

// Leaves `value` as it is when the key is missing or not a number.
void ReadReal(const platform::TIniFile& file, const std::string& key, long double& value) {
  const double read = file.ReadFloat(Section, key, std::numeric_limits<double>::quiet_NaN());
  if (!std::isnan(read)) value = read;
}

bool StoredCountIsUsable(int32_t count) { return count >= 1 && count <= MaxStoredCount; }

} // namespace

double AttenuationLevel(int32_t Step) {
  if (Step <= 0) return 1.0;
  if (Step >= SilentStep) return 0.0;
  return std::ldexp(1.0, -std::min(Step, LowestNonZeroStep));
}

int32_t AttenuationStep(double Level) {
  if (!(Level > 0)) return SilentStep; // 0, and anything a mixer would clamp to 0
  // nearbyint rounds to nearest with ties to even in the default rounding mode; a double
  // level keeps the result within +-1075.
  return static_cast<int32_t>(std::nearbyint(std::log2(1.0 / Level)));
}

TCalibrIn::TCalibrIn() { SetChannelCount(DefaultCalibrationChannels); }

void TCalibrIn::SetChannelCount(int32_t Count) {
  const size_t n = static_cast<size_t>(std::max(Count, 0));
  const size_t old = ChannelCal.size();
  if (n <= old) {
    ChannelCal.resize(n);
  } else if (old == 0) {
    ChannelCal.assign(n, NominalChannel());
  } else {
    ChannelCal.resize(n, ChannelCal.back());
  }
}

int32_t TCalibrIn::GetChannelCount() const { return static_cast<int32_t>(ChannelCal.size()); }

void TCalibrIn::SetStepCount(int32_t Count) {
  if (ChannelCal.empty()) return;
  const int32_t n = std::max(Count, 0);
  if (n == GetStepCount()) return;
  for (TChannelCal& channel : ChannelCal) {
    const auto old = static_cast<int32_t>(channel.Steps.size());
    channel.Steps.resize(static_cast<size_t>(n));
    if (channel.AttIndex >= n) channel.AttIndex = n - 1;
    for (int32_t s = old; s < n; ++s) channel.Steps[static_cast<size_t>(s)] = NominalStep(s);
  }
}

int32_t TCalibrIn::GetStepCount() const {
  return ChannelCal.empty() ? 0 : static_cast<int32_t>(ChannelCal[0].Steps.size());
}

void TCalibrIn::SetAttIndex(int32_t Channel, int32_t Step) {
  if (Channel >= 0 && Channel < GetChannelCount()) ChannelCal[static_cast<size_t>(Channel)].AttIndex = Step;
}

int32_t TCalibrIn::GetAttIndex(int32_t Channel) const {
  if (Channel < 0 || Channel >= GetChannelCount()) return 0;
  return ChannelCal[static_cast<size_t>(Channel)].AttIndex;
}

size_t TCalibrIn::CalibratedChannels(const TDataMatrix& Block) const {
  return std::min(ChannelCal.size(), Block.size());
}

TAttStep* TCalibrIn::CurrentStep(size_t Channel) {
  TChannelCal& channel = ChannelCal[Channel];
  if (channel.AttIndex < 0 || static_cast<size_t>(channel.AttIndex) >= channel.Steps.size())
    return nullptr;
  return &channel.Steps[static_cast<size_t>(channel.AttIndex)];
}

bool TCalibrIn::Process(TDataMatrix& Block) {
  const size_t channels = CalibratedChannels(Block);
  for (size_t c = 0; c < channels; ++c) {
    // A channel whose step lies outside the table has no calibration to apply.
    const TAttStep* step = CurrentStep(c);
    if (!step) continue;
    for (long double& x : Block[c]) x = (x - step->OffSet) * step->AttVal;
  }
  return TSignalProcessing::Process(Block);
}

bool TCalibrIn::OffsetBlock(TDataMatrix& Block) {
  if (OnBlock) OnBlock(Block);
  const size_t channels = CalibratedChannels(Block);
  for (size_t c = 0; c < channels; ++c) {
    TAttStep* step = CurrentStep(c);
    if (step && !Block[c].empty()) step->OffSet = Mean(Block[c]);
  }
  return true;
}

void TCalibrIn::BeginCalibration() {
  KeptTable = ChannelCal;
  SetStepCount(DefaultAttenuationSteps);
}

bool TCalibrIn::PutBackKeptTable() {
  if (KeptTable.empty()) return false;
  ChannelCal = KeptTable;
  return true;
}

// A channel without alternating signal ends the block. Without the reference nothing can be
// measured; a silent channel at a higher step takes that step and those above it out of the
// table; a silent channel at its first step would leave no table at all, so the table is kept
// and the run is ended instead.
bool TCalibrIn::NoSignal(size_t Channel) {
  const int32_t step = ChannelCal[Channel].AttIndex;
  if (static_cast<int32_t>(Channel) != RefChannel && step > 0) {
    SetStepCount(step);
    return true;
  }
  if (static_cast<int32_t>(Channel) != RefChannel) return Refuse(Channel);
  AmplitudeRunFailed = true;
  LogError("No signal on amplitude calibration.");
  return true;
}

bool TCalibrIn::Refuse(size_t Channel) {
  AmplitudeRunStopped = AmplitudeRunFailed = true;
  LogError("No signal on amplitude calibration.");
  LogError("No signal on channel " + std::to_string(Channel) +
           ": the calibration in force is kept.");
  return true;
}

bool TCalibrIn::FirstBlockRefused(const std::vector<long double>& Amplitudes) {
  if (RefChannel != 0 || Amplitudes.size() < 2) return false;
  for (size_t c = 0; c < Amplitudes.size(); ++c)
    if (GetAttIndex(static_cast<int32_t>(c)) != 0) return false;
  if (Amplitudes[0] < HeardAmplitude) {
    AmplitudeRunStopped = AmplitudeRunFailed = true;
    LogError("No signal on amplitude calibration.");
    LogError("The inputs hear nothing of the output: pick the same box or card as output and "
             "input, check the cable and turn the output up. The calibration in force is kept.");
    return true;
  }
  const long double ratio = Amplitudes[0] / Amplitudes[1];
  constexpr long double Mismatch = platform::LargestInputMismatch;
  if (ratio <= Mismatch && ratio >= 1 / Mismatch) return false;
  AmplitudeRunStopped = AmplitudeRunFailed = true;
  char factor[32];
  std::snprintf(factor, sizeof factor, "%.2f", static_cast<double>(ratio));
  LogError("Amplitude calibration refused: the two inputs differ by a factor of " +
           std::string(factor) + ", more than a sound card could. Short the terminals and pick "
           "the same box or card as output and input; the calibration in force is kept.");
  return true;
}

// A factor far above nominal is the channel's own noise; far below, the reference's.
int32_t TCalibrIn::ChannelWithoutSignal(size_t Channel, long double Factor) const {
  const long double nominal = std::ldexp(1.0L, ChannelCal[Channel].AttIndex);
  if (Factor > nominal * FactorTolerance) return static_cast<int32_t>(Channel);
  if (Factor < nominal / FactorTolerance) return RefChannel;
  return -1;
}

bool TCalibrIn::AmplitudeBlock(TDataMatrix& Block) {
  if (OnBlock) OnBlock(Block);
  const size_t channels = CalibratedChannels(Block);
  std::vector<long double> amplitudes(channels);
  for (size_t c = 0; c < channels; ++c) {
    amplitudes[c] = CenteredAmplitude(Block[c]);
    if (amplitudes[c] <= 0 && CurrentStep(c)) return NoSignal(c);
  }
  // The factors are written only once every channel has shown its signal, so a block that
  // fails leaves all factors of its steps as they were.
  long double ref = 1;
  const auto refChannel = static_cast<size_t>(RefChannel);
  if (RefChannel >= 0 && refChannel < channels && CurrentStep(refChannel))
    ref = CurrentStep(refChannel)->AttVal * amplitudes[refChannel];
  for (size_t c = 0; c < channels; ++c) {
    if (c == refChannel || !CurrentStep(c)) continue;
    const int32_t silent = ChannelWithoutSignal(c, ref / amplitudes[c]);
    if (silent < 0) continue;
    return silent == static_cast<int32_t>(c) ? NoSignal(c) : Refuse(refChannel);
  }
  if (FirstBlockRefused(amplitudes)) return true;
  for (size_t c = 0; c < channels; ++c) {
    TAttStep* step = CurrentStep(c);
    if (c != refChannel && step) step->AttVal = ref / amplitudes[c];
  }
  return true;
}

namespace {

// The response: its rate and block length ("ResponseRate" 0 when none was measured), then per
// analysis point i the ratio ("ResponseRe" i, "ResponseIm" i) and its variance ("ResponseVar" i).
void SaveResponse(platform::TIniFile& File, const TInputResponse& Response) {
  File.WriteInteger(Section, "ResponseRate", static_cast<int32_t>(Response.Rate));
  File.WriteInteger(Section, "ResponseFrames", static_cast<int32_t>(Response.Frames));
  if (!Response.Measured()) return;
  for (size_t i = 0; i < Response.Points.size(); ++i) {
    const TResponsePoint& p = Response.Points[i];
    File.WriteFloat(Section, "ResponseRe" + std::to_string(i), static_cast<double>(p.Ratio.Re));
    File.WriteFloat(Section, "ResponseIm" + std::to_string(i), static_cast<double>(p.Ratio.Im));
    File.WriteFloat(Section, "ResponseVar" + std::to_string(i), static_cast<double>(p.Variance));
  }
}

TInputResponse LoadResponse(const platform::TIniFile& File) {
  TInputResponse response;
  const int32_t rate = File.ReadInteger(Section, "ResponseRate", 0);
  const int32_t frames = File.ReadInteger(Section, "ResponseFrames", 0);
  if (rate <= 0 || frames < static_cast<int32_t>(2 * AnalysisBin(AnalysisPointCount - 1)) ||
      !std::has_single_bit(static_cast<uint32_t>(frames)))
    return {};
  response.Rate = static_cast<uint32_t>(rate);
  response.Frames = static_cast<uint32_t>(frames);
  const long double missing = std::numeric_limits<long double>::quiet_NaN();
  for (size_t i = 0; i < response.Points.size(); ++i) {
    TResponsePoint& p = response.Points[i];
    p.Ratio.Re = p.Ratio.Im = p.Variance = missing;
    ReadReal(File, "ResponseRe" + std::to_string(i), p.Ratio.Re);
    ReadReal(File, "ResponseIm" + std::to_string(i), p.Ratio.Im);
    ReadReal(File, "ResponseVar" + std::to_string(i), p.Variance);
  }
  return response.IsPlausible() ? response : TInputResponse{};
}

} // namespace

void TCalibrIn::SaveToIni(platform::TIniFile& File) const {
  File.WriteInteger(Section, "Channels", GetChannelCount());
  File.WriteInteger(Section, "AttNumber", GetStepCount());
  for (size_t c = 0; c < ChannelCal.size(); ++c) {
    const auto& steps = ChannelCal[c].Steps;
    for (size_t s = 0; s < steps.size(); ++s) {
      File.WriteFloat(Section, StepKey("OffSet", c, s), static_cast<double>(steps[s].OffSet));
      File.WriteFloat(Section, StepKey("AttVal", c, s), static_cast<double>(steps[s].AttVal));
    }
  }
  SaveResponse(File, Response);
  platform::SaveCalibrationPlace(File, Section, Place);
}

void TCalibrIn::LoadFromIni(const platform::TIniFile& File) {
  // Two input channels are what the program measures with; another count counts as missing.
  const int32_t channels = File.ReadInteger(Section, "Channels", GetChannelCount());
  if (channels == DefaultCalibrationChannels) SetChannelCount(channels);
  const int32_t steps = File.ReadInteger(Section, "AttNumber", GetStepCount());
  if (StoredCountIsUsable(steps)) SetStepCount(steps);
  for (size_t c = 0; c < ChannelCal.size(); ++c) {
    ChannelCal[c].AttIndex = 0;
    auto& table = ChannelCal[c].Steps;
    for (size_t s = 0; s < table.size(); ++s) {
      ReadReal(File, StepKey("OffSet", c, s), table[s].OffSet);
      ReadReal(File, StepKey("AttVal", c, s), table[s].AttVal);
    }
  }
  Response = LoadResponse(File);
  Place = platform::LoadCalibrationPlace(File, Section);
}

} // namespace dravik
