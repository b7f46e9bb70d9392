// The one-line descriptions of mixer lines and controls that the mixer objects append to their
// reports: tags, flags, counts and the handling of name fields.

#include "dravik/mixer/uMixerLog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace dravik {
namespace {

MIXERLINEA MakeLine(const char* name, DWORD target, DWORD component, DWORD channels,
                    DWORD controls) {
  MIXERLINEA line{};
  std::strncpy(line.szName, name, sizeof line.szName);
  line.Target.dwType = target;
  line.dwComponentType = component;
  line.cChannels = channels;
  line.cControls = controls;
  return line;
}

MIXERCONTROLA MakeControl(const char* name, DWORD type, DWORD flags, DWORD items, DWORD id) {
  MIXERCONTROLA control{};
  std::strncpy(control.szName, name, sizeof control.szName);
  control.dwControlType = type;
  control.fdwControl = flags;
  control.cMultipleItems = items;
  control.dwControlID = id;
  return control;
}

TEST(MixerLog, LineText) {
  struct Case { MIXERLINEA line; const char* text; };
  const Case cases[] = {
      {MakeLine("Line In", 2, 0x1002, 2, 3), "\"Line In\": [WAVEIN] <SRC_LINE> Ch= 2 Ctrls= 3"},
      {MakeLine("Speakers", 1, 4, 2, 2), "\"Speakers\": [WAVEOUT] <DST_SPEAKERS> Ch= 2 Ctrls= 2"},
      {MakeLine("Rec", 0, 0, 1, 0), "\"Rec\": [UNDEFINED] <DST_UNDEFINED> Ch= 1 Ctrls= 0"},
      {MakeLine("Aux", 5, 0x100A, 1, 1), "\"Aux\": [AUX] <SRC_ANALOG> Ch= 1 Ctrls= 1"},
      {MakeLine("Voice", 4, 8, 1, 1), "\"Voice\": [MIDIIN] <DST_VOICEIN> Ch= 1 Ctrls= 1"},
      {MakeLine("CD", 3, 0x1000, 2, 1), "\"CD\": [MIDIOUT] <SRC_UNDEFINED> Ch= 2 Ctrls= 1"},
      // Values outside the tables leave only the blank that stands between the two tags.
      {MakeLine("Odd", 6, 9, 1, 0), "\"Odd\":   Ch= 1 Ctrls= 0"},
      {MakeLine("Odd", 0xFFFFFFFF, 0x100B, 1, 0), "\"Odd\":   Ch= 1 Ctrls= 0"},
      // Counts are unsigned 32-bit.
      {MakeLine("", 2, 7, 0xFFFFFFFF, 0x80000000),
       "\"\": [WAVEIN] <DST_WAVEIN> Ch= 4294967295 Ctrls= 2147483648"},
  };
  for (const auto& c : cases) EXPECT_EQ(LineText(c.line), c.text);
}

TEST(MixerLog, ControlText) {
  constexpr DWORD disabled = MIXERCONTROL_CONTROLF_DISABLED;
  constexpr DWORD multiple = MIXERCONTROL_CONTROLF_MULTIPLE;
  constexpr DWORD uniform = MIXERCONTROL_CONTROLF_UNIFORM;
  struct Case { MIXERCONTROLA control; const char* text; };
  const Case cases[] = {
      {MakeControl("Volume", 0x50030001, 0, 0, 7), "\"Volume\" <VOLUME> || Multi= 0 ID= 7"},
      {MakeControl("Mute", 0x20010002, uniform, 0, 1),
       "\"Mute\" <MUTE> | UNIFORM | Multi= 0 ID= 1"},
      {MakeControl("Rec", 0x70010001, uniform | multiple, 3, 12),
       "\"Rec\" <MUX> | MULTIPLE  UNIFORM | Multi= 3 ID= 12"},
      {MakeControl("All", 0x71010001, disabled | multiple | uniform, 4, 0xFFFFFFFF),
       "\"All\" <MIXER> | DISABLED  MULTIPLE  UNIFORM | Multi= 4 ID= 4294967295"},
      {MakeControl("Off", 0, disabled, 0, 0), "\"Off\" <CUSTOM> | DISABLED | Multi= 0 ID= 0"},
      {MakeControl("Meter", 0x10020001, 0, 0, 2), "\"Meter\" <PEAKMETER> || Multi= 0 ID= 2"},
      {MakeControl("Time", 0x61030000, 0, 0, 3), "\"Time\" <MILLITIME> || Multi= 0 ID= 3"},
      {MakeControl("Pick", 0x71010000, multiple, 2, 5),
       "\"Pick\" <MULTIPLESELECT> | MULTIPLE | Multi= 2 ID= 5"},
      // Unknown type: no tag; flags outside the three named ones: nothing.
      {MakeControl("X", 0x50030005, 0x4, 0, 9), "\"X\"  || Multi= 0 ID= 9"},
  };
  for (const auto& c : cases) EXPECT_EQ(ControlText(c.control), c.text);
}

// A name filled to the end of its field is taken whole, and nothing of the next field follows.
TEST(MixerLog, NameFieldsWithoutTerminator) {
  const std::string full(64, 'N');
  MIXERLINEA line = MakeLine("", 0x41414141, 0x1002, 1, 0);
  std::memcpy(line.szName, full.data(), sizeof line.szName);
  EXPECT_EQ(LineText(line), "\"" + full + "\":  <SRC_LINE> Ch= 1 Ctrls= 0");

  MIXERCONTROLA control = MakeControl("", 0x50030001, 0, 0, 1);
  std::memcpy(control.szName, full.data(), sizeof control.szName);
  control.Bounds.dwMinimum = 0x42424242;
  EXPECT_EQ(ControlText(control), "\"" + full + "\" <VOLUME> || Multi= 0 ID= 1");

  // Text after the first NUL is not part of the name.
  std::memcpy(line.szName, "Mic\0Junk", 8);
  EXPECT_EQ(LineText(line), "\"Mic\":  <SRC_LINE> Ch= 1 Ctrls= 0");
}

} // namespace
} // namespace dravik
