#include "platform/vmbox/uBoxCircuitsReader.h"

#include "platform/vmbox/uBoxFilterDesign.h"
#include "platform/vmbox/uBoxNetworkParser.h"
#include "platform/vmbox/uBoxValueText.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

namespace platform::vmbox {
namespace {

// One settable quantity of the VMBOX_CIRCUITS text.
struct TKey {
  std::string_view Name; // lower case; keys are compared without regard to case
  bool OfBox;            // a jig's own value, else the card's (shared by every box)
  std::string_view Unit;
  double Lo, Hi;
  bool Whole;
  std::string_view Range; // the allowed values, for the message
  void (*Set)(TBoxDraft&, TCardModel&, double);
};

#define BOX(assignment) [](TBoxDraft& d, TCardModel&, double v) { d.Box.Circuit.assignment = v; }
#define SPEAKER(field) [](TBoxDraft& d, TCardModel&, double v) { d.Speaker.field = v; }
#define CARD(assignment) [](TBoxDraft&, TCardModel& m, double v) { m.assignment = v; }
#define BOTH(field) [](TBoxDraft&, TCardModel& m, double v) { m.field[0] = m.field[1] = v; }

const TKey Keys[] = {
    {"r", true, "Ohm", 0, 1e9, false, "from 0 to 1 GOhm", BOX(R)},
    {"l", true, "H", 0, 1e3, false, "from 0 to 1 kH", BOX(L)},
    {"c", true, "F", 0, 1, false, "from 0 to 1 F", BOX(C)},
    {"rref", true, "Ohm", 1e-3, 1e9, false, "from 1 mOhm to 1 GOhm", BOX(Rref)},
    {"source", false, "Ohm", 0, 1e6, false, "from 0 to 1 MOhm", CARD(SourceImpedance)},
    {"level", false, "", 0, 1, false, "from 0 to 1", CARD(OutputLevel)},
    {"inlevel", false, "", 0, 1, false, "from 0 to 1", BOTH(InputLevel)},
    {"inlevel0", false, "", 0, 1, false, "from 0 to 1", CARD(InputLevel[0])},
    {"inlevel1", false, "", 0, 1, false, "from 0 to 1", CARD(InputLevel[1])},
    {"offset", false, "", -1, 1, false, "from -1 to 1", BOTH(DcOffset)},
    {"offset0", false, "", -1, 1, false, "from -1 to 1", CARD(DcOffset[0])},
    {"offset1", false, "", -1, 1, false, "from -1 to 1", CARD(DcOffset[1])},
    {"gain", false, "", 1e-3, 100, false, "from 0.001 to 100", BOTH(Gain)},
    {"gain0", false, "", 1e-3, 100, false, "from 0.001 to 100", CARD(Gain[0])},
    {"gain1", false, "", 1e-3, 100, false, "from 0.001 to 100", CARD(Gain[1])},
    {"hp", false, "Hz", 0, 1000, false, "from 0 to 1000 Hz", BOTH(HighPassHz)},
    {"hp0", false, "Hz", 0, 1000, false, "from 0 to 1000 Hz", CARD(HighPassHz[0])},
    {"hp1", false, "Hz", 0, 1000, false, "from 0 to 1000 Hz", CARD(HighPassHz[1])},
    {"aa", false, "", MinAntiAliasEdge, MaxAntiAliasEdge, false, "from 0.25 to 0.48",
     BOTH(AntiAliasEdge)},
    {"aa0", false, "", MinAntiAliasEdge, MaxAntiAliasEdge, false, "from 0.25 to 0.48",
     CARD(AntiAliasEdge[0])},
    {"aa1", false, "", MinAntiAliasEdge, MaxAntiAliasEdge, false, "from 0.25 to 0.48",
     CARD(AntiAliasEdge[1])},
    {"noise", false, "", 0, 1, false, "off, on or from 0 to 1",
     [](TBoxDraft&, TCardModel& m, double v) {
       m.NoiseRms = v;
       m.NoiseOn = v > 0;
     }},
    {"latency", false, "", 0, 1e6, true, "a whole number of frames from 0 to 1000000",
     CARD(LatencyFrames)},
    {"ppm", false, "ppm", -1000, 1000, false, "from -1000 to 1000", CARD(ClockPpm)},
    {"seed", false, "", 0, 4294967295.0, true, "a whole number from 0 to 4294967295",
     [](TBoxDraft&, TCardModel& m, double v) { m.Seed = uint32_t(v); }},
    {"volume", false, "", 0.25, 4, false, "linear, cubic or from 0.25 to 4",
     CARD(VolumeCurve)},
    {"matched", false, "", 0, 1, true, "on or off",
     [](TBoxDraft&, TCardModel& m, double v) { m.Matched = v != 0; }},
    {"swap", true, "", 0, 1, true, "on or off",
     [](TBoxDraft& d, TCardModel&, double v) { d.Box.Circuit.Swapped = v != 0; }},
    {"open", true, "", 0, 1, true, "on or off",
     [](TBoxDraft& d, TCardModel&, double v) { d.Box.Circuit.Open = v != 0; }},
    {"leadr", true, "Ohm", 0, 1e3, false, "from 0 to 1 kOhm", BOX(LeadR)},
    {"leadl", true, "H", 0, 1, false, "from 0 to 1 H", BOX(LeadL)},
    {"leadc", true, "F", 0, 1e-6, false, "from 0 to 1 uF", BOX(LeadC)},
    {"zin", false, "Ohm", 1, 1e12, false, "from 1 Ohm to 1 TOhm", CARD(InputResistance)},
    {"cin", false, "F", 0, 1e-6, false, "from 0 to 1 uF", CARD(InputCapacitance)},
    {"refuse", false, "", 0, 7, true,
     "none, master, mastermute, wave, wavemute, recording, source or line",
     [](TBoxDraft&, TCardModel& m, double v) { m.RefusedControl = TRefusedControl(int(v)); }},
    {"re", true, "Ohm", 1e-2, 1e3, false, "from 10 mOhm to 1 kOhm", SPEAKER(Re)},
    {"le", true, "H", 0, 1, false, "from 0 to 1 H", SPEAKER(Le)},
    {"fs", true, "Hz", 1, 2e4, false, "from 1 Hz to 20 kHz", SPEAKER(Fs)},
    {"qms", true, "", 1e-2, 100, false, "from 0.01 to 100", SPEAKER(Qms)},
    {"qes", true, "", 1e-2, 100, false, "from 0.01 to 100", SPEAKER(Qes)},
    {"rl", true, "Ohm", 0, 1e6, false, "from 0 to 1 MOhm", SPEAKER(Rl)},
    {"ll", true, "H", 0, 1, false, "from 0 to 1 H", SPEAKER(Ll)},
};

// The words of the "refuse" key, in the order of TRefusedControl.
constexpr std::string_view RefusedWords[] = {"none",     "master",    "mastermute", "wave",
                                             "wavemute", "recording", "source",     "line"};

// The loudspeaker's keys as written in the messages; the first four are needed.
const std::string_view SpeakerKeys[] = {"Re", "fs", "Qms", "Qes", "Le", "Rl", "Ll"};
constexpr size_t NeededSpeakerKeys = 4;

#undef BOX
#undef SPEAKER
#undef CARD
#undef BOTH

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& ch : r) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  return r;
}

std::vector<std::string_view> Split(std::string_view s, char separator) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t end = s.find(separator, start);
    parts.push_back(
        s.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// Words for the switches; numbers for the rest.
std::optional<double> KeyValue(const TKey& key, std::string_view text) {
  const std::string word = Lower(text);
  if (key.Name == "noise" || key.Name == "matched" || key.Name == "swap" || key.Name == "open") {
    if (word == "off" || word == "no" || word == "false") return 0.0;
    if (word == "on" || word == "yes" || word == "true")
      return key.Name == "noise" ? TCardModel{}.NoiseRms : 1.0;
  }
  if (key.Name == "refuse") { // words only: an unknown one falls outside the range
    const auto* at = std::find(std::begin(RefusedWords), std::end(RefusedWords), word);
    return at == std::end(RefusedWords) ? -1.0 : double(at - std::begin(RefusedWords));
  }
  if (key.Name == "volume") {
    if (word == "linear") return 1.0;
    if (word == "cubic") return 3.0;
  }
  return ParseValue(text, key.Unit);
}

} // namespace

std::string TCircuitsReader::Read(std::string_view text) {
  const auto items = Split(text, ';');
  for (size_t i = 0; i < items.size(); ++i) {
    const std::string where = "circuit " + std::to_string(i + 1);
    const std::string_view item = TrimBlanks(items[i]);
    if (item.empty()) return where + " is empty";
    const std::string quoted = where + " (\"" + std::string(item) + "\"): ";
    TBoxDraft draft;
    std::set<std::string> given;
    bool isBox = false;
    for (const std::string_view entry : Split(item, ',')) {
      const std::string fault = Entry(TrimBlanks(entry), draft, given, isBox);
      if (!fault.empty()) return quoted + fault;
    }
    if (!isBox) continue; // card settings only
    const std::string fault = Complete(draft, given);
    if (!fault.empty()) return quoted + fault;
    Boxes.push_back(std::move(draft.Box));
  }
  return {};
}

// What the jig holds: R, L and C, a loudspeaker, a network, or nothing (open); one of them.
std::string TCircuitsReader::Complete(TBoxDraft& draft, const std::set<std::string>& given) {
  TCircuit& c = draft.Box.Circuit;
  const bool component = given.count("r") || given.count("l") || given.count("c");
  const bool speaker = std::any_of(std::begin(SpeakerKeys), std::end(SpeakerKeys),
                                   [&](std::string_view k) { return given.count(Lower(k)); });
  const bool network = given.count("z") > 0;
  if (c.Open && component) return "an open jig has no R, L or C";
  if (c.Open && (speaker || network)) return "an open jig has no loudspeaker or z";
  if (int(component) + int(speaker) + int(network) > 1)
    return "R, L and C, a loudspeaker and z exclude each other: give one of them";
  if (!c.Open && !component && !speaker && !network) return "no R, L or C given";
  if (speaker) {
    const std::string fault = SpeakerFault(given);
    if (!fault.empty()) return fault;
    c.Model = LoudspeakerModel(draft.Speaker);
  }
  if (network) c.Model = NetworkModel(std::move(draft.Network));
  if (draft.Box.Name.empty()) {
    draft.Box.Name = BoxName(c);
    draft.Box.DeviceName = BoxDeviceName(c);
  }
  return {};
}

std::string TCircuitsReader::SpeakerFault(const std::set<std::string>& given) {
  std::string missing;
  for (size_t i = 0; i < NeededSpeakerKeys; ++i)
    if (!given.count(Lower(SpeakerKeys[i])))
      missing += (missing.empty() ? "" : ", ") + std::string(SpeakerKeys[i]);
  if (!missing.empty()) return "a loudspeaker needs Re, fs, Qms and Qes; missing: " + missing;
  if (given.count("rl") != given.count("ll")) return "a lossy voice coil needs both Rl and Ll";
  return {};
}

std::string TCircuitsReader::Entry(std::string_view entry, TBoxDraft& draft,
                                   std::set<std::string>& given, bool& isBox) {
  if (entry.empty()) return "empty entry";
  const size_t eq = entry.find('=');
  if (eq == std::string_view::npos) return "\"" + std::string(entry) + "\" is not name=value";
  const std::string written(TrimBlanks(entry.substr(0, eq)));
  const std::string name = Lower(written);
  const std::string_view value = TrimBlanks(entry.substr(eq + 1));
  if (name.empty()) return "a name is missing before \"=\"";
  if (value.empty()) return "\"" + written + "\" has no value";
  if (!given.insert(name).second) return "\"" + written + "\" is given twice";
  if (name == "name") {
    if (value.size() > MaxBoxNameLength) return "the name is longer than 31 characters";
    draft.Box.Name = std::string(value);
    isBox = true;
    return {};
  }
  if (name == "z") {
    TNetworkParse parsed = ParseNetwork(value);
    if (!parsed.Error.empty()) return "\"" + std::string(entry) + "\": " + parsed.Error;
    draft.Network = std::move(parsed.Network);
    isBox = true;
    return {};
  }
  for (const TKey& key : Keys) {
    if (key.Name != name) continue;
    const auto v = KeyValue(key, value);
    const std::string shown = "\"" + std::string(entry) + "\"";
    if (!v) return shown + ": not a number";
    if (!(*v >= key.Lo && *v <= key.Hi) || (key.Whole && std::floor(*v) != *v))
      return shown + ": " + written + " must be " + std::string(key.Range);
    if (!key.OfBox) {
      const auto [it, fresh] = CardValues.emplace(name, *v);
      if (!fresh && it->second != *v)
        return shown + ": the card's \"" + written + "\" was given another value before";
    }
    key.Set(draft, Card, *v);
    isBox = isBox || key.OfBox;
    return {};
  }
  return "unknown key \"" + written + "\"";
}

} // namespace platform::vmbox
