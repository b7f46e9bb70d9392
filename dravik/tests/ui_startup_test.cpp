// The window's start-up and closing: the one-shot timer, the settings file read and written,
// the decimal separator, refused and allowed close requests, and a start-up that fails.

#include "dravik/tests/ui_support.h"

#include "platform/inifile.h"

#include <QTextEdit>
#include <QTimer>

#include <clocale>

namespace dravik {
namespace {

using namespace uitest;

struct Startup : TWindowTest {};

// The keys of earlier versions in their order, then the names of the two devices.
const std::vector<std::string> Keys = {"Output",    "SourceOut", "Input",
                                       "SourceIn",  "IdBits",    "IdSampling",
                                       "Reference resistor", "Swap L<->R", "Run mode",
                                       "OutputName", "InputName"};

TEST_F(Startup, WithoutASettingsFileTheDesignAndTheDevicesDefaultsHold) {
  W = std::make_unique<TfmLCR>(Settings);
  EXPECT_FALSE(W->btnStart->isEnabled());
  EXPECT_EQ(W->windowTitle(), "Dravik");
  EXPECT_EQ(W->DelayTimer->interval(), 100);
  QObject::connect(W.get(), &TfmLCR::MessageAdded,
                   [this](const QString& text, bool info) { Log.emplace_back(text.toStdString(), info); });
  W->show();
  ASSERT_TRUE(PumpUntil([this] { return W->StartupFinished(); }));
  EXPECT_TRUE(W->btnStart->isEnabled());
  EXPECT_EQ(Log.back(), std::make_pair(std::string("- Creation is done. -"), true));
  EXPECT_EQ(W->rgRunMode->ItemIndex(), 0);
  EXPECT_EQ(W->StartClick(), &TfmLCR::btnStartCalibrationClick);
  EXPECT_TRUE(W->Circuit->ShortShown());
  EXPECT_FALSE(W->lblR->isVisibleTo(W.get()));
  EXPECT_EQ(W->cbBits->currentText(), "16");
  EXPECT_EQ(W->cbSampling->currentText(), "48000");
  EXPECT_EQ(static_cast<size_t>(W->cbOut->count()), vmbox::BoxCount());
  EXPECT_EQ(static_cast<size_t>(W->cbIn->count()), vmbox::BoxCount());
  EXPECT_GT(W->cbInSrc->count(), 0);
  EXPECT_EQ(static_cast<double>(W->RefResistance), 10.0);
  EXPECT_EQ(W->SignalIn->BlockLength, 4800u);
  EXPECT_FALSE(std::filesystem::exists(Settings));

  EXPECT_TRUE(W->close());
  EXPECT_EQ(Log.back(), std::make_pair(std::string("- Destruction is done. -"), true));
  EXPECT_TRUE(Logged("WaveIn destroyed.", true));
  EXPECT_TRUE(Logged("MixerOut destroyed.", true));
  EXPECT_FALSE(W->SignalIn || W->SignalOut);
  // The log alone fills the window.
  EXPECT_GT(W->reMes->height(), W->height() / 2);

  const platform::TIniFile ini(Settings);
  EXPECT_EQ(ini.ReadSection("Dravik"), Keys);
  EXPECT_TRUE(ini.SectionExists("Calibration"));
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Dravik", "Calibration"}));
  EXPECT_EQ(ini.ReadInteger("Dravik", "IdSampling", -1), 3);
  EXPECT_EQ(ini.ReadString("Dravik", "Reference resistor", ""), "10");
}

struct TSettingsCase {
  const char* Name;
  const char* File;
  int RunMode;
  const char* Sampling; // the list's selection, also the rate of both devices
  int Bits;
  double Ohms;
  bool Swap;
  int Output; // device index
};
const TSettingsCase SettingsCases[] = {
    {"run mode 1", "[Dravik]\nRun mode=1\n", 1, "48000", 16, 10, false, 0},
    {"IdSampling 3", "[Dravik]\nIdSampling=3\n", 0, "48000", 16, 10, false, 0},
    {"IdSampling 1", "[Dravik]\nIdSampling=1\n", 0, "22050", 16, 10, false, 0},
    {"8 bits, hexadecimal device", "[Dravik]\nIdBits=0\nOutput=0x2\nInput=2\n", 0, "48000", 8, 10,
     false, 2},
    {"resistor and swap", "[Dravik]\nReference resistor=4.7\nSwap L<->R=1\n", 0, "48000", 16, 4.7,
     true, 0},
    {"garbage", "[Dravik]\nOutput=abc\nSourceOut=\nInput=1.5\nSourceIn=x\nIdBits=two\n"
                "IdSampling=-\nReference resistor=nan\nSwap L<->R=yes\nRun mode=?\n"
                "[Calibration]\nChannels=zz\nAttNumber=-3\nOffSet00=q\nAttVal00=inf\n",
     0, "48000", 16, 10, false, 0},
    {"outside the lists", "[Dravik]\nOutput=99\nSourceOut=-1\nInput=-7\nSourceIn=42\nIdBits=2\n"
                          "IdSampling=6\nReference resistor=-5\nRun mode=2\n",
     0, "48000", 16, 10, false, 0},
    {"a resistance below the normal doubles", "[Dravik]\nReference resistor=1e-310\n", 0,
     "48000", 16, 10, false, 0},
    {"binary garbage", "\x01\xff[\x80]\n=\n[Dravik\nRun mode=1\x00\n", 0, "48000", 16, 10, false,
     0},
};

TEST_F(Startup, SettingsFileValuesAreAppliedAndBadOnesCountAsMissing) {
  for (const auto& c : SettingsCases) {
    SCOPED_TRACE(c.Name);
    WriteSettings(c.File);
    Open();
    EXPECT_TRUE(W->btnStart->isEnabled());
    EXPECT_EQ(W->rgRunMode->ItemIndex(), c.RunMode);
    EXPECT_EQ(W->StartClick(), c.RunMode == 1 ? &TfmLCR::btnStartMeasurementClick
                                              : &TfmLCR::btnStartCalibrationClick);
    EXPECT_EQ(W->cbSampling->currentText().toStdString(), c.Sampling);
    EXPECT_EQ(std::to_string(W->SignalOut->GetSamplingRate()), c.Sampling);
    EXPECT_EQ(std::to_string(W->SignalIn->GetSamplingRate()), c.Sampling);
    EXPECT_EQ(W->SignalOut->GetBits(), static_cast<uint32_t>(c.Bits));
    EXPECT_EQ(W->SignalIn->GetBits(), static_cast<uint32_t>(c.Bits));
    EXPECT_EQ(static_cast<double>(W->RefResistance), c.Ohms);
    EXPECT_EQ(W->edR->text().toDouble(), c.Ohms);
    EXPECT_EQ(W->cbSwap->isChecked(), c.Swap);
    EXPECT_EQ(W->cbOut->currentIndex(), c.Output);
    EXPECT_EQ(W->SignalOut->GetDevice(), c.Output);
    EXPECT_EQ(static_cast<int>(W->SignalIn->GetDevice()), c.Output);
    EXPECT_GE(W->cbInSrc->currentIndex(), 0);
    EXPECT_GE(W->cbOutSrc->currentIndex(), 0);
    W.reset();
  }
}

TEST_F(Startup, ClosingTwiceWritesTheSettingsOnce) {
  Open();
  EXPECT_TRUE(W->close());
  ASSERT_TRUE(std::filesystem::exists(Settings));
  std::filesystem::remove(Settings);
  W->show();
  EXPECT_TRUE(W->close());
  EXPECT_FALSE(std::filesystem::exists(Settings));
  EXPECT_EQ(Count("- Destruction is done. -"), 1u);
}

TEST_F(Startup, SettingsSurviveARoundTrip) {
  WriteSettings("[Dravik]\nReference resistor=0.1\nSwap L<->R=1\nRun mode=1\nIdSampling=2\n"
                "[Other]\nKept=yes\n");
  Open();
  EXPECT_TRUE(W->close());
  const platform::TIniFile ini(Settings);
  EXPECT_EQ(ini.ReadFloat("Dravik", "Reference resistor", 0), 0.1);
  EXPECT_TRUE(ini.ReadBool("Dravik", "Swap L<->R", false));
  EXPECT_EQ(ini.ReadInteger("Dravik", "Run mode", 0), 1);
  EXPECT_EQ(ini.ReadInteger("Dravik", "IdSampling", 0), 2);
  EXPECT_EQ(ini.ReadString("Other", "Kept", ""), "yes");
}

TEST_F(Startup, ACloseRequestBeforeStartUpIsRefused) {
  W = std::make_unique<TfmLCR>(Settings);
  W->show();
  EXPECT_FALSE(W->close());
  EXPECT_TRUE(W->isVisible());
  ASSERT_TRUE(PumpUntil([this] { return W->StartupFinished(); }));
  EXPECT_TRUE(W->close());
}

// Without a usable output device the start-up ends early; the window can still be closed, and
// the settings file is left alone since it was never read.
TEST_F(Startup, AFailedStartUpStillLetsTheWindowClose) {
  WriteSettings("[Dravik]\nRun mode=1\n");
  const std::string before = ReadSettings();
  vmbox::FailCall("waveOutOpen", MMSYSERR_ALLOCATED, 0xFFFFFFFF);
  Open();
  EXPECT_FALSE(W->btnStart->isEnabled());
  EXPECT_FALSE(Logged("- Creation is done. -", true));
  EXPECT_EQ(W->rgRunMode->ItemIndex(), 0);
  EXPECT_TRUE(W->close());
  EXPECT_TRUE(Logged("- Destruction is done. -", true));
  EXPECT_EQ(ReadSettings(), before);
}

TEST_F(Startup, NumbersUseAPointWhileTheWindowLives) {
  ASSERT_NE(std::setlocale(LC_NUMERIC, "C.UTF-8"), nullptr);
  Open();
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  EXPECT_TRUE(W->close());
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C.UTF-8");
  std::setlocale(LC_NUMERIC, "C");
}

// A box named as a card names itself, beyond the 31 characters of the capabilities: the lists
// and the log show the whole name, the other boxes are listed as before.
TEST_F(Startup, ALongDeviceNameIsListedAndLoggedWhole) {
  std::vector<TBoxConfig> boxes = MatchedBoxes();
  const std::string whole = boxes[0].Name + " on a card with a long name (hw:2,0)";
  boxes[0].DeviceName = whole;
  vmbox::Reinitialise(boxes, vmbox::TSpeed::Fast);
  Open();
  ASSERT_EQ(static_cast<size_t>(W->cbIn->count()), boxes.size());
  ASSERT_EQ(static_cast<size_t>(W->cbOut->count()), boxes.size());
  for (size_t b = 0; b < boxes.size(); ++b) {
    const std::string name = b == 0 ? whole : boxes[b].Name;
    EXPECT_EQ(W->cbIn->itemText(static_cast<int>(b)).toStdString(), name);
    EXPECT_EQ(W->cbOut->itemText(static_cast<int>(b)).toStdString(), name);
  }
  EXPECT_EQ(W->cbIn->currentIndex(), 0);
  const std::string format = ": Set format: Channels=2, Sampling=48000, Bits=16.";
  EXPECT_TRUE(Logged("WaveIn: \"" + whole + "\"" + format, true));
  EXPECT_TRUE(Logged("WaveOut: \"" + whole + "\"" + format, true));
  EXPECT_TRUE(Logged("MixerIn: Set device 0 \"" + whole + "\"...", true));
  EXPECT_TRUE(W->btnStart->isEnabled());
}

} // namespace
} // namespace dravik
