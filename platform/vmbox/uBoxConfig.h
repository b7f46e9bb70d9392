#pragma once
// What a virtual measuring box is made of: the jig's circuit and the simulated sound card
// behind it, the set of boxes offered by default, their names, and the VMBOX_CIRCUITS text
// that replaces the defaults.

#include "platform/vmbox/uBoxCircuit.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::vmbox {

// A control of each box's mixer whose writes through the mixer API the card refuses, as a
// sound card's driver may: a fault to test the programs' handling of refused writes with.
enum class TRefusedControl {
  None, MasterVolume, MasterMute, WaveVolume, WaveMute, RecordingVolume, RecordingSource, LineVolume
};

// The card's imperfections, shared by every box of one card. The defaults resemble a real
// 16-bit card. Levels are mixer gains 0..1.
struct TCardModel {
  double OutputLevel = 1.0;                // mixer gain of the output
  double InputLevel[2] = {1.0, 1.0};       // mixer gains of the inputs
  double SourceImpedance = 2.2;            // ohms, the card output's impedance
  double DcOffset[2] = {0.0012, -0.0008};  // full-scale units added by each input's converter
  double Gain[2] = {1.0, 0.985};           // per input channel, slightly different
  double HighPassHz[2] = {3.2, 3.6};       // AC coupling corner per channel (0 = DC coupled)
  double AntiAliasEdge[2] = {0.455, 0.45}; // roll-off start as a fraction of fs (0 by 0.5 fs)
  double NoiseRms = 3e-5;                  // full-scale units, per input channel
  bool NoiseOn = true;
  double LatencyFrames = 1024; // input behind output; at least the converter delay
  double ClockPpm = 0;         // output clock relative to the input clock
  uint32_t Seed = 1;           // noise is repeatable
  bool Matched = false;        // both inputs as channel 0: gain, response; no offset
  // The mixer's volume curve: a volume value v acts as the gain (v / 65535)^VolumeCurve. 1 is
  // linear in amplitude; 3 is cubic, like a sound server's volume reached through raw steps,
  // so that a volume of half scale gives an eighth of the amplitude.
  double VolumeCurve = 1;
  // Each input's impedance to ground at the node it records (0: none, as an ideal input).
  double InputResistance = 0;  // ohms
  double InputCapacitance = 0; // farads
  TRefusedControl RefusedControl = TRefusedControl::None;

  TInputLoad InputLoad() const { return {InputResistance, InputCapacitance}; }
};

struct TBoxConfig {
  std::string Name;
  TCircuit Circuit;
  TCardModel Card;
  // The name that the box's devices and mixer go by, when it is not Name: it may run past the
  // 31 characters of a capabilities field, as a real card's names do, so that a box can show
  // how the programs list such a device. Empty: Name.
  std::string DeviceName;

  const std::string& DevicesName() const { return DeviceName.empty() ? Name : DeviceName; }
};

// Longest box name, in characters (a device name field holds 31 and its terminator).
constexpr size_t MaxBoxNameLength = 31;

// "Virtual box: 3.3 Ohm + 1 mH" style names, at most MaxBoxNameLength characters. A box with a
// Zx model goes by its label: "Virtual box: (3.3Ohm+1mH)|100pF", cut to fit where it must.
std::string BoxName(const TCircuit& c);
// The whole name of a box with a Zx model when BoxName had to cut it
// ("Virtual box: loudspeaker Re=6.2 Ohm fs=45 Hz Qts=0.42", for TBoxConfig::DeviceName); else
// empty.
std::string BoxDeviceName(const TCircuit& c);

// The default boxes: component boxes first, "Virtual box: shorted Zx" last.
std::vector<TBoxConfig> DefaultBoxes();

// The shorted box (the calibration position of the jig's switch) for a card.
TBoxConfig ShortedBox(const TCardModel& card);

// Checks a hand-made configuration; empty when usable, else what is wrong.
std::string ValidateBox(const TBoxConfig& box);

// Parses VMBOX_CIRCUITS: circuits separated by ";", each a list of name=value separated by ","
// (keys and values: uBoxCircuitsReader.h).
// On any malformed entry Error says what and where, and Boxes is empty (the caller then reports
// it and uses DefaultBoxes()). The shorted box is appended after the parsed ones.
struct TParseResult {
  std::vector<TBoxConfig> Boxes;
  std::string Error;
};
TParseResult ParseCircuits(const std::string& text);

} // namespace platform::vmbox
