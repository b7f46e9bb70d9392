#pragma once
// How far a calibration has come: which of its three runs is going (offset, amplitude,
// response), the step or block within it, and a share of the whole calibration that grows with
// the audio time each run takes. Plain values, no widgets: the window shows them.

#include <string>

namespace dravik {

enum class TCalibrationRun { Offset, Amplitude, Response };

struct TCalibrationProgress {
  TCalibrationRun Run = TCalibrationRun::Offset;
  int Done = 0;  // steps (or blocks) of the run already measured
  int Total = 1; // steps (or blocks) the run measures
};

// The offset run measures one block per attenuator step; `step` is the one being measured.
TCalibrationProgress OffsetProgress(int step, int steps);
// The amplitude run climbs the steps twice: with input 0 as the reference (input 1 climbs from
// step 0) and then with input 1 as the reference (input 0 climbs from step 1).
TCalibrationProgress AmplitudeProgress(int reference, int climbingStep, int steps);
// The response run adds blocks until it has the ones it needs.
TCalibrationProgress ResponseProgress(int blocks, int needed);

// "Offset run: step 2 of 5", "Amplitude run: step 6 of 9", "Response run: block 12 of 94".
std::string ProgressText(const TCalibrationProgress& progress);
// 0 .. 100 over the whole calibration.
int ProgressPercent(const TCalibrationProgress& progress);

} // namespace dravik
