// The output chain on the virtual card: its creation and destruction reports, output
// attenuation steps read back through the mixer and acting on what the box plays, steps outside
// 0..30, rebinding the mixer when the device changes, and the change handler.

#include "dravik/signal/uSignalOut.h"
#include "dravik/tests/signal_support.h"

#include <cmath>
#include <cstdlib>
#include <map>

namespace dravik {
namespace {

using namespace audiotest;
using namespace signaltest;
namespace vmbox = platform::vmbox;
using Values = std::vector<DWORD>;

constexpr DWORD Speakers = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
constexpr DWORD Wave = MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
constexpr DWORD Volume = MIXERCONTROL_CONTROLTYPE_VOLUME;
constexpr DWORD Mute = MIXERCONTROL_CONTROLTYPE_MUTE;

DWORD SpeakersId(size_t box, DWORD source, DWORD type) {
  return vmbox::MixerControlId(box, Speakers, source, type);
}

// The speakers controls of a box as a user left them: every mute on, no two volumes alike.
std::map<DWORD, Values> UserSpeakers(size_t box) {
  std::map<DWORD, Values> user;
  DWORD level = 11000 + 5000 * static_cast<DWORD>(box);
  for (const DWORD source : {DWORD{0}, Wave, DWORD{MIXERLINE_COMPONENTTYPE_SRC_LINE},
                             DWORD{MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC}}) {
    user[SpeakersId(box, source, Volume)] = {level, level + 700};
    user[SpeakersId(box, source, Mute)] = {1};
    level += 1000;
  }
  return user;
}

std::map<DWORD, Values> Snapshot(size_t box) {
  std::map<DWORD, Values> now;
  for (const auto& [id, values] : UserSpeakers(box)) now[id] = vmbox::MixerValues(box, id);
  return now;
}

const std::set<std::string> ChainTexts = {"MixerOut: Creating ...",  "SignalOut: Created.",
                                          "WaveOut destroyed.",      "MixerOut destroyed.",
                                          "Can not destroy WaveOut.", "Can not destroy MixerOut."};

void Pump() { PumpUntil([] { return false; }, 30ms); }

struct SignalOut : testing::Test {
  void SetUp() override {
    setenv("VMBOX_ONLY", "1", 1); // the first device is box 0's, whatever the machine has
    vmbox::Reinitialise({QuietBox("Jig A", {}), QuietBox("Jig B", {})}, TSpeed::Fast);
    for (size_t box = 0; box < 2; ++box) {
      for (const auto& [id, values] : UserSpeakers(box)) {
        ASSERT_EQ(vmbox::ChangeMixerControl(box, id, values), MMSYSERR_NOERROR);
      }
    }
  }
  void TearDown() override {
    vmbox::ClearFaults();
    for (size_t box = 0; box < 2; ++box) {
      EXPECT_EQ(Snapshot(box), UserSpeakers(box)) << "the user's values are back on box " << box;
    }
  }

  std::unique_ptr<TSignalOut> Make() {
    bool ok = false;
    auto out = std::make_unique<TSignalOut>(Log.Event(), ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(out->GetDevice(), static_cast<int32_t>(OutputOf(0)));
    return out;
  }
  static std::string BoxMixer(size_t box) {
    return "Set device " + std::to_string(vmbox::MixerId(box)) + " \"" +
           (box == 0 ? "Jig A" : "Jig B") + "\"";
  }

  TLogLines Log;
};

TEST_F(SignalOut, CreationAndDestructionReportInOrder) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::vector<std::string> created;
    bool ok;
  };
  const Case cases[] = {
      {"created", [] {}, {"MixerOut: Creating ...", "SignalOut: Created."}, true},
      {"playback device fails",
       [] { vmbox::FailCall("waveOutOpen", MMSYSERR_NODRIVER, 0xFFFFFFFF); }, {}, false},
      {"mixer not found",
       [] { vmbox::FailCall("mixerGetID", MMSYSERR_NODRIVER, 0xFFFFFFFF); },
       {"MixerOut: Creating ..."}, false},
  };
  for (const auto& c : cases) {
    Log.Lines.clear();
    c.arrange();
    bool ok = !c.ok;
    auto out = std::make_unique<TSignalOut>(Log.Event(), ok);
    vmbox::ClearFaults();
    EXPECT_EQ(ok, c.ok) << c.name;
    EXPECT_EQ(OwnLines(Log, ChainTexts), InfoLines(c.created)) << c.name;
    if (c.ok) {
      // The device has settled its format before the mixer is created; the mixer is bound
      // before the chain reports itself created.
      const size_t creating = FirstLine(Log, "MixerOut: Creating ...");
      EXPECT_LT(FirstLine(Log, "WaveOut: Creating ..."), creating);
      EXPECT_LT(creating, FirstLine(Log, "MixerOut: " + BoxMixer(0) + "..."));
      EXPECT_LT(FirstLine(Log, "MixerOut: " + BoxMixer(0) + ": Done."), Log.Lines.size() - 1);
      EXPECT_EQ(Log.Lines.back().first, "SignalOut: Created.");
      EXPECT_EQ(Log.Errors(), 0u);
    } else {
      EXPECT_GT(Log.Errors(), 0u) << c.name << ": the part that failed says why";
      // A chain that could not be created stays harmless.
      out->SetAttenuation(0, 2);
      if (c.created.empty()) {
        EXPECT_EQ(out->ChannelCount(), 0) << c.name;
        EXPECT_EQ(out->GetAttenuation(0), SilentStep) << c.name;
        EXPECT_FALSE(out->SetDevice(static_cast<int32_t>(OutputOf(1)))) << c.name;
      }
    }
    Log.Lines.clear();
    out.reset();
    EXPECT_EQ(OwnLines(Log, ChainTexts), InfoLines({"WaveOut destroyed.", "MixerOut destroyed."}))
        << c.name;
    EXPECT_EQ(Snapshot(0), UserSpeakers(0)) << c.name;
  }
}

// A control that another program holds spoils that device's mixer only: the chain is created
// and names the control. Choosing another device sets that one up and gives the first box's
// master volume, set to full scale before the setup failed, back.
TEST_F(SignalOut, AHeldControlLeavesTheChainCreatedForAnotherDevice) {
  ASSERT_TRUE(vmbox::HoldMixerControl(0, SpeakersId(0, 0, Mute)));
  bool ok = false;
  auto out = std::make_unique<TSignalOut>(Log.Event(), ok);
  EXPECT_TRUE(ok);
  EXPECT_FALSE(out->MixerReady());
  EXPECT_TRUE(Log.Has("SignalOut: The mixer control \"Master Mute\" is held by another program; "
                      "choose another output device.", false));
  Log.Lines.clear();
  EXPECT_FALSE(out->SetDevice(out->GetDevice())) << "the same device is not probed again";
  EXPECT_TRUE(Log.Lines.empty());
  EXPECT_TRUE(out->SetDevice(static_cast<int32_t>(OutputOf(1))));
  EXPECT_TRUE(out->MixerReady());
  EXPECT_EQ(Snapshot(0), UserSpeakers(0)) << "the first box's settings are back";
  vmbox::ClearFaults();
}

// Each step halves the level of the wave output; the level the mixer keeps reads back as the
// step, and what the box plays follows the level of channel 0 (its circuit is driven by one
// channel).
TEST_F(SignalOut, AttenuationStepsReadBack) {
  auto out = Make();
  const DWORD wave = WaveVolumeId(0);
  ASSERT_EQ(out->ChannelCount(), 2);
  // Nothing set yet: the mixer keeps no level for the source, which reads as silence.
  EXPECT_EQ(out->GetAttenuation(0), SilentStep);
  for (int32_t c = 0; c < 2; ++c) {
    for (int32_t n = 0; n <= 30; ++n) {
      out->SetAttenuation(c, n);
      EXPECT_EQ(out->GetAttenuation(c), n) << c << " " << n;
      const auto raw = static_cast<DWORD>(std::nearbyint(65535.0 / std::ldexp(1.0, n)));
      EXPECT_EQ(vmbox::MixerValues(0, wave).at(static_cast<size_t>(c)), raw) << c << " " << n;
      if (c == 0) {
        EXPECT_DOUBLE_EQ(vmbox::AppliedOutputLevel(0), raw / 65535.0) << n;
      }
    }
  }
  // Outside 0..30 a larger step never gives a louder level: steps up to 254 stay at the
  // smallest level a step names, 255 and beyond are silence, negative steps full level.
  struct Case { int32_t step, readBack; DWORD raw; };
  const Case cases[] = {{31, 30, 0},      {32, 30, 0},           {254, 30, 0},
                        {255, SilentStep, 0}, {256, SilentStep, 0}, {100000, SilentStep, 0},
                        {-1, 0, 65535},   {-32, 0, 65535}};
  for (const auto& c : cases) {
    out->SetAttenuation(1, c.step);
    EXPECT_EQ(out->GetAttenuation(1), c.readBack) << c.step;
    EXPECT_EQ(vmbox::MixerValues(0, wave).at(1), c.raw) << c.step;
  }
  // A level of exactly 0, however it was set, reads as step 255.
  out->MixerOut->SetVolume(0, 0.0);
  EXPECT_EQ(out->GetAttenuation(0), SilentStep);
  EXPECT_EQ(vmbox::AppliedOutputLevel(0), 0.0);
  EXPECT_EQ(Log.Errors(), 0u);
}

TEST_F(SignalOut, SetDeviceRebindsTheMixer) {
  auto out = Make();
  out->SetAttenuation(0, 2);
  Log.Lines.clear();
  ASSERT_TRUE(out->SetDevice(static_cast<int32_t>(OutputOf(1))));
  EXPECT_EQ(out->GetDevice(), static_cast<int32_t>(OutputOf(1)));
  EXPECT_EQ(out->MixerOut->DeviceID, static_cast<int32_t>(vmbox::MixerId(1)));
  EXPECT_EQ(Snapshot(0), UserSpeakers(0)) << "the old box has the user's values back";
  EXPECT_TRUE(Log.Has("MixerOut: " + BoxMixer(1) + "...", true));
  EXPECT_TRUE(Log.Has("MixerOut: " + BoxMixer(1) + ": Done.", true));
  EXPECT_EQ(vmbox::MixerValues(1, SpeakersId(1, 0, Volume)), (Values{65535, 65535}));
  EXPECT_EQ(vmbox::MixerValues(1, SpeakersId(1, Wave, Mute)), (Values{0}));
  EXPECT_EQ(out->GetSource(), 0);
  EXPECT_EQ(out->SourceName(out->GetSource()), "Wave");
  out->SetAttenuation(1, 3);
  EXPECT_EQ(vmbox::MixerValues(1, WaveVolumeId(1)).at(1), 8192u);

  // The device in use, a number without a device, and a change while playing all leave the
  // device as it is; the mixer stays bound to it and nothing changes on the box.
  const auto bound = Snapshot(1);
  out->Trapezium(0.0001L, 0.001L);
  ASSERT_TRUE(out->WaveOut->Active || PumpUntil([&] { return out->WaveOut->Active; }));
  for (const int32_t device : {static_cast<int32_t>(OutputOf(1)), 99,
                               static_cast<int32_t>(OutputOf(0))}) {
    Log.Lines.clear();
    EXPECT_TRUE(out->SetDevice(device)) << device;
    EXPECT_EQ(out->GetDevice(), static_cast<int32_t>(OutputOf(1))) << device;
    EXPECT_EQ(out->MixerOut->DeviceID, static_cast<int32_t>(vmbox::MixerId(1))) << device;
    EXPECT_EQ(Snapshot(1), bound) << device;
    EXPECT_EQ(Log.Errors(), 0u) << device;
  }
  out->Stop();
  ASSERT_TRUE(PumpUntil([&] { return !out->WaveOut->Active; }));
}

// Every change of an output level reaches the handler once: the program's own, and another
// program's once it has been written back. Controls the chain has not taken over, and the
// return of the user's values at destruction, raise nothing.
TEST_F(SignalOut, MixerChangesReachTheHandler) {
  auto out = Make();
  int changes = 0;
  out->SetOnMixerChange([&](void* sender) { changes += sender == out->MixerOut.get(); });
  out->SetAttenuation(0, 1);
  Pump();
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(vmbox::ChangeMixerControl(0, WaveVolumeId(0), {5, 6}), MMSYSERR_NOERROR);
  Pump();
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(vmbox::MixerValues(0, WaveVolumeId(0)).at(0), 32768u);
  ASSERT_EQ(vmbox::ChangeMixerControl(0, SpeakersId(0, MIXERLINE_COMPONENTTYPE_SRC_LINE, Volume),
                                      {7, 8}), MMSYSERR_NOERROR);
  Pump();
  EXPECT_EQ(changes, 2);
  ASSERT_EQ(vmbox::ChangeMixerControl(0, SpeakersId(0, MIXERLINE_COMPONENTTYPE_SRC_LINE, Volume),
                                      UserSpeakers(0)[SpeakersId(0, MIXERLINE_COMPONENTTYPE_SRC_LINE,
                                                                 Volume)]), MMSYSERR_NOERROR);
  out.reset();
  Pump();
  EXPECT_EQ(changes, 2);
}

} // namespace
} // namespace dravik
