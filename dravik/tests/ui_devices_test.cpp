// The devices kept in the settings file by index and name: files of the earlier kind (indices
// alone) load as before, a stored name finds its device when the list has changed order, a
// device that is gone is said so in the log; and an output picked by the user takes the input
// of its box with it, while an input picked afterwards stays as picked.

#include "dravik/tests/ui_support.h"

#include "platform/inifile.h"

#include <algorithm>

namespace dravik {
namespace {

using namespace uitest;

struct Devices : TWindowTest {
  // The boxes in their default order, or reversed (the shorted box first).
  static std::vector<TBoxConfig> Boxes(bool reversed) {
    std::vector<TBoxConfig> boxes = MatchedBoxes();
    if (reversed) std::reverse(boxes.begin(), boxes.end());
    return boxes;
  }
  // The lines that say a stored device is not connected.
  std::vector<std::string> NotConnectedLines() const {
    std::vector<std::string> lines;
    for (const auto& [text, info] : Log) {
      if (text.find("stored in the settings is not connected") != std::string::npos)
        lines.push_back(text);
    }
    return lines;
  }
  // The user picks an entry of a device list by its text.
  void Pick(QComboBox* list, const std::string& name) {
    const int entry = list->findText(QString::fromStdString(name));
    ASSERT_GE(entry, 0) << name;
    list->setCurrentIndex(entry);
    emit list->activated(entry);
  }
  std::string Out() const { return W->cbOut->currentText().toStdString(); }
  std::string In() const { return W->cbIn->currentText().toStdString(); }
};

const std::string Coil = "Virtual box: 3.3 Ohm + 1 mH";
const std::string Capacitor = "Virtual box: 10 uF + 0.2 Ohm";
const std::string Resistor = "Virtual box: 47 Ohm";
const std::string Shorted = "Virtual box: shorted Zx";

TEST_F(Devices, StoredIndicesLoadAsBeforeAndStoredNamesFindTheirDevices) {
  const std::string named = "[Dravik]\nOutput=1\nOutputName=" + Capacitor + "\nInput=2\nInputName=" +
                            Resistor + "\n";
  const struct {
    const char* What;
    std::string File;
    bool Reversed; // the list in another order than when the file was written
    std::string Output, Input;
    std::vector<std::string> NotConnected;
  } cases[] = {
      {"indices alone; the output does not move the input", "[Dravik]\nOutput=1\nInput=2\n", false,
       Capacitor, Resistor, {}},
      {"an output alone: the input stays where it was", "[Dravik]\nOutput=2\n", false, Resistor,
       Coil, {}},
      {"indices alone, reordered: the positions, as before", "[Dravik]\nOutput=1\nInput=2\n", true,
       Resistor, Capacitor, {}},
      {"names at their indices", named, false, Capacitor, Resistor, {}},
      {"names, reordered: the same devices", named, true, Capacitor, Resistor, {}},
      {"names, their indices beyond the list",
       "[Dravik]\nOutput=7\nOutputName=" + Shorted + "\nInput=-1\nInputName=" + Coil + "\n", true,
       Shorted, Coil, {}},
      {"an output that is gone: its index",
       "[Dravik]\nOutput=1\nOutputName=USB card (hw:2,0)\nInput=2\nInputName=" + Resistor + "\n",
       false, Capacitor, Resistor,
       {"The output device \"USB card (hw:2,0)\" stored in the settings is not connected; using \"" +
        Capacitor + "\"."}},
      {"an input that is gone, its index beyond the list: the default",
       "[Dravik]\nInput=9\nInputName=USB card (hw:2,0)\n", false, Coil, Coil,
       {"The input device \"USB card (hw:2,0)\" stored in the settings is not connected; using \"" +
        Coil + "\"."}},
      {"an empty name counts as none", "[Dravik]\nOutput=3\nOutputName=\nInput=3\nInputName=\n",
       false, Shorted, Shorted, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    vmbox::Reinitialise(Boxes(c.Reversed), vmbox::TSpeed::Fast);
    WriteSettings(c.File);
    Log.clear();
    Open();
    EXPECT_EQ(Out(), c.Output);
    EXPECT_EQ(In(), c.Input);
    EXPECT_EQ(W->SignalOut->DeviceName(W->SignalOut->GetDevice()), c.Output);
    EXPECT_EQ(W->SignalIn->DeviceName(static_cast<int32_t>(W->SignalIn->GetDevice())), c.Input);
    EXPECT_EQ(NotConnectedLines(), c.NotConnected);
    EXPECT_TRUE(W->btnStart->isEnabled());
    W.reset();
  }
}

TEST_F(Devices, ASavedPairComesBackAfterTheListChangedOrder) {
  Open();
  SelectBoxes(1, 2);
  ASSERT_TRUE(W->close());
  const platform::TIniFile saved(Settings);
  EXPECT_EQ(saved.ReadInteger("Dravik", "Output", -1), 1);
  EXPECT_EQ(saved.ReadString("Dravik", "OutputName", ""), Capacitor);
  EXPECT_EQ(saved.ReadInteger("Dravik", "Input", -1), 2);
  EXPECT_EQ(saved.ReadString("Dravik", "InputName", ""), Resistor);

  vmbox::Reinitialise(Boxes(true), vmbox::TSpeed::Fast);
  Log.clear();
  Open();
  EXPECT_EQ(Out(), Capacitor);
  EXPECT_EQ(In(), Resistor);
  EXPECT_TRUE(NotConnectedLines().empty());
  ASSERT_TRUE(W->close());
  const platform::TIniFile again(Settings);
  EXPECT_EQ(again.ReadInteger("Dravik", "Output", -1), 2) << "the index where the device is now";
  EXPECT_EQ(again.ReadInteger("Dravik", "Input", -1), 1);
}

TEST_F(Devices, AnOutputPickedTakesTheInputOfItsBoxWithIt) {
  Open();
  const struct {
    bool Output; // the list the user picks from
    std::string Box;
    std::string ExpectedOutput, ExpectedInput;
  } steps[] = {
      {true, Resistor, Resistor, Resistor},
      {false, Coil, Resistor, Coil}, // an input picked afterwards stays
      {true, Resistor, Resistor, Resistor}, // the same output picked again is a new choice
      {true, Shorted, Shorted, Shorted},
      {false, Capacitor, Shorted, Capacitor},
      {false, Shorted, Shorted, Shorted},
      {true, Shorted, Shorted, Shorted},
  };
  int n = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE("step " + std::to_string(n++));
    Pick(s.Output ? W->cbOut : W->cbIn, s.Box);
    EXPECT_EQ(Out(), s.ExpectedOutput);
    EXPECT_EQ(In(), s.ExpectedInput);
    EXPECT_EQ(W->SignalIn->DeviceName(static_cast<int32_t>(W->SignalIn->GetDevice())),
              s.ExpectedInput);
  }
}

} // namespace
} // namespace dravik
