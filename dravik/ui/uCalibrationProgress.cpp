#include "dravik/ui/uCalibrationProgress.h"

#include <algorithm>
#include <cmath>

namespace dravik {
namespace {

// Each run's name and share of the whole calibration, after the audio it records: five blocks
// of 0.2 s, nine of about 0.5 s, and four seconds of the multi-tone.
struct TRunInfo {
  const char* Name;
  const char* Unit; // what the run counts
  double Start, Share;
};
constexpr TRunInfo Runs[] = {
    {"Offset run", "step", 0, 10},
    {"Amplitude run", "step", 10, 45},
    {"Response run", "block", 55, 45},
};

const TRunInfo& InfoOf(TCalibrationRun run) { return Runs[static_cast<int>(run)]; }

TCalibrationProgress Within(TCalibrationRun run, int done, int total) {
  const int t = std::max(total, 1);
  return {run, std::clamp(done, 0, t), t};
}

} // namespace

TCalibrationProgress OffsetProgress(int step, int steps) {
  return Within(TCalibrationRun::Offset, step, steps);
}

TCalibrationProgress AmplitudeProgress(int reference, int climbingStep, int steps) {
  // Input 1 measures steps 0 .. steps-1 against input 0, then input 0 steps 1 .. steps-1.
  const int done = reference == 0 ? climbingStep : steps + climbingStep - 1;
  return Within(TCalibrationRun::Amplitude, done, 2 * steps - 1);
}

TCalibrationProgress ResponseProgress(int blocks, int needed) {
  return Within(TCalibrationRun::Response, blocks, needed);
}

std::string ProgressText(const TCalibrationProgress& progress) {
  const TRunInfo& run = InfoOf(progress.Run);
  // A step run names the step being measured, the response run the blocks already added.
  const int shown = progress.Run == TCalibrationRun::Response
                        ? progress.Done
                        : std::min(progress.Done + 1, progress.Total);
  return std::string(run.Name) + ": " + run.Unit + " " + std::to_string(shown) + " of " +
         std::to_string(progress.Total);
}

int ProgressPercent(const TCalibrationProgress& progress) {
  const TRunInfo& run = InfoOf(progress.Run);
  const double fraction = static_cast<double>(progress.Done) / std::max(progress.Total, 1);
  return static_cast<int>(std::lround(run.Start + run.Share * std::clamp(fraction, 0.0, 1.0)));
}

} // namespace dravik
