#pragma once
// Whether a calibration hears what it must: on the shorted jig both inputs record the same
// voltage, so the level check's tone must be heard cleanly on both and at about the same level,
// and the ratio of the two inputs must look like a card's (a gain mismatch of a dB or two, a
// phase difference that only the coupling corners and the anti-alias filters give). What fails
// here is a jig that is not shorted, an input on another device, or a cable that is loose; the
// texts say so and what to do.

#include <array>
#include <string>
#include <vector>

#include "platform/calibration_place.h"
#include "sorvane/analysis/uCalibrationFit.h"
#include "sorvane/numeric/uCom.h"

namespace sorvane {

// A working card's tone, even through a cheap converter, stands 40 dB or more above its
// harmonics; an input that hears only noise gives about -10 to -20 dB.
constexpr double MinToneQuality = 20;
// The two inputs of a card differ in gain by less than platform::LargestInputMismatch, and in
// phase, between 200 Hz and a quarter of the rate, by a few tens of milliradians at
// most (coupling corners of 1 and 10 Hz give 45 mrad at 200 Hz).
constexpr double LargestInputPhase = 0.1;
constexpr double AgreementLoHz = 200;

extern const char* const NoToneText;
extern const char* const InputsDifferText;

// The level check's verdict on one block: "" when both inputs hear the tone cleanly (quality
// at least MinToneQuality) and at levels within LargestInputMismatch of each other, otherwise
// the sentence that says what is wrong.
std::string LevelCheckFault(const std::array<bool, 2>& heard, const std::array<double, 2>& quality,
                            const std::array<TComplexD, 2>& tone);

// Whether the ratio of the inputs (bins lo .. hi of `ratio`) is one that a card's inputs give:
// the median gain within LargestInputMismatch of 1 and the median phase within
// LargestInputPhase. Medians, so that the noise of a few bins does not refuse a good jig.
bool InputsAgree(const std::vector<TComplexD>& ratio, int lo, int hi);

// Whether a stored calibration (polynomials and coupling corners, see uCalibrationFit.h) is one
// that a card's inputs give, judged as InputsAgree judges a measured ratio, from AgreementLoHz
// to 12 kHz (a quarter of the lowest rate). A curve far from 1 there (a coefficient set to 0 by
// hand reads every impedance as kilohms) is no card's.
bool CalibrationLooksLikeACard(const TCalibrationPolys& poly, const TCouplingCorners& corners);

} // namespace sorvane
