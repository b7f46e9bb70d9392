// Choosing devices: the one a settings file names by position and name, the sentence for one
// that is gone, and the input that goes with an output (by name, then by card).

#include "platform/device_choice.h"
#include "platform/mmsystem.h"
#include "platform/vmbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using platform::TDeviceNames;
namespace vmbox = platform::vmbox;

const std::string LongA = "Jig on a sound card with a long name (hw:1,0)";
const std::string LongB = "Jig on a sound card with a long name (hw:1,1)";
const std::string Cut = LongA.substr(0, MAXPNAMELEN - 1); // as the capabilities hold both

// Where the name finds its device is the setup frames' tests' matter; here: when is a stored
// device gone?
TEST(DeviceChoice, AStoredDeviceIsGoneWhenNoEntryHasItsName) {
  const std::vector<std::string> names = {"Box A", LongA, LongB, "Box D"}; // alike when cut
  const struct {
    const char* What;
    int Position;
    std::string Name;
    int Entry;
    bool Gone;
  } cases[] = {
      {"no name, the position beyond the list", 4, "", -1, false},
      {"the device has moved", 0, "Box D", 3, false},
      {"a cut name that two share: found, the position decides", 3, Cut, 3, false},
      {"a name no device has: the position", 1, "Box E", 1, true},
      {"a name no device has, the position beyond the list", 7, "Box E", -1, true},
      {"the start of a short name is another name", 0, "Box", 0, true},
  };
  for (const auto& c : cases) {
    const platform::TStoredDevice stored = platform::StoredDevice(names, c.Position, c.Name);
    EXPECT_EQ(stored.Entry, c.Entry) << c.What;
    EXPECT_EQ(stored.Gone, c.Gone) << c.What;
    EXPECT_EQ(stored.Name, c.Name) << c.What;
  }
}

TEST(DeviceChoice, AGoneDeviceIsSaidSoInOneSentence) {
  EXPECT_EQ(platform::DeviceNotConnected("input", "USB card", "Virtual box: 47 Ohm"),
            "The input device \"USB card\" stored in the settings is not connected; using "
            "\"Virtual box: 47 Ohm\".");
  EXPECT_EQ(platform::DeviceNotConnected("output", "USB card", ""),
            "The output device \"USB card\" stored in the settings is not connected.");
}

TEST(DeviceChoice, TheInputOfTheSameNameThenOfTheSameCardGoesWithAnOutput) {
  // Inputs listed in another order than the outputs, as a card with more inputs lists them.
  const std::vector<TDeviceNames> inputs = {
      {"pulse", "pulse"},
      {"Card 1: Mic (hw:1,1)", "hw:1"},
      {"Card 1: Analog (hw:1,0)", "hw:1"},
      {"Card 2: Line (hw:2,0)", "hw:2"},
      {"", ""}, // a device that cannot be named
      {"Card 2: Line (hw:2,0)", "hw:2"},
  };
  const struct {
    const char* What;
    TDeviceNames Output;
    int Current;
    int Expected;
  } cases[] = {
      {"the same name", {"Card 1: Analog (hw:1,0)", "hw:1"}, 0, 2},
      {"the same name, whatever the input was", {"pulse", "pulse"}, 3, 0},
      {"the same name twice: the selected one stays", {"Card 2: Line (hw:2,0)", "hw:2"}, 5, 5},
      {"the same name twice: else the first", {"Card 2: Line (hw:2,0)", "hw:2"}, 1, 3},
      {"the same card: the selected input stays", {"Card 1: HDMI (hw:1,3)", "hw:1"}, 1, 1},
      {"the same card: else its first input", {"Card 1: HDMI (hw:1,3)", "hw:1"}, 3, 1},
      {"the same card, nothing selected", {"Card 2: Digital (hw:2,1)", "hw:2"}, -1, 3},
      {"no input of its name or card", {"Card 3: Out (hw:3,0)", "hw:3"}, 2, -1},
      {"an output that cannot be named", {"", ""}, 2, -1},
      {"the selected input beyond the list", {"Card 1: HDMI (hw:1,3)", "hw:1"}, 17, 1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(platform::InputBesideOutput(c.Output, inputs, c.Current), c.Expected) << c.What;
  EXPECT_EQ(platform::InputBesideOutput({"pulse", "pulse"}, {}, 0), -1);
}

// On the virtual card every box is one input and one output of one name, so an output takes
// its own box's input with it, wherever the boxes stand in the list.
TEST(DeviceChoice, AVirtualBoxsOutputTakesItsOwnInput) {
  std::vector<vmbox::TBoxConfig> boxes = vmbox::DefaultBoxes();
  for (const bool reversed : {false, true}) {
    if (reversed) std::reverse(boxes.begin(), boxes.end());
    vmbox::Reinitialise(boxes, vmbox::TSpeed::Fast);
    for (size_t b = 0; b < vmbox::BoxCount(); ++b) {
      const int other = static_cast<int>(vmbox::DeviceId((b + 1) % vmbox::BoxCount(), vmbox::TPort::Input));
      EXPECT_EQ(platform::InputBesideOutput(vmbox::DeviceId(b, vmbox::TPort::Output), other),
                static_cast<int>(vmbox::DeviceId(b, vmbox::TPort::Input)))
          << vmbox::BoxName(b);
    }
  }
  EXPECT_EQ(platform::InputBesideOutput(999, 0), -1) << "an output the platform does not have";
}

} // namespace
