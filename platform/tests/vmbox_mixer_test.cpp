// The virtual boxes' mixers: another program changing or holding a control, the defaults, and
// the levels acting on what a box plays and records through the waveform API.

#include "platform/mixer.h"
#include "platform/tests/wave_support.h"

#include <complex>
#include <functional>

namespace {

using namespace wavetest;
namespace vmbox = platform::vmbox;

const HMIXEROBJ BoxA = reinterpret_cast<HMIXEROBJ>(UINT_PTR{0});

DWORD ControlId(DWORD destination, DWORD source, DWORD type) {
  return vmbox::MixerControlId(0, destination, source, type);
}
const DWORD Speakers = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, Recording = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
const DWORD Volume = MIXERCONTROL_CONTROLTYPE_VOLUME, Mute = MIXERCONTROL_CONTROLTYPE_MUTE;

MMRESULT Set(DWORD id, std::vector<DWORD> values, DWORD items = 0) {
  MIXERCONTROLDETAILS d{sizeof d, id, static_cast<DWORD>(values.size() / std::max<DWORD>(items, 1)), {}, 4, values.data()};
  d.cMultipleItems = items;
  return mixerSetControlDetails(BoxA, &d, MIXER_SETCONTROLDETAILSF_VALUE);
}

struct VmboxMixer : testing::Test {
  void SetUp() override {
    UseQuietCard();
    ASSERT_EQ(mixerOpen(&Handle, 0, WindowOf(Log), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  }
  void TearDown() override {
    mixerClose(Handle);
    vmbox::ClearFaults();
  }
  // The notices that arrived since the last call.
  size_t NewNotices() {
    platform::ProcessMessages();
    const size_t count = Log.Notices.size() - Seen;
    Seen = Log.Notices.size();
    return count;
  }
  TNoticeLog Log;
  HMIXER Handle = nullptr;
  size_t Seen = 0;
  const DWORD LineVolume = ControlId(Recording, MIXERLINE_COMPONENTTYPE_SRC_LINE, Volume);
};

TEST_F(VmboxMixer, AnotherProgramsChangesAreCheckedAndAnnounced) {
  struct Case { const char* name; size_t box; DWORD id; std::vector<DWORD> values; MMRESULT result; size_t notices; };
  const Case cases[] = {
      {"new values", 0, LineVolume, {1000, 2000}, MMSYSERR_NOERROR, 1},
      {"the same again", 0, LineVolume, {1000, 2000}, MMSYSERR_NOERROR, 0},
      {"beyond full scale", 0, LineVolume, {70000, 1}, MIXERR_INVALVALUE, 0},
      {"one value for two channels", 0, LineVolume, {5}, MMSYSERR_INVALPARAM, 0},
      {"no such control", 0, 999, {0}, MIXERR_INVALCONTROL, 0},
      {"no such box", 7, LineVolume, {0, 0}, MMSYSERR_BADDEVICEID, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(vmbox::ChangeMixerControl(c.box, c.id, c.values), c.result) << c.name;
    ASSERT_TRUE(PumpUntil([&] { platform::ProcessMessages(); return Log.Notices.size() >= Seen + c.notices; }));
    EXPECT_EQ(NewNotices(), c.notices) << c.name;
  }
  EXPECT_EQ(vmbox::MixerValues(0, LineVolume), (std::vector<DWORD>{1000, 2000}));
  EXPECT_EQ(Log.Notices.at(0).Header, LPARAM(LineVolume));
  EXPECT_TRUE(vmbox::MixerValues(0, 999).empty());
  EXPECT_EQ(vmbox::MixerControlId(0, Recording, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, Volume), 0xFFFFFFFFu);
}

TEST_F(VmboxMixer, AHeldControlIsWrittenBackAfterEveryChange) {
  ASSERT_EQ(vmbox::ChangeMixerControl(0, LineVolume, {30000, 30000}), MMSYSERR_NOERROR);
  ASSERT_TRUE(vmbox::HoldMixerControl(0, LineVolume));
  EXPECT_FALSE(vmbox::HoldMixerControl(0, 999));
  NewNotices();
  // A probe as the capture protocol writes it: each write is answered by the holder's own.
  for (const auto& probe : {std::vector<DWORD>{0, 0}, std::vector<DWORD>{65535, 0}}) {
    EXPECT_EQ(Set(LineVolume, probe), MMSYSERR_NOERROR);
    EXPECT_EQ(vmbox::MixerValues(0, LineVolume), (std::vector<DWORD>{30000, 30000}));
    ASSERT_TRUE(PumpUntil([&] { return Log.Notices.size() >= Seen + 2; }));
    EXPECT_EQ(NewNotices(), 2u);
  }
  EXPECT_EQ(Set(LineVolume, {30000, 30000}), MMSYSERR_NOERROR); // the held value: no change at all
  EXPECT_EQ(vmbox::ChangeMixerControl(0, LineVolume, {1, 1}), MMSYSERR_NOERROR);
  EXPECT_EQ(vmbox::MixerValues(0, LineVolume), (std::vector<DWORD>{30000, 30000}));
  ASSERT_TRUE(PumpUntil([&] { return Log.Notices.size() >= Seen + 2; }));
  EXPECT_EQ(NewNotices(), 2u);
  // Released, by name or with the faults: writes stick.
  vmbox::ReleaseMixerControl(0, LineVolume);
  EXPECT_EQ(Set(LineVolume, {5, 6}), MMSYSERR_NOERROR);
  EXPECT_EQ(vmbox::MixerValues(0, LineVolume), (std::vector<DWORD>{5, 6}));
  ASSERT_TRUE(vmbox::HoldMixerControl(0, LineVolume));
  vmbox::ClearFaults();
  EXPECT_EQ(Set(LineVolume, {7, 8}), MMSYSERR_NOERROR);
  EXPECT_EQ(vmbox::MixerValues(0, LineVolume), (std::vector<DWORD>{7, 8}));
}

TEST_F(VmboxMixer, ResetAndANewCardBringBackTheDefaults) {
  const DWORD mux = ControlId(Recording, 0, MIXERCONTROL_CONTROLTYPE_MUX);
  const DWORD mute = ControlId(Speakers, 0, Mute);
  ASSERT_EQ(Set(mux, {1, 0, 0}, 3), MMSYSERR_NOERROR);
  ASSERT_EQ(Set(mute, {1}), MMSYSERR_NOERROR);
  ASSERT_TRUE(vmbox::HoldMixerControl(0, mute));
  EXPECT_EQ(vmbox::AppliedInputLevel(0, 0), 0.0);
  EXPECT_EQ(vmbox::AppliedOutputLevel(0), 0.0);
  NewNotices();
  vmbox::ResetMixers();
  EXPECT_EQ(vmbox::MixerValues(0, mux), (std::vector<DWORD>{0, 1, 0}));
  EXPECT_EQ(vmbox::MixerValues(0, mute), (std::vector<DWORD>{0}));
  EXPECT_EQ(vmbox::AppliedInputLevel(0, 1), 1.0);
  EXPECT_EQ(vmbox::AppliedOutputLevel(0), 1.0);
  ASSERT_TRUE(PumpUntil([&] { return Log.Notices.size() >= Seen + 2; }));
  EXPECT_EQ(NewNotices(), 2u);
  EXPECT_EQ(Set(mute, {1}), MMSYSERR_NOERROR); // no longer held
  EXPECT_EQ(vmbox::MixerValues(0, mute), (std::vector<DWORD>{1}));
  UseQuietCard();
  EXPECT_EQ(vmbox::MixerValues(0, mute), (std::vector<DWORD>{0}));
}

// ---- What the box hears ----

// The input may start up to its eight queued buffers (0.8 s) before the output does, so the
// tone is measured over the last 0.6 s of 1.5 s recorded (600 whole periods).
constexpr size_t From = 43200, To = 72000;

std::vector<double> Record() {
  TPlaySpec spec;
  spec.Seconds = 1.5;
  return PlayAndRecord(spec).Stereo;
}

std::complex<double> ToneOf(const std::vector<double>& stereo, int channel, size_t from, size_t to) {
  std::complex<double> sum;
  for (size_t i = from; i < to; ++i) sum += stereo[2 * i + channel] * std::polar(1.0, -2 * std::numbers::pi * ToneHz * i / 48000);
  return sum * (2.0 / static_cast<double>(to - from));
}

TEST_F(VmboxMixer, VolumesScaleAndMutesSilenceWhatTheBoxRecords) {
  const double a = ToneLevel * 57 / 59.2, ratio = 10.0 / 57; // Box A: 47 ohm on 10 ohm
  const DWORD master = ControlId(Speakers, 0, Volume);
  const DWORD wave = ControlId(Speakers, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, Volume);
  const DWORD recording = ControlId(Recording, 0, Volume);
  const DWORD mux = ControlId(Recording, 0, MIXERCONTROL_CONTROLTYPE_MUX);
  const DWORD lineVolume = LineVolume;
  struct Case { const char* name; std::function<void()> set; double left, right; }; // factors on the tone
  const Case cases[] = {
      {"defaults", [] {}, 1, 1},
      {"line volume per channel", [&] { Set(lineVolume, {32768, 65535}); }, 32768 / 65535.0, 1},
      {"recording volume", [&] { Set(recording, {65535, 16384}); }, 1, 16384 / 65535.0},
      {"master volume: the left drives the jig", [&] { Set(master, {16384, 65535}); }, 16384 / 65535.0, 16384 / 65535.0},
      {"wave volume under a card level", [&] { Set(wave, {32768, 0}); vmbox::SetOutputLevel(0, 0.5); }, 0.5 * 32768 / 65535, 0.5 * 32768 / 65535},
      {"master mute", [&] { Set(ControlId(Speakers, 0, Mute), {1}); }, 0, 0},
      {"wave mute", [&] { Set(ControlId(Speakers, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, Mute), {1}); }, 0, 0},
      {"microphone selected", [&] { Set(mux, {0, 0, 1}, 3); }, 0, 0},
  };
  for (const auto& c : cases) {
    vmbox::ResetMixers();
    vmbox::SetOutputLevel(0, 1);
    c.set();
    const auto rec = Record();
    const auto left = ToneOf(rec, 0, From, To), right = ToneOf(rec, 1, From, To);
    EXPECT_NEAR(std::abs(left), c.left * a, 0.01 * a) << c.name;
    EXPECT_NEAR(std::abs(right), c.right * a * ratio, 0.01 * a * ratio) << c.name;
  }
}

// A card whose volumes follow a cubic curve: half scale gives an eighth, on input and output.
TEST_F(VmboxMixer, ACubicVolumeCurveActsOnTheLevels) {
  mixerClose(Handle);
  TBoxConfig a = QuietResistorBox("Box A", 47), b = QuietResistorBox("Box B", 0);
  a.Card.VolumeCurve = b.Card.VolumeCurve = 3;
  vmbox::Reinitialise({a, b}, TSpeed::Fast);
  ASSERT_EQ(mixerOpen(&Handle, 0, WindowOf(Log), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  ASSERT_EQ(Set(LineVolume, {32768, 16384}), MMSYSERR_NOERROR);
  ASSERT_EQ(Set(ControlId(Speakers, 0, Volume), {32768, 65535}), MMSYSERR_NOERROR);
  const double half = 32768 / 65535.0, quarter = 16384 / 65535.0;
  EXPECT_NEAR(vmbox::AppliedInputLevel(0, 0), half * half * half, 1e-12);
  EXPECT_NEAR(vmbox::AppliedInputLevel(0, 1), quarter * quarter * quarter, 1e-12);
  EXPECT_NEAR(vmbox::AppliedOutputLevel(0), half * half * half, 1e-12);
}

TEST_F(VmboxMixer, AnotherSourceThanTheLineRecordsOnlyTheCardsNoise) {
  TBoxConfig noisy = QuietResistorBox("Noisy", 47);
  noisy.Card = {}; // the default card: offsets, noise, channel mismatch
  vmbox::Reinitialise({noisy}, TSpeed::Fast);
  const DWORD mux = vmbox::MixerControlId(0, Recording, 0, MIXERCONTROL_CONTROLTYPE_MUX);
  ASSERT_EQ(vmbox::ChangeMixerControl(0, mux, {1, 0, 0}), MMSYSERR_NOERROR); // CD
  const auto rec = Record();
  const platform::vmbox::TCardModel card;
  const double n = To - From;
  for (int ch = 0; ch < 2; ++ch) {
    double sum = 0, squares = 0;
    for (size_t i = From; i < To; ++i) sum += rec[2 * i + ch];
    const double mean = sum / n;
    for (size_t i = From; i < To; ++i) squares += (rec[2 * i + ch] - mean) * (rec[2 * i + ch] - mean);
    EXPECT_NEAR(mean, card.DcOffset[ch], 3e-5) << ch;
    EXPECT_NEAR(std::sqrt(squares / n), card.NoiseRms, 0.15 * card.NoiseRms) << ch; // 16-bit steps add a little
    EXPECT_LT(std::abs(ToneOf(rec, ch, From, To)), 3e-6) << ch;
  }
}

} // namespace
