// The window under the faults a desk and a sound card can throw at it: devices that fail to open
// or refuse a format, lost samples, devices that vanish mid-run, failing mixer calls, controls
// held or changed by another program in every run state, and a settings file that cannot be
// written. In every case the window keeps running or ends the run with the system's own text in
// its log, it can be closed, and the settings file holds either the old or the new settings in
// full, never a part.

#include "dravik/tests/ui_support.h"

#include "platform/inifile.h"
#include "platform/tests/full_disk.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <random>

namespace dravik {
namespace {

using namespace uitest;
using vmbox::TPort;

constexpr size_t CoilBox = 0; // 3.3 Ohm + 1 mH
constexpr DWORD Recording = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
constexpr DWORD LineIn = MIXERLINE_COMPONENTTYPE_SRC_LINE;
constexpr DWORD Volume = MIXERCONTROL_CONTROLTYPE_VOLUME;

const std::string NoDriver = "The device is not present: no driver serves it.";
// The driver's texts, each followed by what it means to the user and what to try.
const std::string Allocated = "The device is already open; close it before opening it again. "
                              "Another program is using the device: close that program or choose "
                              "another device.";
const std::string BadFormat = "The device cannot work with this wave format. The device does not "
                              "support this sampling rate or number of bits: choose another rate "
                              "(44100 or 48000 Hz with 16 bits suits most cards).";

// A settings file as a user's program folder holds it: a calibration of its own (offsets and
// a gain the window must keep), a comment and a section of another tool.
std::string SeedText() {
  std::string text = "; kept by hand\n[Dravik]\nRun mode=1\nReference resistor=10\n"
                     "[Calibration]\nChannels=2\nAttNumber=5\n";
  for (int c = 0; c < 2; ++c) {
    for (int s = 0; s < 5; ++s) {
      const std::string step = std::to_string(c) + std::to_string(s);
      text += "OffSet" + step + "=" + std::to_string(0.0001 * (c + 1)) + "\n";
      text += "AttVal" + step + "=" + std::to_string((1 << s) * (c ? 1.002 : 1.0)) + "\n";
    }
  }
  return text + "[Other]\nKept=yes\n";
}

double Relative(double measured, double actual) { return std::fabs(measured - actual) / actual; }

struct Faults : TWindowTest {
  std::string Before; // the settings file's bytes before the window ran

  void SetUp() override {
    TWindowTest::SetUp();
    WriteSettings(SeedText());
    Before = ReadSettings();
  }

  // The last lines of the log, for failure messages.
  std::string Tail() const {
    std::string text;
    for (size_t i = Log.size() > 30 ? Log.size() - 30 : 0; i < Log.size(); ++i)
      text += (Log[i].second ? "  " : "E ") + Log[i].first + "\n";
    return text;
  }
  bool LoggedError(const std::string& text) const { return Logged(text, false); }
  bool AnyErrorContains(const std::string& part) const {
    return std::any_of(Log.begin(), Log.end(), [&](const auto& line) {
      return !line.second && line.first.find(part) != std::string::npos;
    });
  }

  // The run has ended: both devices closed, the window shows it is ready for the next Start.
  bool Ended() const {
    return Idle() && W->btnStart->text() == "Start" && W->rgRunMode->isEnabled() &&
           W->ReadyToStart();
  }
  bool WaitEnded() { return PumpUntil([this] { return Ended(); }, 30s); }

  bool Measuring(int more) {
    const int target = Results + more;
    return PumpUntil([&] { return Results >= target; }, 120s);
  }
  bool LastResultReadsTheCoil() const {
    const TLCRFitResult& fit = W->Analysis.LastFit();
    return Relative(static_cast<double>(fit.R), 3.3) < 0.01 &&
           Relative(static_cast<double>(fit.Value), 1e-3) < 0.01 &&
           Text(W->lblZ).rfind("Lx= ", 0) == 0;
  }

  void StartCalibration() {
    SelectBox(vmbox::BoxCount() - 1);
    W->rgRunMode->Item(0)->click();
    W->btnStart->click();
  }
  bool CalibrationDone() {
    return PumpUntil([this] { return Count("Calibration done.") > 0; }, 120s);
  }

  // What a save at this moment must put into the file's "Calibration" section.
  platform::TIniFile CalibrationNow() const {
    platform::TIniFile held(Dir / "held.ini");
    W->SignalIn->SaveCalibration(held);
    return held;
  }

  // Closes the window, which must agree and report its shutdown.
  void Close() {
    EXPECT_TRUE(W->close()) << Tail();
    EXPECT_TRUE(Logged("- Destruction is done. -", true)) << Tail();
    EXPECT_FALSE(W->SignalIn || W->SignalOut);
  }
  // Closing wrote the whole file: the window's nine keys with the two device names, the
  // calibration it held, the lines it does not own. Nothing else was left in the folder.
  void CloseAndExpectSaved() {
    ASSERT_TRUE(W->SignalIn);
    const platform::TIniFile held = CalibrationNow();
    Close();
    const platform::TIniFile saved(Settings);
    EXPECT_EQ(saved.ReadSection("Dravik").size(), 11u) << ReadSettings();
    EXPECT_EQ(saved.ReadString("Other", "Kept", ""), "yes");
    EXPECT_NE(ReadSettings().find("; kept by hand"), std::string::npos);
    const std::vector<std::string> keys = held.ReadSection("Calibration");
    EXPECT_EQ(saved.ReadSection("Calibration"), keys);
    for (const auto& key : keys)
      EXPECT_EQ(saved.ReadString("Calibration", key, "?"), held.ReadString("Calibration", key, ""))
          << key;
    ExpectOnlyTheSettingsFile();
  }
  void CloseAndExpectUnchanged() {
    Close();
    EXPECT_EQ(ReadSettings(), Before);
    ExpectOnlyTheSettingsFile();
  }
  void ExpectOnlyTheSettingsFile() const {
    for (const auto& entry : std::filesystem::directory_iterator(Dir)) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == "Dravik.ini" || name == "held.ini") << "left behind: " << name;
    }
  }
};

// ---- Devices that fail to open or refuse the format ----

struct TOpenCase {
  const char* Name;
  int RunMode;    // 0 calibration, 1 measurement
  TPort Port;
  MMRESULT Code;
  std::string Line; // the error line in the log
};

// The failed device reports the system's text and the run ends at once; the next Start, with
// the device free again, runs normally.
TEST_F(Faults, ADeviceThatFailsToOpenEndsTheRunWithTheSystemsText) {
  const TOpenCase cases[] = {
      {"input, measurement", 1, TPort::Input, MMSYSERR_ALLOCATED, "WaveIn: Open: " + Allocated},
      {"output, measurement", 1, TPort::Output, MMSYSERR_ALLOCATED, "WaveOut: Open: " + Allocated},
      {"input, calibration", 0, TPort::Input, MMSYSERR_ALLOCATED, "WaveIn: Open: " + Allocated},
      {"input refuses the format", 1, TPort::Input, WAVERR_BADFORMAT, "WaveIn: Open: " + BadFormat},
      {"output refuses the format", 1, TPort::Output, WAVERR_BADFORMAT,
       "WaveOut: Open: " + BadFormat},
  };
  Open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    SelectBox(c.RunMode == 1 ? CoilBox : vmbox::BoxCount() - 1);
    W->rgRunMode->Item(c.RunMode)->click();
    vmbox::FailNextOpen(c.Port, c.Code);
    W->btnStart->click();
    ASSERT_TRUE(WaitEnded()) << Tail();
    EXPECT_TRUE(LoggedError(c.Line)) << Tail();
    Log.clear();
    if (c.RunMode == 1) {
      ASSERT_TRUE(Measure(1)) << Tail();
      EXPECT_TRUE(LastResultReadsTheCoil()) << Text(W->lblR) << ", " << Text(W->lblZ);
      StopRun();
    }
  }
  CloseAndExpectSaved();
}

// A rate the card does not offer: the devices refuse it when the run opens them, the run ends
// with the system's text, and with a rate the card offers the next run measures.
TEST_F(Faults, ARefusedRateEndsTheRunAndAnOfferedOneMeasures) {
  vmbox::SetMaxSampleRate(48000);
  Open();
  SelectBox(CoilBox);
  W->cbSampling->setCurrentIndex(W->cbSampling->findText("96000"));
  W->cbBitsSamplingChange();
  W->rgRunMode->Item(1)->click();
  W->btnStart->click();
  ASSERT_TRUE(WaitEnded()) << Tail();
  EXPECT_TRUE(AnyErrorContains(BadFormat)) << Tail();
  W->cbSampling->setCurrentIndex(W->cbSampling->findText("48000"));
  W->cbBitsSamplingChange();
  ASSERT_TRUE(Measure(1)) << Tail();
  EXPECT_TRUE(LastResultReadsTheCoil()) << Text(W->lblR) << ", " << Text(W->lblZ);
  StopRun();
  CloseAndExpectSaved();
}

// ---- Lost samples ----

// Losses at random moments (seeded, so a failure repeats): the capture drops the blocks that
// may span a gap, so every result still reads the coil and the calibration finds the card's
// offsets and gain.
TEST_F(Faults, SamplesLostAtRandomMomentsNeverReachAResult) {
  vmbox::Reinitialise(vmbox::DefaultBoxes(), vmbox::TSpeed::Fast);
  Open();
  std::mt19937 random(13);
  std::uniform_real_distribution<double> gap(0.05, 0.6);
  std::uniform_int_distribution<uint32_t> frames(1, 9600);
  const auto loseWhile = [&](size_t box, const std::function<bool()>& done) {
    int losses = 0;
    double next = vmbox::AudioSeconds() + gap(random);
    const bool ok = PumpUntil([&] {
      if (vmbox::AudioSeconds() >= next) {
        vmbox::LoseSamples(box, frames(random));
        ++losses;
        next = vmbox::AudioSeconds() + gap(random);
      }
      return done();
    }, 120s);
    EXPECT_GT(losses, 3);
    return ok;
  };
  StartCalibration();
  ASSERT_TRUE(loseWhile(vmbox::BoxCount() - 1, [this] { return Count("Calibration done.") > 0; }))
      << Tail();
  const auto& cal = W->SignalIn->CalibrIn->ChannelCal;
  EXPECT_NEAR(static_cast<double>(cal[0].Steps[0].OffSet), 0.0012, 2e-4);
  EXPECT_NEAR(static_cast<double>(cal[1].Steps[0].OffSet), -0.0008, 2e-4);
  EXPECT_NEAR(static_cast<double>(cal[1].Steps[0].AttVal), 1 / 0.985, 2e-3);
  EXPECT_NEAR(static_cast<double>(cal[0].Steps[4].AttVal), 16, 0.1);

  SelectBox(CoilBox);
  ASSERT_TRUE(Measure(1));
  int checked = 0;
  QObject::connect(W.get(), &TfmLCR::ResultShown, [&] {
    ++checked;
    const TLCRFitResult& fit = W->Analysis.LastFit();
    EXPECT_LT(Relative(static_cast<double>(fit.R), 3.3), 0.05) << Text(W->lblR);
    EXPECT_LT(Relative(static_cast<double>(fit.Value), 1e-3), 0.05) << Text(W->lblZ);
  });
  ASSERT_TRUE(loseWhile(CoilBox, [&] { return checked >= 8; })) << Tail();
  StopRun();
  CloseAndExpectSaved();
}

// ---- Devices that vanish ----

struct TVanishCase {
  const char* Name;
  int RunMode;
  const char* After; // the log line that marks the run state, or null: the first result
  TPort Port;
};

// Whichever device goes away, the run ends with the system's text, the window is ready for the
// next Start, and the calibration measured before the loss is what closing saves.
TEST_F(Faults, ADeviceThatVanishesEndsTheRun) {
  const TVanishCase cases[] = {
      {"input, measuring", 1, nullptr, TPort::Input},
      {"output, measuring", 1, nullptr, TPort::Output},
      {"input, offset run", 0, "Offset calibration...", TPort::Input},
      {"input, amplitude run", 0, "Amplitude calibration...", TPort::Input},
      {"output, amplitude run", 0, "Amplitude calibration...", TPort::Output},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    vmbox::Reinitialise(MatchedBoxes(), vmbox::TSpeed::Fast);
    WriteSettings(SeedText());
    Log.clear();
    Open();
    const size_t box = c.RunMode == 1 ? CoilBox : vmbox::BoxCount() - 1;
    if (c.RunMode == 1) {
      SelectBox(box);
      ASSERT_TRUE(Measure(1)) << Tail();
    } else {
      StartCalibration();
      ASSERT_TRUE(PumpUntil([&] { return Count(c.After) > 0; })) << Tail();
      ASSERT_TRUE(RunAudio(0.3));
    }
    vmbox::Vanish(box, c.Port);
    ASSERT_TRUE(WaitEnded()) << Tail();
    EXPECT_TRUE(AnyErrorContains(NoDriver)) << Tail();
    EXPECT_TRUE(Logged(c.RunMode == 1 ? "Stop measurement." : "Calibration aborted.",
                       c.RunMode == 1)) << Tail();
    // No block of silence was taken for a channel without signal.
    EXPECT_EQ(Count("Calibration done."), 0u);
    EXPECT_EQ(W->SignalIn->GetStepCount(), 5);
    CloseAndExpectSaved();
    W.reset();
  }
}

// ---- The mixer ----

struct TMixerSetupCase {
  const char* Call;
  MMRESULT Code;
  std::string Line;
  bool StartUpEnds;
};

// A mixer that cannot be set up stops the start-up with the mixer's own result name; the window
// still closes and leaves the settings file as it was, since it never read it. A failed probe
// of a control is reported and the set-up goes on.
TEST_F(Faults, MixerCallsThatFailAtStartUp) {
  const std::string out =
      "MixerOut: Set device " + std::to_string(vmbox::MixerId(0));
  const TMixerSetupCase cases[] = {
      {"mixerOpen", MMSYSERR_NODRIVER, out + ": Open: MMSYSERR_NODRIVER", true},
      {"mixerGetDevCapsA", MMSYSERR_INVALPARAM, out + ": Caps: MMSYSERR_INVALPARAM", true},
      {"mixerGetID", MMSYSERR_BADDEVICEID, "GetMixID: MMSYSERR_BADDEVICEID", true},
      {"mixerGetLineControlsA", MMSYSERR_INVALPARAM, "DstCtrlsAll: ", true},
      {"mixerSetControlDetails", MMSYSERR_INVALPARAM,
       "MixerOut: IsCaptured: Set Check Details 0: MMSYSERR_INVALPARAM", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Call);
    Log.clear();
    vmbox::FailCall(c.Call, c.Code);
    Open();
    EXPECT_NE(W->btnStart->isEnabled(), c.StartUpEnds);
    EXPECT_TRUE(AnyErrorContains(c.Line)) << Tail();
    if (c.StartUpEnds) {
      CloseAndExpectUnchanged();
    } else {
      CloseAndExpectSaved();
      WriteSettings(SeedText());
    }
    W.reset();
    vmbox::ClearFaults();
  }
}

// Level changes whose mixer writes fail (the inputs amplify three times, so the first blocks
// clip): the mixer says so in the log, the level handlers try again on the next blocks, and
// once the writes succeed the results read the coil.
TEST_F(Faults, MixerWritesThatFailWhileMeasuring) {
  std::vector<TBoxConfig> boxes = MatchedBoxes();
  for (auto& box : boxes) box.Card.Gain[0] = box.Card.Gain[1] = 3;
  vmbox::Reinitialise(boxes, vmbox::TSpeed::Fast);
  Open();
  SelectBox(CoilBox);
  vmbox::FailCall("mixerSetControlDetails", MMSYSERR_ERROR, 6);
  ASSERT_TRUE(Measure(3)) << Tail();
  EXPECT_TRUE(AnyErrorContains("Can not set value for source channel.")) << Tail();
  EXPECT_TRUE(LastResultReadsTheCoil()) << Text(W->lblR) << ", " << Text(W->lblZ) << "\n"
                                        << Tail();
  StopRun();
  CloseAndExpectSaved();
}

// Another program holds the recording line's volume from the start: the mixer routes no source
// and sets the levels on the recording destination instead; measuring works.
TEST_F(Faults, AControlHeldByAnotherProgramBeforeStartUp) {
  for (size_t box = 0; box < vmbox::BoxCount(); ++box)
    ASSERT_TRUE(vmbox::HoldMixerControl(box, vmbox::MixerControlId(box, Recording, LineIn, Volume)));
  Open();
  ASSERT_TRUE(W->btnStart->isEnabled()) << Tail();
  SelectBox(CoilBox);
  ASSERT_TRUE(Measure(2)) << Tail();
  EXPECT_TRUE(LastResultReadsTheCoil()) << Text(W->lblR) << ", " << Text(W->lblZ);
  StopRun();
  CloseAndExpectSaved();
}

struct THeldCase {
  const char* Name;
  DWORD Destination;
  DWORD ControlType;
  std::string Line; // names the held control and the list to choose from
};

// A control of a destination that another program holds on the box the window starts with:
// that device cannot be set up, yet both chains are created and the lists filled, so the user
// can choose another box; Start stays disabled until every device in use is set up, and then
// measures.
TEST_F(Faults, AHeldDestinationControlLetsTheUserChooseAnotherDevice) {
  constexpr DWORD Speakers = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
  const std::string held = "\" is held by another program; choose another ";
  const THeldCase cases[] = {
      {"recording volume", Recording, Volume,
       "SignalIn: The mixer control \"Recording Volume" + held + "input device."},
      {"recording source", Recording, MIXERCONTROL_CONTROLTYPE_MUX,
       "SignalIn: The mixer control \"Recording Source" + held + "input device."},
      {"master volume", Speakers, Volume,
       "SignalOut: The mixer control \"Master Volume" + held + "output device."},
      {"master mute", Speakers, MIXERCONTROL_CONTROLTYPE_MUTE,
       "SignalOut: The mixer control \"Master Mute" + held + "output device."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    vmbox::Reinitialise(MatchedBoxes(), vmbox::TSpeed::Fast);
    WriteSettings(SeedText());
    Log.clear();
    const DWORD control = vmbox::MixerControlId(CoilBox, c.Destination, 0, c.ControlType);
    ASSERT_TRUE(vmbox::HoldMixerControl(CoilBox, control));
    Open();
    ASSERT_TRUE(W->SignalIn && W->SignalOut) << Tail();
    EXPECT_EQ(W->cbIn->count(), static_cast<int>(vmbox::BoxCount()));
    EXPECT_EQ(W->cbOut->count(), static_cast<int>(vmbox::BoxCount()));
    EXPECT_TRUE(Logged(c.Line, false)) << Tail();
    EXPECT_EQ(Count(c.Line), 1u) << Tail();
    EXPECT_TRUE(Logged("- Creation is done. -", true)) << Tail();
    EXPECT_FALSE(W->btnStart->isEnabled());
    SelectBox(1);
    ASSERT_TRUE(W->btnStart->isEnabled()) << Tail();
    EXPECT_GT(W->cbInSrc->count(), 0);
    ASSERT_TRUE(Measure(1)) << Tail();
    StopRun();
    // Back on the held box, Start is refused again.
    SelectBox(CoilBox);
    EXPECT_FALSE(W->btnStart->isEnabled());
    CloseAndExpectSaved();
    W.reset();
  }
}

// Another program seizes a control the window has taken over, in the middle of a measurement,
// and writes its own value back on every change: the window says so and leaves the control to
// it instead of fighting it (which would drop every block without end); the measurement goes
// on, and stops and closes on request.
//
// At close the user's setting goes back to a control the other program has let go of by then;
// one it still holds keeps the other program's value, and the log names it.
TEST_F(Faults, AControlSeizedByAnotherProgramWhileMeasuring) {
  const DWORD master = vmbox::MixerControlId(CoilBox, Recording, 0, Volume);
  const std::vector<DWORD> user = vmbox::MixerValues(CoilBox, master);
  const std::string kept = "MixerIn: LeaveControl: \"Recording Volume\" is held by another "
                           "program; the setting it had before is not restored.";
  for (const bool releasedBeforeClose : {true, false}) {
    SCOPED_TRACE(releasedBeforeClose ? "released before close" : "held at close");
    vmbox::Reinitialise(MatchedBoxes(), vmbox::TSpeed::Fast);
    WriteSettings(SeedText());
    Log.clear();
    Open();
    SelectBox(CoilBox);
    ASSERT_TRUE(Measure(1)) << Tail();
    // The other program sets its value and holds it before the window has seen the change.
    ASSERT_EQ(vmbox::ChangeMixerControl(CoilBox, master, {100, 100}), MMSYSERR_NOERROR);
    ASSERT_TRUE(vmbox::HoldMixerControl(CoilBox, master));
    const int results = Results;
    // A result within half a minute of the card's audio: on a loaded machine the fast card's
    // three seconds can pass while the window still drops the blocks the change overtook.
    const double until = vmbox::AudioSeconds() + 30;
    ASSERT_TRUE(PumpUntil([&] { return Results > results || vmbox::AudioSeconds() >= until; }, 300s));
    EXPECT_TRUE(Logged("MixerIn: OnChange: Captured by another process.", false)) << Tail();
    EXPECT_GE(Results - results, 1) << "the measurement went on";
    W->btnStart->click();
    EXPECT_TRUE(WaitEnded()) << Tail();
    if (releasedBeforeClose) vmbox::ReleaseMixerControl(CoilBox, master);
    CloseAndExpectSaved();
    if (releasedBeforeClose) {
      EXPECT_EQ(vmbox::MixerValues(CoilBox, master), user);
      EXPECT_EQ(Count(kept), 0u) << Tail();
    } else {
      EXPECT_EQ(vmbox::MixerValues(CoilBox, master), (std::vector<DWORD>{100, 100}));
      EXPECT_EQ(Count(kept), 1u) << Tail();
    }
    W.reset();
  }
}

// ---- Outside mixer changes in every run state ----

struct TChangeCase {
  const char* Name;
  int RunMode;       // -1: idle
  const char* After; // the log line that marks the run state, or null: the first result
};

// The window holds the recording line's volume: another program's change is written back at
// once, the blocks in flight are dropped, and the run goes on: the calibration finds the card's
// offsets and gains, the measurement reads what it read before the change.
TEST_F(Faults, AnOutsideMixerChangeInEveryRunState) {
  const TChangeCase cases[] = {
      {"offset run", 0, "Offset calibration..."},
      {"amplitude run", 0, "Amplitude calibration..."},
      {"idle", -1, nullptr},
      {"measuring", 1, nullptr},
  };
  vmbox::Reinitialise(vmbox::DefaultBoxes(), vmbox::TSpeed::Fast);
  Open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const size_t box = c.RunMode == 0 ? vmbox::BoxCount() - 1 : CoilBox;
    SelectBox(box);
    TLCRFitResult before;
    if (c.RunMode == 1) {
      ASSERT_TRUE(Measure(2)) << Tail();
      before = W->Analysis.LastFit();
    }
    if (c.RunMode == 0) {
      Log.clear();
      StartCalibration();
      ASSERT_TRUE(PumpUntil([&] { return Count(c.After) > 0; })) << Tail();
      ASSERT_TRUE(RunAudio(0.1));
    }
    const DWORD line = vmbox::MixerControlId(box, Recording, LineIn, Volume);
    const std::vector<DWORD> held = vmbox::MixerValues(box, line);
    ASSERT_EQ(vmbox::ChangeMixerControl(box, line, {123, 456}), MMSYSERR_NOERROR);
    ASSERT_TRUE(PumpUntil([&] { return vmbox::MixerValues(box, line) == held; })) << Tail();
    if (c.RunMode == 1) {
      // The card's own realism stays in the reading; the change must not add to it.
      ASSERT_TRUE(Measuring(3)) << Tail();
      const TLCRFitResult& fit = W->Analysis.LastFit();
      EXPECT_LT(Relative(static_cast<double>(fit.R), static_cast<double>(before.R)), 0.005);
      EXPECT_LT(Relative(static_cast<double>(fit.Value), static_cast<double>(before.Value)), 0.005);
      StopRun();
    }
    if (c.RunMode == 0) {
      ASSERT_TRUE(CalibrationDone()) << Tail();
      const auto& cal = W->SignalIn->CalibrIn->ChannelCal;
      EXPECT_NEAR(static_cast<double>(cal[0].Steps[2].OffSet), 0.0012, 2e-4);
      EXPECT_NEAR(static_cast<double>(cal[1].Steps[0].AttVal), 1 / 0.985, 2e-3);
      EXPECT_NEAR(static_cast<double>(cal[1].Steps[4].AttVal), 16 / 0.985, 0.1);
      EXPECT_NEAR(static_cast<double>(cal[0].Steps[4].AttVal), 16, 0.1);
    }
    EXPECT_FALSE(AnyErrorContains("")) << Tail();
  }
  CloseAndExpectSaved();
}

// ---- The settings file ----

// A settings folder that cannot be written (its path runs through a regular file): start-up
// takes the designed defaults, closing says why the file could not be written and closes.
TEST_F(Faults, ASettingsFolderThatIsNotWritable) {
  const std::filesystem::path blocker = Dir / "not a folder";
  std::ofstream(blocker) << "x";
  Settings = blocker / "Dravik.ini";
  Open();
  ASSERT_TRUE(W->btnStart->isEnabled()) << Tail();
  // The log goes away with the window: the failure is also said where it can be seen.
  std::vector<std::string> closeFailures;
  QObject::connect(W.get(), &TfmLCR::CloseFailed,
                   [&](const QString& text) { closeFailures.push_back(text.toStdString()); });
  Close();
  ASSERT_EQ(closeFailures.size(), 1u);
  EXPECT_EQ(closeFailures[0].rfind("Cannot write the settings file", 0), 0u) << closeFailures[0];
  EXPECT_TRUE(AnyErrorContains("Cannot write the settings file")) << Tail();
  EXPECT_TRUE(AnyErrorContains(std::strerror(ENOTDIR))) << Tail();
}

using testfiles::TFullDisk;

// A disk that fills up while the settings are saved, with nothing written or half the file
// written: the window reports it with the system's text, closes, and the old file keeps its
// bytes, the calibration it held included.
TEST_F(Faults, AFullDiskWhileSavingKeepsTheOldFile) {
  for (const rlim_t room : {rlim_t{0}, static_cast<rlim_t>(Before.size() / 2)}) {
    SCOPED_TRACE(room);
    Log.clear();
    Open();
    ASSERT_TRUE(W->btnStart->isEnabled()) << Tail();
    W->edR->setText("4.7"); // a change that a save would carry
    {
      const TFullDisk full(room);
      EXPECT_TRUE(W->close());
    }
    EXPECT_TRUE(AnyErrorContains("Cannot write the settings file")) << Tail();
    EXPECT_TRUE(AnyErrorContains(std::strerror(EFBIG))) << Tail();
    EXPECT_TRUE(Logged("- Destruction is done. -", true));
    EXPECT_EQ(ReadSettings(), Before);
    ExpectOnlyTheSettingsFile();
    W.reset();
  }
}

// ---- The log ----

// Faults can fill the log for as long as the window runs; it keeps its latest lines only.
TEST_F(Faults, TheLogKeepsItsLatestLines) {
  Open();
  for (int i = 0; i < 2500; ++i) W->AddMessage("line " + std::to_string(i), i % 2 == 0);
  EXPECT_LE(W->reMes->document()->blockCount(), 2000);
  EXPECT_GE(W->reMes->document()->blockCount(), 1000);
  EXPECT_EQ(W->reMes->document()->lastBlock().text(), "line 2499");
  Close();
}

} // namespace
} // namespace dravik
