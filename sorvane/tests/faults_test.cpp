// Faults on the virtual boxes, seen from the window: devices that will not open or refuse the
// format, samples lost at random moments, devices that vanish while running, a settings folder
// that cannot be written, and a disk that fills up while the settings or the results are saved.
// In every case the window keeps running or stops with its own message, closes with both devices
// idle, and leaves the settings file (with the calibration in it) whole.
//
// Sorvane drives no mixer: its only platform paths are the waveform devices and its two files.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include "platform/tests/full_disk.h"
#include "sorvane/tests/ui_support.h"
#include "sorvane/ui/uSorvaneChart.h"
#include "sorvane/ui/ufrWaveSetup.h"

namespace sorvane {
namespace {

using uitest::TWindow;
namespace fs = std::filesystem;
namespace vmbox = platform::vmbox;
using vmbox::TPort;

constexpr int Timeout = 60000;
constexpr const char* Shorted = "Virtual box: shorted Zx";
constexpr size_t ResistorBox = 2; // 47 Ohm

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Counts the blocks the window draws. The window outlives the counter, so the counter gives the
// window's own hook back when it goes.
struct TBlockCounter {
  int Blocks = 0;
  explicit TBlockCounter(TForm1& form) : Form(form), Draw(form.SignalIn().OnBlock) {
    Form.SignalIn().OnBlock = [this](TWaveData& block) {
      Draw(block);
      ++Blocks;
    };
  }
  ~TBlockCounter() { Form.SignalIn().OnBlock = Draw; }
  TBlockCounter(const TBlockCounter&) = delete;
  TBlockCounter& operator=(const TBlockCounter&) = delete;
  bool WaitFor(int more) {
    const int target = Blocks + more;
    return PumpUntil([&] { return Blocks >= target; }, Timeout);
  }

private:
  TForm1& Form;
  std::function<void(TWaveData&)> Draw;
};

// A settings file that an earlier session left, with a calibration that is not the identity.
// Every case starts from it, so that a loss or a truncation shows against known contents.
std::string WriteEarlierSession(const sorvane::TSorvaneFiles& files) {
  TWindow w(files);
  w->SignalIn().Saturation = {0.8125, 0.75};
  w->SignalIn().Poly[0][1] = 2.5e-6;
  w->SignalIn().Poly[1][1] = -1.25e-7;
  w->close();
  EXPECT_TRUE(w.Messages.empty());
  return ReadAll(files.Settings);
}

// The "Calibration" section of a settings file as key=value text, in file order.
std::string CalibrationSection(const fs::path& file) {
  const platform::TIniFile ini(file);
  std::string text;
  for (const std::string& key : ini.ReadSection("Calibration"))
    text += key + "=" + ini.ReadString("Calibration", key, "") + "\n";
  return text;
}

// The calibration's correction at 1 kHz: near 1 for a fit on the shorted box, whose two inputs
// hear the same voltage; 0 or not a number for a fit on silence or on nothing.
double CorrectionAt1kHz(TForm1& form) {
  form.SignalIn().EvaluateCalibration();
  const auto& cal = form.SignalIn().Calibration;
  const size_t k = static_cast<size_t>(FrequencyToBin(form.BlockLen(), 1000, 48000));
  return k < cal.size() ? std::hypot(cal[k].Re, cal[k].Im) : NAN;
}

// Closes the window and checks what every case must leave: both devices idle within the close's
// time-out, no close report, and the settings file readable with all 34 calibration keys.
void CloseCleanly(TWindow& w) {
  w->close();
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->CloseReport(), "");
  EXPECT_TRUE(w->WaveOut().Idle());
  EXPECT_TRUE(w->SignalIn().WaveIn().Idle());
  const platform::TIniFile ini(w->Files().Settings);
  EXPECT_EQ(ini.LoadError(), "");
  // Two saturation levels, 32 polynomial coefficients, the two inputs' coupling corners and
  // the cards and rate the calibration was made on.
  EXPECT_EQ(ini.ReadSection("Calibration").size(), 39u);
}

// A case's starting point: the default card, a scratch folder holding the settings file of an
// earlier session, and a window opened on it whose blocks are counted.
struct TEarlierSessionCase {
  struct TDefaultCard {
    TDefaultCard() { uitest::DefaultCard(); }
  } Card; // first, so that the card is reset before anything opens on it
  uitest::TScratch Scratch;
  std::string Earlier = WriteEarlierSession(Scratch.Files());
  std::string Calibration = CalibrationSection(Scratch.Files().Settings);
  TWindow W{Scratch.Files()};
  TBlockCounter Blocks{*W.Form};
};

// ---- Devices that will not open ----

TEST(Faults, DeviceThatDoesNotOpenLeavesTheWindowIdle) {
  const struct {
    const char* name;
    TPort port;
    MMRESULT code;
    int samplingItem; // 0: 48000 Hz, 1: 96000 Hz
    uint32_t maxRate;
    const char* message;
    const char* advice; // what the user reads next
  } cases[] = {
      {"input busy", TPort::Input, MMSYSERR_ALLOCATED, 0, 192000, "Can not open input device ",
       "Another program is using the device"},
      {"output busy", TPort::Output, MMSYSERR_ALLOCATED, 0, 192000, "Can not open output device ",
       "Another program is using the device"},
      {"input refuses the format", TPort::Input, WAVERR_BADFORMAT, 0, 192000,
       "Can not open input device ", "does not support this sampling rate"},
      // The card takes at most 48000 Hz: playback, opened first, refuses 96000 Hz.
      {"card refuses the rate", TPort::Output, MMSYSERR_NOERROR, 1, 48000,
       "Can not open output device ", "does not support this sampling rate"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TEarlierSessionCase t;
    auto& w = t.W;
    auto& blocks = t.Blocks;
    UseBox(*w.Form, ResistorBox);
    w->frWaveSetup1->cbSampling->setCurrentIndex(c.samplingItem);
    emit w->frWaveSetup1->cbSampling->activated(c.samplingItem);
    w->SetModeItem(1);
    if (c.code != MMSYSERR_NOERROR) vmbox::FailNextOpen(c.port, c.code);
    vmbox::SetMaxSampleRate(c.maxRate);
    w->btnStartStop->click();
    EXPECT_FALSE(w->Running());
    EXPECT_EQ(w->btnStartStop->text(), "Start");
    EXPECT_TRUE(w->rgMode->isEnabled());
    EXPECT_TRUE(w->frWaveSetup1->cbDeviceIn->isEnabled());
    const std::string device = std::to_string(vmbox::DeviceId(ResistorBox, c.port));
    ASSERT_EQ(w.Messages.size(), 1u);
    EXPECT_EQ(w.Messages[0].rfind(c.message + device + ". ", 0), 0u) << w.Messages[0];
    EXPECT_NE(w.Messages[0].find(c.advice), std::string::npos) << w.Messages[0];
    EXPECT_TRUE(PumpUntil([&] { return w->WaveOut().Idle() && w->SignalIn().WaveIn().Idle(); },
                          Timeout));

    // The fault gone, the same window measures.
    vmbox::ClearFaults();
    w->btnStartStop->click();
    ASSERT_TRUE(w->Running());
    EXPECT_TRUE(blocks.WaitFor(2));
    w->btnStartStop->click();
    CloseCleanly(w);
    EXPECT_EQ(w.Messages.size(), 1u);
    EXPECT_EQ(CalibrationSection(t.Scratch.Files().Settings), t.Calibration)
        << "an open failure changes no calibration";
  }
}

// ---- Samples lost at random moments ----

// Throws away 1 .. 6000 frames of the box's input at random moments of a run.
void LoseAtRandom(size_t box, std::mt19937& random, int losses) {
  std::uniform_int_distribution<uint32_t> frames(1, 6000);
  std::uniform_int_distribution<int> pauseMs(0, 40);
  for (int i = 0; i < losses; ++i) {
    PumpUntil([] { return false; }, pauseMs(random));
    vmbox::LoseSamples(box, frames(random));
  }
}

TEST(Faults, LostSamplesDuringMeasurementKeepTheReading) {
  TEarlierSessionCase t;
  auto& w = t.W;
  auto& blocks = t.Blocks;
  UseBox(*w.Form, ResistorBox);
  TypeRref(*w.Form, "10");
  w->SetModeItem(1);
  w->btnStartStop->click();
  ASSERT_TRUE(w->Running());
  const auto reading = [&] {
    const auto& re = w->ChartData().Points(0);
    return re.isEmpty() ? NAN : re[re.size() / 2].y();
  };
  ASSERT_TRUE(blocks.WaitFor(3));
  const double before = reading();
  std::mt19937 random(1302);
  LoseAtRandom(ResistorBox, random, 20);
  // Both inputs lose the same frames, so the ratio of their spectra, and the reading, stay.
  ASSERT_TRUE(blocks.WaitFor(3));
  EXPECT_TRUE(w->Running());
  EXPECT_NEAR(reading() / before, 1, 0.005) << "Re Zx " << before << " before the losses";
  EXPECT_TRUE(w.Messages.empty());
  CloseCleanly(w);
}

TEST(Faults, LostSamplesDuringCalibrationKeepTheFit) {
  TEarlierSessionCase t;
  auto& w = t.W;
  auto& blocks = t.Blocks;
  const size_t shorted = static_cast<size_t>(FindBox(Shorted));
  UseBox(*w.Form, shorted);
  w->SetModeItem(0);
  w->btnStartStop->click();
  ASSERT_TRUE(w->Running());
  std::mt19937 random(1303);
  LoseAtRandom(shorted, random, 10); // during the level check
  ASSERT_TRUE(blocks.WaitFor(2));
  EXPECT_TRUE(w->lbCalibration->text().startsWith("Quality:"));
  w->btnCalibration->click();
  LoseAtRandom(shorted, random, 10); // during the fit
  ASSERT_TRUE(PumpUntil([&] { return w->lbCalibration->text().startsWith("Press Stop"); }, Timeout));
  ASSERT_TRUE(blocks.WaitFor(2));
  w->btnStartStop->click();
  EXPECT_FALSE(w->Running());
  EXPECT_NEAR(CorrectionAt1kHz(*w.Form), 1, 0.05);
  EXPECT_TRUE(w.Messages.empty());
  CloseCleanly(w);
}

// ---- Devices that vanish while running ----

enum class TPhase { LevelCheck, Fit, Measurement };

// Starts a run of the phase: the level check or the fit on the shorted box, or "Z graph" on the
// 47 Ohm box; returns the box.
size_t StartPhase(TWindow& w, TBlockCounter& blocks, TPhase phase) {
  const size_t box = phase == TPhase::Measurement ? ResistorBox : static_cast<size_t>(FindBox(Shorted));
  UseBox(*w.Form, box);
  w->SetModeItem(phase == TPhase::Measurement ? 1 : 0);
  w->btnStartStop->click();
  EXPECT_TRUE(w->Running());
  EXPECT_TRUE(blocks.WaitFor(2));
  if (phase == TPhase::Fit) {
    w->btnCalibration->click();
    EXPECT_TRUE(PumpUntil([&] { return w->lbCalibration->text().startsWith("Press Stop"); }, Timeout));
    EXPECT_TRUE(blocks.WaitFor(1));
  }
  return box;
}

TEST(Faults, DeviceThatVanishesStopsTheRunWithAMessage) {
  const struct {
    const char* name;
    TPhase phase;
    TPort port;
    const char* message;
  } cases[] = {
      {"input, level check", TPhase::LevelCheck, TPort::Input, "The input device "},
      {"output, level check", TPhase::LevelCheck, TPort::Output, "The output device "},
      {"input, calibration fit", TPhase::Fit, TPort::Input, "The input device "},
      {"output, calibration fit", TPhase::Fit, TPort::Output, "The output device "},
      {"input, measurement", TPhase::Measurement, TPort::Input, "The input device "},
      {"output, measurement", TPhase::Measurement, TPort::Output, "The output device "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TEarlierSessionCase t;
    auto& w = t.W;
    auto& blocks = t.Blocks;
    const size_t box = StartPhase(w, blocks, c.phase);
    ASSERT_TRUE(w->Running());
    const TCalibrationPolys poly = w->SignalIn().Poly;
    const std::string device = std::to_string(vmbox::DeviceId(box, c.port));
    vmbox::Vanish(box, c.port);
    ASSERT_TRUE(PumpUntil([&] { return !w.Messages.empty(); }, Timeout)) << "no message";
    EXPECT_EQ(w.Messages[0], c.message + device + " is no longer available.\r\nMeasuring has stopped. "
                                                  "The device is unplugged or its sound server is "
                                                  "not running: plug it in or start the sound "
                                                  "server, then restart the program.");
    EXPECT_FALSE(w->Running());
    EXPECT_EQ(w->btnStartStop->text(), "Start");
    EXPECT_TRUE(w->rgMode->isEnabled());
    EXPECT_TRUE(PumpUntil([&] { return w->WaveOut().Idle() && w->SignalIn().WaveIn().Idle(); },
                          Timeout));
    // No block from after the loss reached the analysis: the calibration is the one of the
    // last block heard, not a fit of silence.
    PumpUntil([] { return false; }, 300);
    if (c.phase == TPhase::Fit) {
      EXPECT_NEAR(CorrectionAt1kHz(*w.Form), 1, 0.05);
    } else {
      EXPECT_EQ(w->SignalIn().Poly, poly);
    }
    EXPECT_GT(w->SignalIn().Saturation[0], 0.5);
    EXPECT_GT(w->SignalIn().Saturation[1], 0.5);

    // A device that has gone cannot be opened again: the window says so and stays idle.
    w.Messages.clear();
    w->btnStartStop->click();
    EXPECT_FALSE(w->Running());
    ASSERT_EQ(w.Messages.size(), 1u);
    EXPECT_EQ(w.Messages[0].rfind("Can not open", 0), 0u) << w.Messages[0];
    CloseCleanly(w);
    if (c.phase == TPhase::Measurement) {
      EXPECT_EQ(CalibrationSection(t.Scratch.Files().Settings), t.Calibration);
    }
  }
}

// ---- The settings and results files ----

using testfiles::TFullDisk;

std::vector<std::string> FolderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Measures the 47 Ohm box for two blocks, so that the chart holds a curve to save.
void DrawACurve(TWindow& w) {
  TBlockCounter blocks(*w.Form);
  UseBox(*w.Form, ResistorBox);
  w->SetModeItem(1);
  w->btnStartStop->click();
  ASSERT_TRUE(w->Running());
  ASSERT_TRUE(blocks.WaitFor(2));
  w->btnStartStop->click();
  ASSERT_FALSE(w->ChartData().Points(0).isEmpty());
}

// What follows the system's text when the results cannot be written.
const std::string SaveAdvice =
    ". Check that the folder exists and may be written, or choose another one with \"Save as...\".";

TEST(Faults, SettingsFolderThatIsNotWritable) {
  uitest::DefaultCard();
  uitest::TScratch scratch;
  // The folder named for the files is a regular file: nothing can be created in it, even by
  // the superuser.
  std::ofstream(scratch.Dir / "folder") << "a file, not a folder\n";
  const sorvane::TSorvaneFiles files{scratch.Dir / "folder" / "Sorvane.ini",
                                     scratch.Dir / "folder" / "Sorvane.txt"};
  TWindow w(files);
  EXPECT_TRUE(w.Messages.empty()) << "a settings file that cannot exist gives the defaults";
  EXPECT_EQ(w->ModeItem(), 0);
  DrawACurve(w);
  w->btnSave->click();
  ASSERT_EQ(w.Messages.size(), 1u);
  EXPECT_EQ(w.Messages[0], "Can not save the results to " + files.Results.string() +
                               ": Not a directory" + SaveAdvice);
  w->close();
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->CloseReport(), "");
  ASSERT_EQ(w.Messages.size(), 2u);
  EXPECT_EQ(w.Messages[1].rfind("Can not save the settings: ", 0), 0u) << w.Messages[1];
  EXPECT_NE(w.Messages[1].find("Not a directory"), std::string::npos) << w.Messages[1];
  EXPECT_EQ(ReadAll(scratch.Dir / "folder"), "a file, not a folder\n");
}

TEST(Faults, FullDiskWhileSavingSettingsKeepsTheOldFile) {
  TEarlierSessionCase t;
  auto& w = t.W;
  const std::string& before = t.Earlier;
  ASSERT_GT(before.size(), 512u);
  w->SignalIn().Poly[0][2] = 3.75e-9; // what this session would save
  w->SetModeItem(3);
  {
    const TFullDisk full(256);
    w->close();
  }
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->CloseReport(), "");
  ASSERT_EQ(w.Messages.size(), 1u);
  EXPECT_EQ(w.Messages[0].rfind("Can not save the settings: ", 0), 0u) << w.Messages[0];
  EXPECT_NE(w.Messages[0].find("File too large"), std::string::npos) << w.Messages[0];
  EXPECT_EQ(ReadAll(t.Scratch.Files().Settings), before) << "the old settings, byte for byte";
  EXPECT_EQ(FolderEntries(t.Scratch.Dir), std::vector<std::string>{"Sorvane.ini"})
      << "no temporary file left behind";
}

TEST(Faults, FullDiskWhileSavingResultsKeepsTheOldFile) {
  TEarlierSessionCase t;
  auto& w = t.W;
  DrawACurve(w);
  w->btnSave->click();
  ASSERT_TRUE(w.Messages.empty());
  const std::string saved = ReadAll(t.Scratch.Files().Results);
  ASSERT_GT(saved.size(), 4096u);
  DrawACurve(w); // a new curve, which the full disk will refuse
  {
    const TFullDisk full(1024);
    w->btnSave->click();
  }
  ASSERT_EQ(w.Messages.size(), 1u);
  EXPECT_EQ(w.Messages[0], "Can not save the results to " + t.Scratch.Files().Results.string() +
                               ": File too large" + SaveAdvice);
  EXPECT_EQ(ReadAll(t.Scratch.Files().Results), saved) << "the old results, byte for byte";
  EXPECT_EQ(FolderEntries(t.Scratch.Dir), (std::vector<std::string>{"Sorvane.ini", "Sorvane.txt"}));
  CloseCleanly(w);
  EXPECT_EQ(w.Messages.size(), 1u);
}

} // namespace
} // namespace sorvane
