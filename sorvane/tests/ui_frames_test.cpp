// The device setup frame and the value list: texts and numbers, editing with the keyboard, and
// their sections of the settings file.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "sorvane/tests/ui_support.h"
#include "sorvane/ui/ufrValues.h"
#include "sorvane/ui/ufrWaveSetup.h"

namespace sorvane {
namespace {

TEST(ValueText, TwoSignificantDigits) {
  const struct { double x; const char* text; } cases[] = {
      {1, "1"},       {0.5, "0.5"},     {47, "47"},      {-47, "-47"},   {99.4, "99"},
      {99.6, "1E2"},  {150, "1.5E2"},   {0.0001, "0.0001"}, {0.00001, "1E-5"},
      {12345, "1.2E4"}, {0, "0"},       {3.14159, "3.1"}};
  for (const auto& c : cases) EXPECT_EQ(FormatTwoDigits(c.x), c.text) << c.x;
}

TEST(ValueText, WholeTextMustBeANumber) {
  const struct { const char* text; bool ok; double value; } cases[] = {
      {"10", true, 10},   {"4.7", true, 4.7}, {"-4.7", true, -4.7}, {"+5", true, 5},
      {"1e3", true, 1000}, {"2.2E-3", true, 0.0022}, {".5", true, 0.5},
      {"10k", false, 0},  {"", false, 0},     {"1,5", false, 0},   {" 5", false, 0},
      {"nan", false, 0},  {"inf", false, 0},  {"+-5", false, 0},   {"0x10", false, 0}};
  for (const auto& c : cases) {
    double v = -1;
    EXPECT_EQ(ParseNumber(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
  }
}

class Values : public ::testing::Test {
protected:
  void SetUp() override {
    Frame.show();
    Edit = Frame.cbVal->lineEdit();
    Edit->setFocus();
  }
  // The list "10", "47", "100" with entry 1 current.
  void ThreeEntries() {
    platform::TIniFile ini(Scratch.Dir / "v.ini");
    ini.WriteInteger("Values", "Count", 3);
    ini.WriteString("Values", "Value0", "10");
    ini.WriteString("Values", "Value1", "47");
    ini.WriteString("Values", "Value2", "100");
    ini.WriteInteger("Values", "CurrentIndex", 1);
    Frame.LoadSettings(ini);
  }
  QStringList Items() const {
    QStringList items;
    for (int i = 0; i < Frame.cbVal->count(); ++i) items << Frame.cbVal->itemText(i);
    return items;
  }
  bool Red() const { return Edit->palette().color(QPalette::Text) == QColor(255, 0, 0); }

  QApplication& App = uitest::App(); // before any widget
  uitest::TScratch Scratch;
  TfrValues Frame;
  QLineEdit* Edit = nullptr;
};

TEST_F(Values, EnterTypingAndInvalidText) {
  ThreeEntries();
  EXPECT_EQ(Frame.CurrentIndex(), 1);
  EXPECT_EQ(Frame.Value(), 47);
  // Enter adds an entry that starts as the value in force, selected for typing over.
  QTest::keyClick(Edit, Qt::Key_Return);
  EXPECT_EQ(Items(), QStringList({"10", "47", "47", "100"}));
  EXPECT_EQ(Frame.CurrentIndex(), 2);
  EXPECT_EQ(Edit->text(), "47");
  EXPECT_EQ(Frame.Value(), 47);
  QTest::keyClicks(Edit, "68");
  EXPECT_EQ(Edit->text(), "68");
  EXPECT_EQ(Frame.Value(), 47) << "a number is taken when editing ends, not at each key";
  Frame.cbValExit();
  EXPECT_EQ(Items(), QStringList({"10", "47", "68", "100"}));
  EXPECT_EQ(Frame.Value(), 68);
  EXPECT_FALSE(Red());
  EXPECT_EQ(Edit->cursorPosition(), 2);

  QTest::keyClicks(Edit, "x");
  EXPECT_TRUE(Red());
  EXPECT_EQ(Edit->text(), "68x");
  Frame.cbValExit();
  EXPECT_FALSE(Red());
  EXPECT_EQ(Edit->text(), "68") << "the box gives way to the value in force";
  EXPECT_EQ(Frame.Value(), 68);
  EXPECT_EQ(Items()[2], "68");
  // "4.7k" typed key by key never leaves 4.7 in force.
  Edit->clear();
  QTest::keyClicks(Edit, "4.7k");
  EXPECT_EQ(Frame.Value(), 68);
  Frame.cbValExit();
  EXPECT_EQ(Frame.Value(), 4700);
  EXPECT_EQ(Items()[2], "4.7k");
}

// A real keyboard sends its keys to the focused combo box, whose line edit gets them without
// passing that edit's own filters.
TEST_F(Values, EnterAndBackspaceFromTheKeyboardOnTheFocusedBox) {
  ThreeEntries();
  QWidget* box = Frame.cbVal;
  Edit->clear();
  QTest::keyClicks(box, "22");
  QTest::keyClick(box, Qt::Key_Return);
  QTest::keyClicks(box, "33");
  QTest::keyClick(box, Qt::Key_Return);
  EXPECT_EQ(Items(), QStringList({"10", "22", "33", "33", "100"}));
  EXPECT_EQ(Frame.Value(), 33);
  // Backspace clears the selected copy, then removes the entry in the empty box.
  QTest::keyClick(box, Qt::Key_Backspace);
  QTest::keyClick(box, Qt::Key_Backspace);
  EXPECT_EQ(Items(), QStringList({"10", "22", "33", "100"}));
  EXPECT_EQ(Edit->text(), "33");
}

TEST(ValueText, NumbersWithAnSIPrefix) {
  const struct { const char* text; bool ok; double value; } cases[] = {
      {"4.7k", true, 4700}, {"1M", true, 1e6}, {"100m", true, 0.1}, {"2.2 k", true, 2200},
      {"10u", true, 1e-5},  {"10\u00B5", true, 1e-5}, {"3G", true, 3e9}, {"47", true, 47},
      {"k", false, 0},      {"4.7kk", false, 0}, {"4.7 ohm", false, 0}, {"1e308k", false, 0}};
  for (const auto& c : cases) {
    double v = -1;
    EXPECT_EQ(ParseValue(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
  }
}

TEST_F(Values, BackspaceInTheEmptyBoxRemovesTheEntry) {
  ThreeEntries();
  Edit->clear();
  QTest::keyClick(Edit, Qt::Key_Backspace);
  EXPECT_EQ(Items(), QStringList({"10", "100"}));
  EXPECT_EQ(Frame.CurrentIndex(), 0);
  EXPECT_EQ(Edit->text(), "10");
  EXPECT_EQ(Frame.Value(), 10);
  // With text in the box Backspace only edits; with one entry left it never removes it.
  QTest::keyClick(Edit, Qt::Key_Backspace);
  EXPECT_EQ(Items().size(), 2);
  Edit->clear();
  QTest::keyClick(Edit, Qt::Key_Backspace);
  ASSERT_EQ(Items().size(), 1);
  Edit->clear();
  QTest::keyClick(Edit, Qt::Key_Backspace);
  EXPECT_EQ(Items().size(), 1);
}

TEST_F(Values, SettingsRoundTripErasesLongerLists) {
  ThreeEntries();
  QTest::keyClick(Edit, Qt::Key_Return); // an entry never typed into holds the value in force
  platform::TIniFile ini(Scratch.Dir / "v.ini");
  ini.WriteString("Values", "Value7", "stale");
  Frame.SaveSettings(ini);
  EXPECT_EQ(ini.ReadSection("Values"),
            (std::vector<std::string>{"Count", "Value0", "Value1", "Value2", "Value3", "CurrentIndex"}));
  EXPECT_EQ(ini.ReadInteger("Values", "Count", 0), 4);
  EXPECT_EQ(ini.ReadString("Values", "Value2", "?"), "47");
  EXPECT_EQ(ini.ReadInteger("Values", "CurrentIndex", -1), 2);

  TfrValues other;
  other.ShowValue(1);
  other.LoadSettings(ini);
  EXPECT_EQ(other.cbVal->count(), 4);
  EXPECT_EQ(other.CurrentIndex(), 2);
  EXPECT_EQ(other.Value(), 47);
  // An empty entry saved by an earlier version is never used: the nearest number is, and shown.
  ini.WriteString("Values", "Value2", "");
  TfrValues older;
  older.ShowValue(1);
  older.LoadSettings(ini);
  EXPECT_EQ(older.cbVal->count(), 4);
  EXPECT_EQ(older.Value(), 47);
  EXPECT_EQ(older.cbVal->lineEdit()->text(), "47");
  // With no entry holding a number, the value in force stays, and the entry edited takes it, so
  // the list holds what the box shows.
  platform::TIniFile noNumbers(Scratch.Dir / "nonumbers.ini");
  noNumbers.WriteInteger("Values", "Count", 2);
  noNumbers.WriteString("Values", "Value0", "0");
  noNumbers.WriteString("Values", "Value1", "ask");
  noNumbers.WriteInteger("Values", "CurrentIndex", 1);
  TfrValues none;
  none.SetPositiveOnly(true);
  none.ShowValue(10);
  none.LoadSettings(noNumbers);
  EXPECT_EQ(none.Value(), 10);
  EXPECT_EQ(none.cbVal->lineEdit()->text(), "10");
  EXPECT_EQ(none.cbVal->itemText(none.CurrentIndex()), "10");

  // "Count" 0 or missing keeps the list.
  platform::TIniFile empty(Scratch.Dir / "none.ini");
  TfrValues kept;
  kept.ShowValue(1);
  kept.LoadSettings(empty);
  EXPECT_EQ(kept.cbVal->count(), 1);
  EXPECT_EQ(kept.cbVal->itemText(0), "1");
  EXPECT_EQ(kept.Value(), 1);
}

TEST_F(Values, ADamagedCountLoadsAThousandEntriesAtMost) {
  platform::TIniFile ini(Scratch.Dir / "v.ini");
  ini.WriteInteger("Values", "Count", 2147483647);
  ini.WriteString("Values", "Value0", "22");
  Frame.LoadSettings(ini);
  EXPECT_EQ(Frame.cbVal->count(), 1000);
  EXPECT_EQ(Frame.cbVal->itemText(999), "0");
  EXPECT_EQ(Frame.Value(), 22);
}

TEST_F(Values, TheReferenceListTakesPositiveNumbersOnly) {
  Frame.SetPositiveOnly(true);
  ThreeEntries();
  const struct {
    const char* text;
    bool taken;
  } cases[] = {{"0", false}, {"-0", false}, {"0.0e5", false}, {"-47", false},
               {"+2.2", true}, {"1e-3", true}, {"4.7E3", true}, {"4.7k", true},
               {"1M", true},   {"-1k", false}, {"k", false}};
  for (const auto& c : cases) {
    Edit->setText("68"); // the value in force before each case
    Frame.cbValExit();
    ASSERT_EQ(Frame.Value(), 68);
    Edit->setText(c.text);
    EXPECT_EQ(Red(), !c.taken) << c.text;
    EXPECT_EQ(Frame.Invalid(), !c.taken) << c.text;
    Frame.cbValExit();
    EXPECT_EQ(Items()[1], c.taken ? QString(c.text) : "68") << c.text;
    EXPECT_EQ(Edit->text(), c.taken ? QString(c.text) : "68") << "the box shows the value in force";
    if (c.taken) {
      EXPECT_GT(Frame.Value(), 0) << c.text;
    } else {
      EXPECT_EQ(Frame.Value(), 68) << c.text;
    }
  }

  // A stored zero is never used: the value in force stays, is shown, and the entry takes it.
  platform::TIniFile ini(Scratch.Dir / "zero.ini");
  ini.WriteInteger("Values", "Count", 1);
  ini.WriteString("Values", "Value0", "0");
  TfrValues stored;
  stored.SetPositiveOnly(true);
  stored.ShowValue(1);
  stored.LoadSettings(ini);
  EXPECT_EQ(stored.Value(), 1);
  EXPECT_EQ(stored.cbVal->lineEdit()->text(), "1");
  stored.SaveSettings(ini);
  EXPECT_EQ(ini.ReadString("Values", "Value0", "?"), "1");
}

TEST(WaveSetup, DeviceListsAndSettings) {
  uitest::App();
  std::vector<platform::vmbox::TBoxConfig> boxes = platform::vmbox::DefaultBoxes();
  boxes.erase(boxes.begin()); // three boxes
  platform::vmbox::Reinitialise(boxes, platform::vmbox::TSpeed::Fast);
  TfrWaveSetup setup;
  ASSERT_EQ(setup.cbDeviceIn->count(), 3);
  EXPECT_EQ(setup.InputDevice(), 1);
  EXPECT_EQ(setup.OutputDevice(), 1);
  EXPECT_EQ(setup.cbDeviceIn->itemText(2).toStdString(), boxes[2].Name);
  EXPECT_EQ(setup.SamplingRate(), 48000);
  EXPECT_TRUE(setup.MissingDevices().empty());
  EXPECT_FALSE(setup.lbNoDevice->isVisibleTo(&setup));

  uitest::TScratch scratch;
  platform::TIniFile ini(scratch.Dir / "w.ini");
  ini.WriteInteger("WaveSetup", "InputID", 5);
  ini.WriteInteger("WaveSetup", "OutputID", 2);
  ini.WriteInteger("WaveSetup", "Sampling", 44100);
  ini.WriteString("WaveSetup", "Swap", "7");
  setup.LoadSettings(ini);
  EXPECT_EQ(setup.InputDevice(), 1) << "an identifier beyond the list keeps the selection";
  EXPECT_EQ(setup.OutputDevice(), 2);
  EXPECT_EQ(setup.SamplingRate(), 48000) << "a rate the list does not offer keeps the selection";
  EXPECT_TRUE(setup.cbSwap->isChecked());

  int raised = 0;
  setup.OnSamplingChange = [&](int rate) { raised = rate; };
  setup.cbSampling->setCurrentIndex(2);
  emit setup.cbSampling->activated(2);
  EXPECT_EQ(raised, 192000);
  setup.SaveSettings(ini);
  EXPECT_EQ(ini.ReadInteger("WaveSetup", "Sampling", 0), 192000);
  EXPECT_EQ(ini.ReadString("WaveSetup", "OutputName", ""), boxes[2].Name);
  EXPECT_EQ(ini.ReadString("WaveSetup", "Swap", ""), "1");
  setup.SetDevicesEnabled(false);
  EXPECT_FALSE(setup.cbDeviceIn->isEnabled());
  EXPECT_FALSE(setup.cbSampling->isEnabled());
  EXPECT_TRUE(setup.cbSwap->isEnabled());
}

// Three boxes named as cards name themselves: the first two alike in their first 31
// characters, which is all that the capabilities and earlier versions' settings files hold.
TEST(WaveSetup, LongNamesAreListedWholeAndStoredNamesFindTheirDevice) {
  uitest::App();
  std::vector<platform::vmbox::TBoxConfig> boxes = platform::vmbox::DefaultBoxes();
  boxes.pop_back();
  const std::string names[] = {"Jig on a sound card with a long name (hw:1,0)",
                               "Jig on a sound card with a long name (hw:1,1)",
                               "Second jig on a card with a long name (hw:2,0)"};
  for (size_t i = 0; i < boxes.size(); ++i) boxes[i].DeviceName = names[i];
  platform::vmbox::Reinitialise(boxes, platform::vmbox::TSpeed::Fast);
  auto cut = [](const std::string& name) { return name.substr(0, MAXPNAMELEN - 1); };
  ASSERT_EQ(cut(names[0]), cut(names[1]));
  TfrWaveSetup setup;
  ASSERT_EQ(setup.cbDeviceIn->count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(setup.cbDeviceIn->itemText(i).toStdString(), names[i]);
    EXPECT_EQ(setup.cbDeviceOut->itemText(i).toStdString(), names[i]);
  }

  uitest::TScratch scratch;
  setup.cbDeviceIn->setCurrentIndex(2);
  platform::TIniFile saved(scratch.Dir / "saved.ini");
  setup.SaveSettings(saved);
  EXPECT_EQ(saved.ReadString("WaveSetup", "InputName", ""), names[2]);

  const struct {
    const char* What;
    int Id;
    std::optional<std::string> Name; // none: no name stored
    int Selected;     // starting from entry 1
  } cases[] = {
      {"whole name at its place", 2, names[2], 2},
      {"an earlier version's name at its place", 2, cut(names[2]), 2},
      {"an earlier version's name, the device moved", 0, cut(names[2]), 2},
      {"whole name, the device moved", 0, names[2], 2},
      {"whole name, its place gone", 5, names[0], 0},
      {"a name shared by two: the place decides", 2, cut(names[0]), 2},
      {"a name shared by two, its place gone", 5, cut(names[0]), 1},
      {"a name that names nothing", 0, "Another card", 0},
      {"no name", 2, std::nullopt, 2},
  };
  int n = 0;
  for (const auto& c : cases) {
    platform::TIniFile ini(scratch.Dir / ("case" + std::to_string(n++) + ".ini"));
    ini.WriteInteger("WaveSetup", "InputID", c.Id);
    ini.WriteInteger("WaveSetup", "OutputID", c.Id);
    if (c.Name) {
      ini.WriteString("WaveSetup", "InputName", *c.Name);
      ini.WriteString("WaveSetup", "OutputName", *c.Name);
    }
    setup.cbDeviceIn->setCurrentIndex(1);
    setup.cbDeviceOut->setCurrentIndex(1);
    setup.LoadSettings(ini);
    EXPECT_EQ(setup.InputDevice(), c.Selected) << c.What;
    EXPECT_EQ(setup.OutputDevice(), c.Selected) << c.What;
  }
  uitest::DefaultCard();
}

// The boxes in their default order, or reversed (the shorted box first).
void UseBoxes(bool reversed) {
  std::vector<platform::vmbox::TBoxConfig> boxes = platform::vmbox::DefaultBoxes();
  if (reversed) std::reverse(boxes.begin(), boxes.end());
  platform::vmbox::Reinitialise(boxes, platform::vmbox::TSpeed::Fast);
}

// A settings file of the earlier kind (positions alone) selects by position, as before; with
// names a list in another order keeps the same devices, and a stored device that is gone is
// said so in the frame's red text until the user picks a device of its kind.
TEST(WaveSetup, StoredNamesKeepTheDevicesAndGoneOnesAreSaidSo) {
  uitest::App();
  const std::string coil = "Virtual box: 3.3 Ohm + 1 mH", capacitor = "Virtual box: 10 uF + 0.2 Ohm",
                    resistor = "Virtual box: 47 Ohm";
  uitest::TScratch scratch;
  UseBoxes(false);
  platform::TIniFile saved(scratch.Dir / "saved.ini");
  {
    TfrWaveSetup setup;
    setup.cbDeviceIn->setCurrentIndex(2);
    setup.cbDeviceOut->setCurrentIndex(1);
    setup.SaveSettings(saved);
    ASSERT_TRUE(saved.UpdateFile().Ok);
  }
  const std::string gone = "USB card (hw:2,0)";
  const std::string goneInput = "The input device \"" + gone +
                                "\" stored in the settings is not connected; using \"";
  const std::string goneOutput = "The output device \"" + gone +
                                 "\" stored in the settings is not connected; using \"";
  const struct {
    const char* What;
    std::string File; // "" for the file saved above
    bool Reversed;
    std::string Input, Output, Shown;
  } cases[] = {
      {"names at their positions", "", false, resistor, capacitor, ""},
      {"names, reordered: the same devices", "", true, resistor, capacitor, ""},
      {"positions alone", "InputID=2\nOutputID=1\n", false, resistor, capacitor, ""},
      {"positions alone, reordered: the positions", "InputID=2\nOutputID=1\n", true, capacitor,
       resistor, ""},
      {"an input that is gone", "InputID=0\nInputName=" + gone + "\nOutputID=1\n", false, coil,
       capacitor, goneInput + coil + "\"."},
      {"both gone, the output's position beyond the list",
       "InputID=2\nInputName=" + gone + "\nOutputID=8\nOutputName=" + gone + "\n", false, resistor,
       resistor, goneInput + resistor + "\".\n" + goneOutput + resistor + "\"."},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    UseBoxes(c.Reversed);
    std::filesystem::path file = saved.FileName();
    if (!c.File.empty()) {
      file = scratch.Dir / ("case" + std::to_string(n++) + ".ini");
      std::ofstream(file) << "[WaveSetup]\n" << c.File;
    }
    TfrWaveSetup setup; // selects entry 2 of 4 at first
    setup.LoadSettings(platform::TIniFile(file));
    EXPECT_EQ(setup.cbDeviceIn->currentText().toStdString(), c.Input);
    EXPECT_EQ(setup.cbDeviceOut->currentText().toStdString(), c.Output);
    EXPECT_EQ(setup.lbNoDevice->text().toStdString(), c.Shown);
    EXPECT_EQ(setup.lbNoDevice->isVisibleTo(&setup), !c.Shown.empty());
  }

  // The note of a kind goes when the user picks a device of that kind.
  platform::TIniFile both(scratch.Dir / "both.ini");
  for (const char* key : {"InputName", "OutputName"}) both.WriteString("WaveSetup", key, gone);
  TfrWaveSetup setup;
  setup.LoadSettings(both);
  emit setup.cbDeviceIn->activated(setup.InputDevice());
  EXPECT_EQ(setup.lbNoDevice->text().toStdString().rfind("The output device", 0), 0u);
  emit setup.cbDeviceOut->activated(setup.OutputDevice());
  EXPECT_EQ(setup.lbNoDevice->text().toStdString(), "");
  EXPECT_FALSE(setup.lbNoDevice->isVisibleTo(&setup));
  uitest::DefaultCard();
}

// The user picks in the lists; the settings file's pair stays as stored.
TEST(WaveSetup, AnOutputPickedTakesTheInputOfItsBoxWithIt) {
  uitest::DefaultCard();
  TfrWaveSetup setup;
  uitest::TScratch scratch;
  platform::TIniFile ini(scratch.Dir / "pair.ini");
  ini.WriteInteger("WaveSetup", "InputID", 0);
  ini.WriteInteger("WaveSetup", "OutputID", 3);
  setup.LoadSettings(ini);
  EXPECT_EQ(setup.InputDevice(), 0);
  EXPECT_EQ(setup.OutputDevice(), 3);

  const struct {
    bool Output; // the list the user picks from
    int Entry, ExpectedInput, ExpectedOutput;
  } steps[] = {
      {true, 2, 2, 2},
      {false, 0, 0, 2}, // an input picked afterwards stays
      {true, 2, 2, 2},  // the same output picked again is a new choice
      {true, 3, 3, 3},
      {false, 1, 1, 3},
  };
  int n = 0;
  for (const auto& s : steps) {
    QComboBox* list = s.Output ? setup.cbDeviceOut : setup.cbDeviceIn;
    list->setCurrentIndex(s.Entry);
    emit list->activated(s.Entry);
    EXPECT_EQ(setup.InputDevice(), s.ExpectedInput) << "step " << n;
    EXPECT_EQ(setup.OutputDevice(), s.ExpectedOutput) << "step " << n++;
  }
}

TEST(WaveSetup, NoDeviceSaysSo) {
  uitest::App();
  platform::vmbox::Reinitialise({}, platform::vmbox::TSpeed::Fast);
  TfrWaveSetup setup;
  EXPECT_EQ(setup.InputDevice(), -1);
  EXPECT_EQ(setup.OutputDevice(), -1);
  EXPECT_EQ(setup.MissingDevices(), "There is no sound input device and no sound output device.");
  EXPECT_TRUE(setup.lbNoDevice->isVisibleTo(&setup));
  uitest::TScratch scratch;
  platform::TIniFile ini(scratch.Dir / "w.ini");
  setup.SaveSettings(ini);
  setup.LoadSettings(ini);
  EXPECT_EQ(setup.InputDevice(), -1);
  uitest::DefaultCard();
}

} // namespace
} // namespace sorvane
