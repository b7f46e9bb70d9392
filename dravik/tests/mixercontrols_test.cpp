// The capture protocol on a virtual box's mixer: what AddControl records, the two probes that
// find a control held by another program, keeping the program's values in force against outside
// changes, selectors, bad indices, and giving the user's values back in reverse order.

#include "dravik/mixer/uMixerControls.h"
#include "dravik/mixer/uMixerLog.h"
#include "dravik/tests/audio_support.h"

namespace dravik {
namespace {

using namespace audiotest;
namespace vmbox = platform::vmbox;
using Values = std::vector<DWORD>;

// Every change notice of one mixer, in the order they came.
class TNoticeRecorder : public platform::TMessageTarget {
public:
  std::vector<DWORD> Ids;

protected:
  void HandleMessage(UINT message, WPARAM, LPARAM lParam) override {
    if (message == MM_MIXM_CONTROL_CHANGE) Ids.push_back(static_cast<DWORD>(lParam));
  }
};

struct MixerControls : testing::Test {
  void SetUp() override {
    TBoxConfig jig = QuietBox("Jig", {});
    jig.Card.RefusedControl = Refused;
    vmbox::Reinitialise({jig}, TSpeed::Fast);
    Mixer = vmbox::MixerId(0);
    Ctl = std::make_unique<TMixerControls>(nullptr, Log.Event());
    Ctl->Name = "MixerIn";
    ASSERT_EQ(mixerOpen(&Ctl->Handle, Mixer, reinterpret_cast<DWORD_PTR>(Ctl->WindowHandle()),
                        0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    Ctl->Active = true;
    Ctl->OnChange = [this](void* sender) { Changes += sender == Ctl.get(); };
  }
  void TearDown() override {
    Ctl.reset();
    vmbox::ClearFaults();
  }

  static DWORD Id(DWORD destination, DWORD source, DWORD type) {
    return vmbox::MixerControlId(0, destination, source, type);
  }
  MIXERCONTROLA Info(DWORD id) const {
    MIXERCONTROLA control{};
    MIXERLINECONTROLSA query{sizeof query, 0, {id}, 1, sizeof control, &control};
    mixerGetLineControlsA(reinterpret_cast<HMIXEROBJ>(uintptr_t{Mixer}), &query,
                          MIXER_OBJECTF_MIXER | MIXER_GETLINECONTROLSF_ONEBYID);
    return control;
  }
  int32_t Add(DWORD id) { return Ctl->AddControl(Info(id), 2); }
  static Values Device(DWORD id) { return vmbox::MixerValues(0, id); }
  static void Pump() {
    for (int i = 0; i < 20; ++i) platform::ProcessMessages();
  }

  const DWORD MasterVolume = Id(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 0,
                                MIXERCONTROL_CONTROLTYPE_VOLUME);
  const DWORD MasterMute = Id(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 0,
                              MIXERCONTROL_CONTROLTYPE_MUTE);
  const DWORD WaveVolume = Id(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                              MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, MIXERCONTROL_CONTROLTYPE_VOLUME);
  const DWORD Mux = Id(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, 0, MIXERCONTROL_CONTROLTYPE_MUX);
  vmbox::TRefusedControl Refused = vmbox::TRefusedControl::None; // the card's refused control
  UINT Mixer = 0;
  TLogLines Log;
  std::unique_ptr<TMixerControls> Ctl;
  int Changes = 0;
};

TEST_F(MixerControls, AddAndCaptureKeepTheUserValues) {
  struct Case { DWORD id; Values user; int32_t channels, items; Values check0, check1; };
  const Case cases[] = {
      {MasterVolume, {1000, 2000}, 2, 1, {0, 0}, {0xFFFF, 0}},
      {MasterMute, {1}, 1, 1, {0}, {1}},           // uniform: one channel whatever was asked
      {Mux, {0, 0, 1}, 1, 3, {1, 0, 0}, {0, 1, 0}}, // multiple: one value per item
  };
  for (const auto& c : cases) {
    ASSERT_EQ(vmbox::ChangeMixerControl(0, c.id, c.user), MMSYSERR_NOERROR);
    const int32_t i = Add(c.id);
    ASSERT_GE(i, 0);
    const TCtrlData& ctrl = Ctl->Controls[i];
    EXPECT_EQ(ctrl.Channels, c.channels);
    EXPECT_EQ(ctrl.Items, c.items);
    EXPECT_EQ(ctrl.Details.cMultipleItems, c.items > 1 ? DWORD(c.items) : 0u);
    EXPECT_EQ(ctrl.SavedDetails, c.user);
    EXPECT_EQ(ctrl.CheckDetails[0], c.check0);
    EXPECT_EQ(ctrl.CheckDetails[1], c.check1);
    EXPECT_FALSE(Ctl->IsCaptured(i));
    EXPECT_EQ(Device(c.id), c.user) << "a probe must not leave its pattern behind";
    EXPECT_TRUE(Ctl->CaptureControl(i));
    EXPECT_TRUE(Ctl->Controls[i].Captured);
    EXPECT_EQ(Device(c.id), c.user);
  }
  Pump();
  EXPECT_EQ(Changes, 0);
  EXPECT_TRUE(Log.Lines.empty());
}

TEST_F(MixerControls, AddControlFailures) {
  MIXERCONTROLA singleMux = Info(Mux);
  singleMux.fdwControl &= ~MIXERCONTROL_CONTROLF_MULTIPLE; // one value: no room for the probes
  MIXERCONTROLA noChannels = Info(MasterVolume);
  vmbox::FailCall("mixerGetControlDetailsA", MIXERR_INVALCONTROL);
  EXPECT_EQ(Ctl->AddControl(Info(MasterVolume), 2), -1);
  EXPECT_EQ(Ctl->AddControl(singleMux, 2), -1);
  EXPECT_EQ(Ctl->AddControl(noChannels, 0), -1);
  const std::vector<std::pair<std::string, bool>> expected = {
      {platform::WithAdvice("MixerIn: AddControl: Get Saved Details: MIXERR_INVALCONTROL, Control "
                            "info: " + ControlText(Info(MasterVolume)), MIXERR_INVALCONTROL),
       false},
      {"MixerIn: AddControl: Exception.", false},
      {"MixerIn: AddControl: Exception.", false}};
  EXPECT_EQ(Log.Lines, expected);
  EXPECT_EQ(Ctl->Controls.size(), 3u); // the records stay, never captured
}

TEST_F(MixerControls, HeldControlIsDetectedAndNotCaptured) {
  ASSERT_EQ(vmbox::ChangeMixerControl(0, MasterVolume, {1000, 2000}), MMSYSERR_NOERROR);
  ASSERT_TRUE(vmbox::HoldMixerControl(0, MasterVolume));
  const int32_t i = Add(MasterVolume);
  EXPECT_TRUE(Ctl->IsCaptured(i));
  EXPECT_FALSE(Ctl->CaptureControl(i));
  EXPECT_FALSE(Ctl->Controls[i].Captured);
  EXPECT_TRUE(Log.Has("MixerIn: CaptureControl: Captured by another process.", false));
  Ctl->Init();
  EXPECT_EQ(Device(MasterVolume), (Values{1000, 2000}));
}

TEST_F(MixerControls, OutsideChangeIsWrittenBackOnce) {
  const int32_t master = Add(MasterVolume);
  const int32_t wave = Add(WaveVolume); // added, not captured: left alone
  ASSERT_TRUE(Ctl->CaptureControl(master));
  ASSERT_TRUE(Ctl->SetValue(master, 1, 0, 300));
  EXPECT_EQ(Changes, 1);
  Pump(); // the notice of the program's own write finds nothing to undo
  EXPECT_EQ(Changes, 1);
  ASSERT_EQ(vmbox::ChangeMixerControl(0, MasterVolume, {5, 6}), MMSYSERR_NOERROR);
  ASSERT_EQ(vmbox::ChangeMixerControl(0, WaveVolume, {7, 8}), MMSYSERR_NOERROR);
  Pump();
  EXPECT_EQ(Device(MasterVolume), (Values{0xFFFF, 300}));
  EXPECT_EQ(Device(WaveVolume), (Values{7, 8}));
  EXPECT_EQ(Changes, 2);
  EXPECT_TRUE(Ctl->LeaveControl(wave)); // not held: nothing written
  EXPECT_EQ(Device(WaveVolume), (Values{7, 8}));
  EXPECT_TRUE(Log.Lines.empty());
}

// A control that another program seizes while the program holds it is given up, and owes the
// user's values all the same: leaving it writes them back. When the other program has let go
// they stay; while it holds on it puts its own back, and the log names the control.
TEST_F(MixerControls, ASeizedControlGetsTheUserValuesBackWhenItIsFree) {
  const std::string kept = "MixerIn: LeaveControl: \"Master Volume\" is held by another "
                           "program; the setting it had before is not restored.";
  for (const bool release : {true, false}) {
    SCOPED_TRACE(release ? "released" : "still held");
    Ctl->Init();
    ASSERT_EQ(mixerOpen(&Ctl->Handle, Mixer, reinterpret_cast<DWORD_PTR>(Ctl->WindowHandle()),
                        0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    Ctl->Active = true;
    Log.Lines.clear();
    ASSERT_EQ(vmbox::ChangeMixerControl(0, MasterVolume, {1000, 2000}), MMSYSERR_NOERROR);
    const int32_t i = Add(MasterVolume);
    ASSERT_TRUE(Ctl->CaptureControl(i));
    ASSERT_TRUE(Ctl->SetValue(i, 0, 0, 0xFFFF));
    ASSERT_EQ(vmbox::ChangeMixerControl(0, MasterVolume, {7, 8}), MMSYSERR_NOERROR);
    ASSERT_TRUE(vmbox::HoldMixerControl(0, MasterVolume));
    Pump();
    ASSERT_TRUE(Log.Has("MixerIn: OnChange: Captured by another process.", false));
    EXPECT_FALSE(Ctl->Controls[i].Captured);
    if (release) vmbox::ReleaseMixerControl(0, MasterVolume);
    Log.Lines.clear();
    EXPECT_TRUE(Ctl->LeaveControl(i));
    EXPECT_EQ(Device(MasterVolume), (release ? Values{1000, 2000} : Values{7, 8}));
    EXPECT_EQ(Log.Has(kept, false), !release);
    Log.Lines.clear();
    EXPECT_TRUE(Ctl->LeaveControl(i)) << "owed once only";
    EXPECT_TRUE(Log.Lines.empty());
    vmbox::ReleaseMixerControl(0, MasterVolume);
  }
}

TEST_F(MixerControls, SelectorValues) {
  const int32_t mux = Add(Mux);
  MIXERCONTROLA multiple = Info(Mux);
  multiple.dwControlType = MIXERCONTROL_CONTROLTYPE_MIXER;
  const int32_t mixer = Ctl->AddControl(multiple, 2);
  EXPECT_TRUE(Ctl->SetValue(mux, 0, 2, 1));
  EXPECT_EQ(Device(Mux), (Values{0, 0, 1}));
  // A multiple-select selector keeps the items already set (the box's own selector is single
  // select and refuses two items, so only the program's values are looked at).
  Ctl->SetValue(mixer, 0, 0, 1);
  EXPECT_EQ(Ctl->Controls[mixer].CurrentDetails, (Values{1, 1, 0}));
}

TEST_F(MixerControls, BadIndicesTouchNothing) {
  const int32_t i = Add(MasterVolume);
  struct Case { int32_t index, channel, item; const char* line; };
  const Case cases[] = {
      {-1, 0, 0, "MixerIn: SetValue: Control index -1 is out of range."},
      {1, 0, 0, "MixerIn: SetValue: Control index 1 is out of range."},
      {i, 2, 0, "MixerIn: SetValue: Channel index is out of range."},
      {i, -1, 0, "MixerIn: SetValue: Channel index is out of range."},
      {i, 0, 1, "MixerIn: SetValue: Item index is out of range."},
  };
  for (const auto& c : cases) {
    Log.Lines.clear();
    EXPECT_FALSE(Ctl->SetValue(c.index, c.channel, c.item, 5));
    EXPECT_EQ(Log.Lines, (decltype(Log.Lines){{c.line, false}}));
  }
  EXPECT_FALSE(Ctl->CaptureControl(3));
  EXPECT_TRUE(Log.Has("MixerIn: CaptureControl: Control index 3 is out of range.", false));
  EXPECT_EQ(Device(MasterVolume), (Values{0xFFFF, 0xFFFF}));
  EXPECT_EQ(Changes, 0);
}

TEST_F(MixerControls, ProbeFailuresAreReported) {
  struct Case { const char* call; MMRESULT code; const char* line; };
  const Case cases[] = {
      {"mixerGetControlDetailsA", MMSYSERR_INVALHANDLE,
       "MixerIn: IsCaptured: Get Current Details: MMSYSERR_INVALHANDLE"},
      {"mixerSetControlDetails", MIXERR_INVALVALUE,
       "MixerIn: IsCaptured: Set Check Details 0: MIXERR_INVALVALUE"},
      {"mixerSetControlDetails", MMSYSERR_NOMEM,
       "MixerIn: IsCaptured: Set Check Details 0: Unknown mixer error"},
  };
  const int32_t i = Add(MasterVolume);
  for (const auto& c : cases) {
    Log.Lines.clear();
    vmbox::FailCall(c.call, c.code);
    EXPECT_FALSE(Ctl->IsCaptured(i));
    EXPECT_EQ(Log.Lines, (decltype(Log.Lines){{platform::WithAdvice(c.line, c.code), false}}));
  }
}

TEST_F(MixerControls, InitGivesBackInReverseOrderEvenWhenOneFails) {
  ASSERT_EQ(vmbox::ChangeMixerControl(0, MasterVolume, {1000, 2000}), MMSYSERR_NOERROR);
  const DWORD ids[] = {MasterVolume, MasterMute, WaveVolume};
  for (const DWORD id : ids) {
    const int32_t i = Add(id);
    ASSERT_TRUE(Ctl->CaptureControl(i));
    ASSERT_TRUE(Ctl->SetValue(i, 0, 0, 1));
  }
  TNoticeRecorder notices;
  HMIXER other = nullptr;
  ASSERT_EQ(mixerOpen(&other, Mixer, reinterpret_cast<DWORD_PTR>(notices.Handle()), 0,
                      CALLBACK_WINDOW), MMSYSERR_NOERROR);
  vmbox::FailCall("mixerSetControlDetails", MMSYSERR_INVALPARAM); // the last one's restore
  vmbox::FailCall("mixerClose", MMSYSERR_INVALHANDLE);
  Ctl->Init();
  Pump();
  EXPECT_EQ(notices.Ids, (std::vector<DWORD>{MasterMute, MasterVolume}));
  EXPECT_EQ(Device(MasterVolume), (Values{1000, 2000}));
  EXPECT_EQ(Device(MasterMute), (Values{0}));
  EXPECT_EQ(Device(WaveVolume), (Values{1, 0xFFFF}));
  EXPECT_TRUE(Ctl->Controls.empty());
  EXPECT_EQ(Ctl->DeviceID, -1);
  const std::vector<std::pair<std::string, bool>> expected = {
      {platform::WithAdvice("MixerIn: LeaveControl: Set Saved Details: MMSYSERR_INVALPARAM",
                            MMSYSERR_INVALPARAM), false},
      // The step's own full stop stays, the advice follows it.
      {"MixerIn: Init: Can not Close: MMSYSERR_INVALHANDLE. The device was closed under the "
       "program, perhaps because it was unplugged: plug it in, choose it again and press Start.",
       false}};
  EXPECT_EQ(Log.Lines, expected);
  EXPECT_TRUE(Ctl->Active); // still open: the next Init closes it
  Ctl->Init();
  EXPECT_FALSE(Ctl->Active);
  mixerClose(other);
}

// A card that refuses every write to the master volume: each operation that writes it fails,
// says so in the log line it always had, followed by the driver's detail in brackets, and
// reports no change; the master mute on the same mixer is taken over as usual.
struct RefusingMixerControls : MixerControls {
  RefusingMixerControls() { Refused = vmbox::TRefusedControl::MasterVolume; }
};

TEST_F(RefusingMixerControls, ARefusedWriteIsLoggedWithItsDetailAndFails) {
  const int32_t i = Add(MasterVolume);
  ASSERT_EQ(i, 0);
  const std::string detail = " [Virtual card: the write to \"Master Volume\" was refused]";
  auto line = [&](const std::string& text) {
    return std::make_pair(platform::WithAdvice("MixerIn: " + text + ": Unknown mixer error",
                                               MMSYSERR_ERROR) + detail, false);
  };
  const auto probe = line("IsCaptured: Set Check Details 0");
  const auto restore = line("IsCaptured: Set Current Details");
  struct Case {
    const char* What;
    std::function<bool()> Act;
    std::vector<std::pair<std::string, bool>> Lines;
  };
  const Case cases[] = {
      {"probe", [&] { return Ctl->IsCaptured(i); }, {probe, restore}},
      {"capture", [&] { return Ctl->CaptureControl(i); },
       {probe, restore, line("CaptureControl: Set Current Details")}},
      {"set a value", [&] { return Ctl->SetValue(i, 0, 0, 5); },
       {line("SetValue: Set Current Details")}},
      {"give back", [&] { return Ctl->LeaveControl(i); }, {line("LeaveControl: Set Saved Details")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    Log.Lines.clear();
    EXPECT_FALSE(c.Act());
    EXPECT_EQ(Log.Lines, c.Lines);
  }
  EXPECT_EQ(Device(MasterVolume), (Values{0xFFFF, 0xFFFF}));
  Pump();
  EXPECT_EQ(Changes, 0);
  Log.Lines.clear();
  const int32_t mute = Add(MasterMute);
  EXPECT_TRUE(Ctl->CaptureControl(mute));
  EXPECT_TRUE(Ctl->SetValue(mute, 0, 0, 1));
  EXPECT_EQ(Device(MasterMute), (Values{1}));
  EXPECT_EQ(Log.Lines, (decltype(Log.Lines){}));
}

} // namespace
} // namespace dravik
