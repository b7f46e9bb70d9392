// The mixer bound to a virtual box's capture and playback devices: what the setup takes over
// and routes, switching sources, levels with their texts, failures of the setup, and the user's
// values back on the box once the object is gone.

#include "dravik/mixer/uMixer.h"
#include "dravik/tests/audio_support.h"

#include <cmath>
#include <map>

namespace dravik {
namespace {

using namespace audiotest;
namespace vmbox = platform::vmbox;
using Values = std::vector<DWORD>;
using Lines = std::vector<std::pair<std::string, bool>>;

constexpr DWORD Speakers = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
constexpr DWORD Recording = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
constexpr DWORD Wave = MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
constexpr DWORD LineIn = MIXERLINE_COMPONENTTYPE_SRC_LINE;
constexpr DWORD CD = MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
constexpr DWORD Mic = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
constexpr DWORD Volume = MIXERCONTROL_CONTROLTYPE_VOLUME;
constexpr DWORD Mute = MIXERCONTROL_CONTROLTYPE_MUTE;

DWORD Id(DWORD destination, DWORD source, DWORD type) {
  return vmbox::MixerControlId(0, destination, source, type);
}
Values Device(DWORD id) { return vmbox::MixerValues(0, id); }

// Every control of the box's mixer with the values a user left: no two volumes alike, every
// mute on, CD selected for recording.
std::map<DWORD, Values> UserSettings() {
  std::map<DWORD, Values> user;
  DWORD level = 10000;
  for (const DWORD source : {DWORD{0}, Wave, LineIn, CD}) {
    user[Id(Speakers, source, Volume)] = {level, level + 500};
    user[Id(Speakers, source, Mute)] = {1};
    level += 1000;
  }
  for (const DWORD source : {DWORD{0}, CD, LineIn, Mic}) {
    user[Id(Recording, source, Volume)] = {level, level + 500};
    level += 1000;
  }
  user[Id(Recording, 0, MIXERCONTROL_CONTROLTYPE_MUX)] = {1, 0, 0};
  return user;
}

std::map<DWORD, Values> Snapshot() {
  std::map<DWORD, Values> now;
  for (const auto& [id, values] : UserSettings()) now[id] = Device(id);
  return now;
}

struct Mixer : testing::Test {
  void SetUp() override {
    vmbox::Reinitialise({QuietBox("Jig A", {})}, TSpeed::Fast);
    for (const auto& [id, values] : UserSettings()) {
      ASSERT_EQ(vmbox::ChangeMixerControl(0, id, values), MMSYSERR_NOERROR);
    }
    Make();
  }
  void TearDown() override {
    Obj.reset();
    vmbox::ClearFaults();
    EXPECT_EQ(Snapshot(), UserSettings()) << "the user's values are back on the box";
  }
  void Make() {
    Obj = std::make_unique<TMixer>(nullptr, Log.Event());
    Log.Lines.clear();
  }
  std::string Device0() const { return "Set device " + std::to_string(vmbox::MixerId(0)); }
  std::string Device0Named() const { return Device0() + " \"Jig A\""; }

  TLogLines Log;
  std::unique_ptr<TMixer> Obj;
  const DWORD Mux = Id(Recording, 0, MIXERCONTROL_CONTROLTYPE_MUX);
};

TEST_F(Mixer, RecordingSetupRoutesLine) {
  ASSERT_TRUE(Obj->SetWaveIn(static_cast<int32_t>(InputOf(0))));
  EXPECT_EQ(Log.Lines, (Lines{{"MixerIn: " + Device0Named() + "...", true},
                              {"MixerIn: Set source 1 \"Line In\".", true},
                              {"MixerIn: " + Device0Named() + ": Done.", true}}));
  ASSERT_EQ(Obj->SourceCount(), 3);
  const char* names[] = {"CD Audio", "Line In", "Microphone"};
  for (int32_t s = 0; s < 3; ++s) {
    EXPECT_EQ(Obj->SourceName(s), names[s]);
    EXPECT_EQ(Obj->Sources[s].SelectorItem, s);
    EXPECT_EQ(Obj->Controls[Obj->Sources[s].VolumeIndex].Captured, s == 1);
  }
  EXPECT_EQ(Obj->CurrentSource, 1);
  EXPECT_EQ(Device(Mux), (Values{0, 1, 0}));
  EXPECT_EQ(Device(Id(Recording, 0, Volume)), (Values{0xFFFF, 0xFFFF}));
  EXPECT_EQ(Device(Id(Recording, LineIn, Volume)), UserSettings()[Id(Recording, LineIn, Volume)]);
  EXPECT_EQ(Obj->ChannelCount(), 2);
  EXPECT_EQ(Obj->GetVolume(0), 0.0);
  EXPECT_EQ(Obj->GetVolume(1), 0.0);

  // The same mixer again: nothing is done.
  Log.Lines.clear();
  const auto bound = Snapshot();
  EXPECT_TRUE(Obj->SetWaveIn(static_cast<int32_t>(InputOf(0))));
  EXPECT_TRUE(Log.Lines.empty());
  EXPECT_EQ(Snapshot(), bound);
}

TEST_F(Mixer, SpeakersSetupRoutesTheWaveOutput) {
  TMixer in(nullptr, Log.Event()); // both objects on one mixer, as in the program
  ASSERT_TRUE(in.SetWaveIn(static_cast<int32_t>(InputOf(0))));
  ASSERT_TRUE(Obj->SetWaveOut(static_cast<int32_t>(OutputOf(0))));
  EXPECT_EQ(Obj->Name, "MixerOut");
  EXPECT_EQ(Obj->CurrentSource, 0);
  EXPECT_EQ(Device(Id(Speakers, 0, Volume)), (Values{0xFFFF, 0xFFFF}));
  EXPECT_EQ(Device(Id(Speakers, 0, Mute)), (Values{0}));
  EXPECT_EQ(Device(Id(Speakers, Wave, Mute)), (Values{0}));
  EXPECT_EQ(Device(Id(Speakers, LineIn, Mute)), (Values{1}));
  EXPECT_EQ(Device(Id(Speakers, CD, Mute)), (Values{1}));

  Log.Lines.clear();
  Obj->SetSource(2);
  EXPECT_EQ(Log.Lines, (Lines{{"MixerOut: Set source 2 \"CD Audio\".", true}}));
  EXPECT_EQ(Device(Id(Speakers, Wave, Mute)), (Values{1}));
  EXPECT_EQ(Device(Id(Speakers, CD, Mute)), (Values{0}));
  EXPECT_FALSE(Obj->Controls[Obj->Sources[0].VolumeIndex].Captured);
  EXPECT_TRUE(Obj->Controls[Obj->Sources[2].VolumeIndex].Captured);
  EXPECT_EQ(Log.Errors(), 0u);
}

TEST_F(Mixer, SwitchingRecordingSources) {
  ASSERT_TRUE(Obj->SetWaveIn(static_cast<int32_t>(InputOf(0))));
  Log.Lines.clear();
  Obj->SetSource(1); // the current one: nothing
  Obj->SetSource(3);
  Obj->SetSource(-1);
  // A source that the selector has no item for is refused before anything changes.
  Obj->Sources[0].SelectorItem = -1;
  Obj->SetSource(0);
  EXPECT_EQ(Log.Lines, (Lines{{"MixerIn: Set source 3: Source index is out of range.", false},
                              {"MixerIn: Set source -1: Source index is out of range.", false},
                              {"MixerIn: Set source 0 \"CD Audio\": Exeption.", false}}));
  EXPECT_EQ(Obj->CurrentSource, 1);
  EXPECT_EQ(Device(Mux), (Values{0, 1, 0}));

  // A source whose volume another program holds is not routed, and says nothing.
  Obj->Sources[0].SelectorItem = 0;
  const DWORD cdVolume = Id(Recording, CD, Volume);
  ASSERT_TRUE(vmbox::HoldMixerControl(0, cdVolume));
  Log.Lines.clear();
  Obj->SetSource(0);
  EXPECT_TRUE(Log.Lines.empty());
  EXPECT_EQ(Obj->CurrentSource, 1);
  vmbox::ReleaseMixerControl(0, cdVolume);

  Obj->SetSource(0);
  EXPECT_EQ(Log.Lines, (Lines{{"MixerIn: Set source 0 \"CD Audio\".", true}}));
  EXPECT_EQ(Device(Mux), (Values{1, 0, 0}));
  EXPECT_EQ(Device(Id(Recording, LineIn, Volume)), UserSettings()[Id(Recording, LineIn, Volume)]);
  EXPECT_TRUE(Obj->Controls[Obj->Sources[0].VolumeIndex].Captured);
}

TEST_F(Mixer, SourceLevels) {
  ASSERT_TRUE(Obj->SetWaveIn(static_cast<int32_t>(InputOf(0))));
  const DWORD lineVolume = Id(Recording, LineIn, Volume);
  struct Case { uint32_t channel; double level; DWORD raw; const char* text; double stored; };
  const Case cases[] = {
      {0, 0.5, 32768, "0.5", 0.5}, // 32767.5: ties to even
      {1, 1.5, 65535, "1", 1.0},
      {0, -0.2, 0, "0", 0.0},
      {1, std::nan(""), 0, "0", 0.0},
      {0, 0.25, 16384, "0.25", 0.25},
      {1, 1.0 / 3, 21845, "0.333333333333333", 1.0 / 3},
      {0, 0.0000123, 1, "0.0000123", 0.0000123},
      {1, 1e-6, 0, "1E-6", 1e-6},
  };
  for (const auto& c : cases) {
    Log.Lines.clear();
    Obj->SetVolume(c.channel, c.level);
    const std::string text = "MixerIn: Set volume: Channel: " + std::to_string(c.channel) +
                             ",  Value: " + c.text + ".";
    EXPECT_EQ(Log.Lines, (Lines{{text, true}}));
    EXPECT_EQ(Device(lineVolume).at(c.channel), c.raw) << c.text;
    EXPECT_EQ(Obj->GetVolume(c.channel), c.stored);
  }
  Log.Lines.clear();
  EXPECT_TRUE(Obj->CheckChannel(1, "Level"));
  EXPECT_FALSE(Obj->CheckChannel(2, "Level"));
  EXPECT_FALSE(Obj->CheckChannel(-1, "Level"));
  EXPECT_EQ(Log.Lines, (Lines{{"MixerIn: Level: Channel index is out of range.", false},
                              {"MixerIn: Level: Channel index is out of range.", false}}));
  Log.Lines.clear();
  Obj->SetVolume(2, 0.5);
  EXPECT_EQ(Obj->GetVolume(2), 0.0);
  vmbox::FailCall("mixerSetControlDetails", MIXERR_INVALVALUE);
  Obj->SetVolume(0, 0.5);
  EXPECT_EQ(Log.Lines,
            (Lines{{"MixerIn: Set volume: Channel: 2,  Value: 0.5: Volume control not found.", false},
                   {"MixerIn: GetVolume: Volume control not found.", false},
                   {"MixerIn: SetValue: Set Current Details: MIXERR_INVALVALUE. The card's mixer "
                    "refused the value: choose another source or device.", false},
                   {"MixerIn: Set volume: Channel: 0,  Value: 0.5: Can not set value for source "
                    "channel.", false}}));
}

// With the line's volume held by another program no source is routed; the levels then act on
// the destination's volume, which is the first control taken over.
TEST_F(Mixer, MasterLevelsWithoutASource) {
  ASSERT_TRUE(vmbox::HoldMixerControl(0, Id(Recording, LineIn, Volume)));
  ASSERT_TRUE(Obj->SetWaveIn(static_cast<int32_t>(InputOf(0))));
  EXPECT_EQ(Obj->CurrentSource, -1);
  EXPECT_EQ(Obj->MasterVolumeIndex, 0);
  EXPECT_EQ(Obj->ChannelCount(), 2);
  EXPECT_EQ(Obj->GetVolume(0), 1.0);
  Obj->SetVolume(1, 0.25);
  EXPECT_EQ(Device(Id(Recording, 0, Volume)), (Values{0xFFFF, 16384}));
  EXPECT_EQ(Obj->GetVolume(1), 0.25);
  EXPECT_TRUE(Log.Has("MixerIn: Set volume: Channel: 1,  Value: 0.25.", true));
  // Named callers hear why a check failed; the mixer's own calls stay silent.
  Log.Lines.clear();
  EXPECT_FALSE(Obj->CheckSource("Level"));
  EXPECT_FALSE(Obj->CheckChannel(0, "Level"));
  EXPECT_FALSE(Obj->CheckChannel(0));
  EXPECT_EQ(Log.Lines, (Lines{{"MixerIn: Level: Current source index is out of range.", false},
                              {"MixerIn: Level: Current source index is out of range.", false}}));
  vmbox::ReleaseMixerControl(0, Id(Recording, LineIn, Volume));
}

TEST_F(Mixer, SetupFailuresAndRetry) {
  const std::string mixer = std::to_string(vmbox::MixerId(0));
  const std::string volume = "\"Recording Volume\" <VOLUME> || Multi= 0 ID= " +
                             std::to_string(Id(Recording, 0, Volume));
  struct Case { std::function<void()> arrange; Lines lines; };
  const Case cases[] = {
      {[] { vmbox::FailCall("mixerGetID", MMSYSERR_BADDEVICEID); },
       {{platform::WithAdvice("MixerIn: SetWaveIn " + std::to_string(InputOf(0)) +
                                  ": GetMixID: MMSYSERR_BADDEVICEID", MMSYSERR_BADDEVICEID),
         false}}},
      {[] { vmbox::FailCall("mixerOpen", MMSYSERR_NODRIVER); },
       {{"MixerIn: " + Device0() + ": Open: MMSYSERR_NODRIVER. The device is unplugged or its sound "
         "server is not running: plug it in or start the sound server, then restart the program.",
         false}}},
      {[] { vmbox::FailCall("mixerGetDevCapsA", MMSYSERR_INVALPARAM); },
       {{platform::WithAdvice("MixerIn: " + Device0() + ": Caps: MMSYSERR_INVALPARAM",
                              MMSYSERR_INVALPARAM), false}}},
      {[] { vmbox::FailCall("mixerGetLineInfoA", MIXERR_INVALLINE); },
       {{"MixerIn: " + Device0Named() + "...", true},
        {platform::WithAdvice("MixerIn: " + Device0Named() + ": DstLineInfo: Destination 0: "
                              "MIXERR_INVALLINE", MIXERR_INVALLINE), false}}},
      {[] { vmbox::HoldMixerControl(0, Id(Recording, 0, Volume)); },
       {{"MixerIn: " + Device0Named() + "...", true},
        {"MixerIn: CaptureControl: Captured by another process.", false},
        {"MixerIn: " + Device0Named() + ": " + volume + ": Can not capture control.", false}}},
  };
  for (const auto& c : cases) {
    Make();
    c.arrange();
    EXPECT_FALSE(Obj->SetWaveIn(static_cast<int32_t>(InputOf(0))));
    EXPECT_EQ(Log.Lines, c.lines);
    vmbox::ClearFaults();
    EXPECT_TRUE(Obj->SetWaveIn(static_cast<int32_t>(InputOf(0)))) << "a failed setup is retried";
    EXPECT_TRUE(Log.Has("MixerIn: " + Device0Named() + ": Done.", true));
  }
  Make();
  Obj->Name = "MixerIn";
  EXPECT_FALSE(Obj->SetDevice(vmbox::MixerId(0), MIXERLINE_COMPONENTTYPE_DST_HEADPHONES));
  EXPECT_TRUE(Log.Has("MixerIn: " + Device0Named() + ": Required destination not found.", false));
}

} // namespace
} // namespace dravik
