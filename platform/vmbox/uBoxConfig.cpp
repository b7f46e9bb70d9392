#include "platform/vmbox/uBoxConfig.h"

#include "platform/vmbox/uBoxCircuitsReader.h"
#include "platform/vmbox/uBoxFilterDesign.h"
#include "platform/vmbox/uBoxValueText.h"

#include <cmath>

namespace platform::vmbox {
namespace {

const std::string NamePrefix = "Virtual box: ";

std::string Join(const std::vector<std::string>& parts, const std::string& separator) {
  std::string s;
  for (const auto& p : parts) s += (s.empty() ? "" : separator) + p;
  return s;
}

std::string WithoutBlanks(std::string s) {
  std::erase(s, ' ');
  return s;
}

TBoxConfig Box(double r, double l, double c, const TCardModel& card) {
  TBoxConfig b;
  b.Circuit.R = r;
  b.Circuit.L = l;
  b.Circuit.C = c;
  b.Card = card;
  b.Name = BoxName(b.Circuit);
  return b;
}

bool InRange(double v, double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; }

// What follows the component in a name: a reference resistor other than the usual one, and how
// the jig is wired.
std::string Surroundings(const TCircuit& c, bool showLeads, bool compact) {
  const std::string rref = c.Rref == TCircuit{}.Rref ? "" : FormatValue(c.Rref, "Ohm");
  return (rref.empty() ? "" : ", Rref " + (compact ? WithoutBlanks(rref) : rref)) +
         (showLeads && c.HasLeads() ? ", leads" : "") + (c.Swapped ? ", swap" : "");
}

// A box whose Zx is a model goes by the model's label; cut to the field when `fit`.
std::string ModelBoxName(const TCircuit& c, bool fit) {
  std::string name = NamePrefix + c.Model->Label + Surroundings(c, true, false);
  if (!fit || name.size() <= MaxBoxNameLength) return name;
  name = NamePrefix + c.Model->CompactLabel + Surroundings(c, true, true);
  if (name.size() > MaxBoxNameLength) name.resize(MaxBoxNameLength);
  return name;
}

bool NamedByModel(const TCircuit& c) { return c.Model && !c.Shorted && !c.Open; }

} // namespace

std::string BoxName(const TCircuit& c) {
  if (c.Shorted) return NamePrefix + "shorted Zx";
  if (NamedByModel(c)) return ModelBoxName(c, true);
  // Capacitor first, then the resistance and the inductance, as the parts are usually named.
  std::vector<std::string> parts;
  const bool nothing = c.R <= 0 && c.L <= 0 && c.C <= 0;
  if (c.Open) parts.push_back("open");
  else if (nothing && c.HasLeads()) parts.push_back("shorted leads");
  else {
    if (c.C > 0) parts.push_back(FormatValue(c.C, "F"));
    if (c.R > 0 || nothing) parts.push_back(FormatValue(c.R, "Ohm"));
    if (c.L > 0) parts.push_back(FormatValue(c.L, "H"));
  }
  const bool showLeads = c.Open || !nothing;
  std::string name = NamePrefix + Join(parts, " + ") + Surroundings(c, showLeads, false);
  if (name.size() > MaxBoxNameLength) {
    for (auto& p : parts) p = WithoutBlanks(p);
    name = NamePrefix + Join(parts, "+") + Surroundings(c, showLeads, true);
  }
  if (name.size() > MaxBoxNameLength) name.resize(MaxBoxNameLength);
  return name;
}

std::string BoxDeviceName(const TCircuit& c) {
  if (!NamedByModel(c)) return {};
  std::string whole = ModelBoxName(c, false);
  return whole.size() > MaxBoxNameLength ? whole : std::string();
}

TBoxConfig ShortedBox(const TCardModel& card) {
  TBoxConfig b;
  b.Circuit.Shorted = true;
  b.Card = card;
  b.Name = BoxName(b.Circuit);
  return b;
}

std::vector<TBoxConfig> DefaultBoxes() {
  const TCardModel card;
  return {Box(3.3, 1e-3, 0, card), Box(0.2, 0, 10e-6, card), Box(47, 0, 0, card), ShortedBox(card)};
}

std::string ValidateBox(const TBoxConfig& box) {
  const TCircuit& c = box.Circuit;
  const TCardModel& m = box.Card;
  if (box.Name.empty() || box.Name.size() > MaxBoxNameLength)
    return "the name must have 1 to 31 characters";
  if (!InRange(c.R, 0, 1e9)) return "R must be from 0 to 1 GOhm";
  if (!InRange(c.L, 0, 1e3)) return "L must be from 0 to 1 kH";
  if (!InRange(c.C, 0, 1)) return "C must be from 0 to 1 F";
  if (!InRange(c.Rref, 1e-3, 1e9)) return "Rref must be from 1 mOhm to 1 GOhm";
  if (!InRange(c.LeadR, 0, 1e3)) return "leadR must be from 0 to 1 kOhm";
  if (!InRange(c.LeadL, 0, 1)) return "leadL must be from 0 to 1 H";
  if (!InRange(c.LeadC, 0, 1e-6)) return "leadC must be from 0 to 1 uF";
  if (c.Model) {
    const std::string fault = c.Model->Loudspeaker ? ValidateLoudspeaker(c.Model->Speaker)
                                                   : ValidateNetwork(c.Model->Network);
    if (!fault.empty()) return fault;
  }
  if (m.InputResistance != 0 && !InRange(m.InputResistance, 1, 1e12))
    return "zin must be from 1 Ohm to 1 TOhm";
  if (!InRange(m.InputCapacitance, 0, 1e-6)) return "cin must be from 0 to 1 uF";
  if (!InRange(m.OutputLevel, 0, 1)) return "the output level must be from 0 to 1";
  if (!InRange(m.SourceImpedance, 0, 1e6)) return "the source impedance must be from 0 to 1 MOhm";
  for (int ch = 0; ch < 2; ++ch) {
    if (!InRange(m.InputLevel[ch], 0, 1)) return "the input levels must be from 0 to 1";
    if (!InRange(m.DcOffset[ch], -1, 1)) return "the offsets must be from -1 to 1";
    if (!InRange(m.Gain[ch], 1e-3, 100)) return "the gains must be from 0.001 to 100";
    if (!InRange(m.HighPassHz[ch], 0, 1000))
      return "the high-pass corners must be from 0 to 1000 Hz";
    if (!InRange(m.AntiAliasEdge[ch], MinAntiAliasEdge, MaxAntiAliasEdge))
      return "the anti-alias edges must be from 0.25 to 0.48";
  }
  if (!InRange(m.NoiseRms, 0, 1)) return "the noise must be from 0 to 1";
  if (!InRange(m.LatencyFrames, 0, 1e6) || std::floor(m.LatencyFrames) != m.LatencyFrames)
    return "the latency must be a whole number of frames from 0 to 1000000";
  if (!InRange(m.ClockPpm, -1000, 1000)) return "the clock offset must be from -1000 to 1000 ppm";
  if (!InRange(m.VolumeCurve, 0.25, 4)) return "the volume curve must be from 0.25 to 4";
  return {};
}

TParseResult ParseCircuits(const std::string& text) {
  TCircuitsReader reader;
  if (TrimBlanks(text).empty()) return {DefaultBoxes(), {}};
  const std::string fault = reader.Read(text);
  if (!fault.empty()) return {{}, fault};
  if (reader.Boxes.empty()) { // card settings alone: the default jigs on that card
    reader.Boxes = DefaultBoxes();
    reader.Boxes.pop_back();
  }
  for (auto& box : reader.Boxes) box.Card = reader.Card;
  reader.Boxes.push_back(ShortedBox(reader.Card));
  return {std::move(reader.Boxes), {}};
}

} // namespace platform::vmbox
