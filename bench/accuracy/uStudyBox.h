#pragma once
// The accuracy study's signal path: a test signal period looped through one virtual box (the
// card simulator the programs are tested on, run directly, without devices), the inputs rounded
// to 16-bit codes, and the Cramér-Rao bound of R, L and C for that signal and that noise.

#include "platform/vmbox/uBoxConfig.h"

#include <cstddef>
#include <vector>

namespace study {

using platform::vmbox::TBoxConfig;

// Interleaved (left, right) input frames in full-scale units.
using TStereo = std::vector<double>;

// Plays `period` over and over into the box at fs and returns the `frames` input frames that
// follow `settle` frames of settling (the jig's transient, the latency). With quantise the
// inputs are rounded to 16-bit codes as the card delivers them.
TStereo Record(const TBoxConfig& box, double fs, const std::vector<double>& period, size_t settle,
               size_t frames, bool quantise = true);

// Frames that let the jig settle: the latency plus ten time constants.
size_t SettleFrames(const TBoxConfig& box, double fs);

// The noise per input sample actually recorded: the rms difference between the first `frames`
// frames of a recording and of its noiseless, unrounded twin.
double MeasuredSigma(const TStereo& noisy, const TStereo& clean, size_t frames);

// The smallest standard deviation any unbiased reading of R and of L or C can have from
// `blocks` blocks of the noiseless recording `clean` (one block of n frames, interleaved) with
// white noise sigma per input sample. Only the bins that carry a tone (power above 1e-9 of
// the strongest) enter.
struct TBound {
  double R = 0;
  double X = 0; // L (henries) or C (farads), as the box's component
  int Bins = 0;
};
TBound CramerRao(const TStereo& clean, size_t n, double fs, const TBoxConfig& box, double sigma,
                 double blocks);

} // namespace study
