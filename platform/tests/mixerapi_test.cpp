// The mixer API on the virtual boxes' mixers: devices and capabilities, lines by destination,
// source, id and type, the controls of each line, values and item texts, per-channel and
// uniform writes, change notices to every open handle, and every misuse answered with its code.

#include "platform/mixer.h"
#include "platform/tests/wave_support.h"

#include <string>

namespace {

using namespace wavetest;
namespace vmbox = platform::vmbox;

HMIXEROBJ Object(UINT_PTR value) { return reinterpret_cast<HMIXEROBJ>(value); }
HMIXEROBJ Object(HMIXER handle) { return reinterpret_cast<HMIXEROBJ>(handle); }

MIXERLINEA Line(DWORD destination, DWORD source = 0) {
  MIXERLINEA line{};
  line.cbStruct = sizeof line;
  line.dwDestination = destination;
  line.dwSource = source;
  return line;
}

MIXERCONTROLDETAILS Details(DWORD id, DWORD channels, DWORD items, void* values,
                            DWORD size = sizeof(MIXERCONTROLDETAILS_UNSIGNED)) {
  MIXERCONTROLDETAILS d{};
  d.cbStruct = sizeof d;
  d.dwControlID = id;
  d.cChannels = channels;
  d.cMultipleItems = items;
  d.cbDetails = size;
  d.paDetails = values;
  return d;
}

std::vector<DWORD> Get(HMIXEROBJ mixer, DWORD id, DWORD channels, DWORD items = 0) {
  std::vector<DWORD> values(channels * std::max<DWORD>(items, 1), 0xDEAD);
  auto d = Details(id, channels, items, values.data());
  EXPECT_EQ(mixerGetControlDetailsA(mixer, &d, MIXER_GETCONTROLDETAILSF_VALUE), MMSYSERR_NOERROR);
  return values;
}

MMRESULT Set(HMIXEROBJ mixer, DWORD id, std::vector<DWORD> values, DWORD channels, DWORD items = 0) {
  auto d = Details(id, channels, items, values.data());
  return mixerSetControlDetails(mixer, &d, MIXER_SETCONTROLDETAILSF_VALUE);
}

DWORD ControlId(DWORD destination, DWORD source, DWORD type) {
  return vmbox::MixerControlId(0, destination, source, type);
}

struct MixerApi : testing::Test {
  void SetUp() override { UseQuietCard(); }
  void TearDown() override { vmbox::ClearFaults(); }
};

TEST_F(MixerApi, EveryBoxHasAMixerFoundFromItsWaveformDevices) {
  ASSERT_EQ(mixerGetNumDevs(), 2u);
  for (size_t box = 0; box < 2; ++box) {
    const auto mixerId = static_cast<UINT>(box);
    EXPECT_EQ(vmbox::MixerId(box), mixerId);
    MIXERCAPSA caps{};
    ASSERT_EQ(mixerGetDevCapsA(mixerId, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.szPname, vmbox::BoxName(box));
    EXPECT_EQ(caps.cDestinations, 2u);
    UINT id = 99;
    EXPECT_EQ(mixerGetID(Object(InputOf(box)), &id, MIXER_OBJECTF_WAVEIN), MMSYSERR_NOERROR);
    EXPECT_EQ(id, mixerId);
    id = 99;
    EXPECT_EQ(mixerGetID(Object(OutputOf(box)), &id, MIXER_OBJECTF_WAVEOUT), MMSYSERR_NOERROR);
    EXPECT_EQ(id, mixerId);
  }
  // By open handles: a waveform device's, and a mixer's (also as MIXER_OBJECTF_MIXER).
  HWAVEIN in = nullptr;
  HMIXER mixer = nullptr;
  const WAVEFORMATEX format = Pcm(48000);
  ASSERT_EQ(waveInOpen(&in, InputOf(1), &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  ASSERT_EQ(mixerOpen(&mixer, InputOf(1), 0, 0, MIXER_OBJECTF_WAVEIN), MMSYSERR_NOERROR);
  UINT id = 99;
  EXPECT_EQ(mixerGetID(reinterpret_cast<HMIXEROBJ>(in), &id, MIXER_OBJECTF_HWAVEIN), MMSYSERR_NOERROR);
  EXPECT_EQ(id, 1u);
  for (const DWORD flags : {MIXER_OBJECTF_HMIXER, MIXER_OBJECTF_MIXER}) {
    id = 99;
    EXPECT_EQ(mixerGetID(Object(mixer), &id, flags), MMSYSERR_NOERROR);
    EXPECT_EQ(id, 1u);
  }
  EXPECT_EQ(mixerClose(mixer), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

TEST_F(MixerApi, LinesAreListedByDestinationSourceIdAndType) {
  struct Expected { DWORD destination, source; DWORD type; const char* name; DWORD connections, controls; };
  const Expected lines[] = {
      {0, ~0u, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", 3, 2},
      {0, 0, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, "Wave", 0, 2},
      {0, 1, MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In", 0, 2},
      {0, 2, MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD Audio", 0, 2},
      {1, ~0u, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording Control", 3, 2},
      {1, 0, MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, "CD Audio", 0, 1},
      {1, 1, MIXERLINE_COMPONENTTYPE_SRC_LINE, "Line In", 0, 1},
      {1, 2, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, "Microphone", 0, 1},
  };
  std::vector<DWORD> ids;
  for (const auto& e : lines) {
    const bool source = e.source != ~0u;
    MIXERLINEA line = Line(e.destination, source ? e.source : 0);
    ASSERT_EQ(mixerGetLineInfoA(Object(UINT_PTR{0}), &line, source ? MIXER_GETLINEINFOF_SOURCE : MIXER_GETLINEINFOF_DESTINATION), MMSYSERR_NOERROR) << e.name;
    EXPECT_EQ(line.cbStruct, sizeof line);
    EXPECT_EQ(line.dwComponentType, e.type) << e.name;
    EXPECT_STREQ(line.szName, e.name);
    EXPECT_EQ(line.cChannels, 2u);
    EXPECT_EQ(line.cConnections, e.connections) << e.name;
    EXPECT_EQ(line.cControls, e.controls) << e.name;
    EXPECT_EQ(bool(line.fdwLine & MIXERLINE_LINEF_SOURCE), source) << e.name;
    EXPECT_EQ(std::count(ids.begin(), ids.end(), line.dwLineID), 0) << "repeated line id: " << e.name;
    ids.push_back(line.dwLineID);
    MIXERLINEA byId = Line(9, 9);
    byId.dwLineID = line.dwLineID;
    ASSERT_EQ(mixerGetLineInfoA(Object(UINT_PTR{0}), &byId, MIXER_GETLINEINFOF_LINEID), MMSYSERR_NOERROR);
    EXPECT_EQ(byId.dwDestination, e.destination);
    EXPECT_STREQ(byId.szName, e.name);
  }
  // Targets name the box's waveform devices; the first line of a type is found by its type.
  MIXERLINEA line = Line(0);
  line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
  ASSERT_EQ(mixerGetLineInfoA(Object(UINT_PTR{0}), &line, MIXER_GETLINEINFOF_COMPONENTTYPE), MMSYSERR_NOERROR);
  EXPECT_EQ(line.dwDestination, 1u);
  EXPECT_EQ(line.Target.dwType, MIXERLINE_TARGETTYPE_WAVEIN);
  EXPECT_EQ(line.Target.dwDeviceID, InputOf(0));
  EXPECT_STREQ(line.Target.szPname, "Box A");
  line.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_LINE;
  ASSERT_EQ(mixerGetLineInfoA(Object(UINT_PTR{0}), &line, MIXER_GETLINEINFOF_COMPONENTTYPE), MMSYSERR_NOERROR);
  EXPECT_EQ(line.dwDestination, 0u); // the speakers' line in comes first
}

TEST_F(MixerApi, ControlsOfEachLineWithTheirFlagsAndTexts) {
  const DWORD volume = MIXERCONTROL_CONTROLTYPE_VOLUME, mute = MIXERCONTROL_CONTROLTYPE_MUTE;
  const DWORD uniform = MIXERCONTROL_CONTROLF_UNIFORM;
  struct Expected { DWORD destination, source; std::vector<std::pair<DWORD, DWORD>> controls; };
  const Expected lines[] = {
      {0, ~0u, {{volume, 0}, {mute, uniform}}},
      {0, 0, {{volume, 0}, {mute, uniform}}},
      {1, ~0u, {{volume, 0}, {MIXERCONTROL_CONTROLTYPE_MUX, uniform | MIXERCONTROL_CONTROLF_MULTIPLE}}},
      {1, 1, {{volume, 0}}},
  };
  for (const auto& e : lines) {
    MIXERLINEA line = Line(e.destination, e.source == ~0u ? 0 : e.source);
    mixerGetLineInfoA(Object(UINT_PTR{0}), &line, e.source == ~0u ? MIXER_GETLINEINFOF_DESTINATION : MIXER_GETLINEINFOF_SOURCE);
    std::vector<MIXERCONTROLA> controls(line.cControls);
    MIXERLINECONTROLSA query{sizeof query, line.dwLineID, {0}, line.cControls, sizeof(MIXERCONTROLA), controls.data()};
    ASSERT_EQ(mixerGetLineControlsA(Object(UINT_PTR{0}), &query, MIXER_GETLINECONTROLSF_ALL), MMSYSERR_NOERROR);
    ASSERT_EQ(controls.size(), e.controls.size()) << line.szName;
    for (size_t i = 0; i < controls.size(); ++i) {
      const auto& c = controls[i];
      EXPECT_EQ(c.dwControlType, e.controls[i].first) << line.szName << " " << i;
      EXPECT_EQ(c.fdwControl, e.controls[i].second) << c.szName;
      EXPECT_EQ(c.Bounds.dwMaximum, c.dwControlType == volume ? 0xFFFFu : c.dwControlType == mute ? 1u : 2u);
      MIXERCONTROLA one{};
      MIXERLINECONTROLSA byId{sizeof byId, 0, {c.dwControlID}, 1, sizeof one, &one};
      ASSERT_EQ(mixerGetLineControlsA(Object(UINT_PTR{0}), &byId, MIXER_GETLINECONTROLSF_ONEBYID), MMSYSERR_NOERROR);
      EXPECT_EQ(byId.dwLineID, line.dwLineID);
      EXPECT_STREQ(one.szName, c.szName);
      MIXERLINECONTROLSA byType{sizeof byType, line.dwLineID, {c.dwControlType}, 1, sizeof one, &one};
      ASSERT_EQ(mixerGetLineControlsA(Object(UINT_PTR{0}), &byType, MIXER_GETLINECONTROLSF_ONEBYTYPE), MMSYSERR_NOERROR);
      EXPECT_EQ(one.dwControlID, c.dwControlID);
    }
  }
  // The selector's items name the recording sources, in source order, by line id.
  const DWORD mux = ControlId(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, 0, MIXERCONTROL_CONTROLTYPE_MUX);
  MIXERCONTROLDETAILS_LISTTEXTA items[3]{};
  auto d = Details(mux, 1, 3, items, sizeof items[0]);
  ASSERT_EQ(mixerGetControlDetailsA(Object(UINT_PTR{0}), &d, MIXER_GETCONTROLDETAILSF_LISTTEXT), MMSYSERR_NOERROR);
  for (DWORD s = 0; s < 3; ++s) {
    MIXERLINEA source = Line(1, s);
    mixerGetLineInfoA(Object(UINT_PTR{0}), &source, MIXER_GETLINEINFOF_SOURCE);
    EXPECT_EQ(items[s].dwParam1, source.dwLineID);
    EXPECT_EQ(items[s].dwParam2, source.dwComponentType);
    EXPECT_STREQ(items[s].szName, source.szName);
  }
}

TEST_F(MixerApi, ValuesAreKeptPerChannelAndUniformControlsHoldOne) {
  HMIXER handle = nullptr;
  ASSERT_EQ(mixerOpen(&handle, 0, 0, 0, 0), MMSYSERR_NOERROR);
  const HMIXEROBJ mixer = Object(handle);
  const DWORD master = ControlId(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 0, MIXERCONTROL_CONTROLTYPE_VOLUME);
  const DWORD mute = ControlId(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 0, MIXERCONTROL_CONTROLTYPE_MUTE);
  const DWORD mux = ControlId(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, 0, MIXERCONTROL_CONTROLTYPE_MUX);
  const DWORD cd = ControlId(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, MIXERCONTROL_CONTROLTYPE_VOLUME);
  // Defaults: full scale where the sound passes, unmuted, the line selected.
  EXPECT_EQ(Get(mixer, master, 2), (std::vector<DWORD>{65535, 65535}));
  EXPECT_EQ(Get(mixer, mute, 1), (std::vector<DWORD>{0}));
  EXPECT_EQ(Get(mixer, mux, 1, 3), (std::vector<DWORD>{0, 1, 0}));
  EXPECT_EQ(Get(mixer, cd, 2), (std::vector<DWORD>{49152, 49152}));

  struct Case { const char* name; DWORD id; std::vector<DWORD> write; DWORD channels, items; MMRESULT result; std::vector<DWORD> kept; };
  const Case cases[] = {
      {"per channel", master, {1000, 2000}, 2, 0, MMSYSERR_NOERROR, {1000, 2000}},
      {"one channel sets all", master, {3000}, 1, 0, MMSYSERR_NOERROR, {3000, 3000}},
      {"above the maximum", master, {65536, 0}, 2, 0, MIXERR_INVALVALUE, {3000, 3000}},
      {"Boolean on", mute, {7}, 1, 0, MMSYSERR_NOERROR, {1}},
      {"uniform with two channels", mute, {0, 0}, 2, 0, MMSYSERR_INVALPARAM, {1}},
      {"MUX item", mux, {0, 0, 1}, 1, 3, MMSYSERR_NOERROR, {0, 0, 1}},
      {"MUX with two items", mux, {1, 1, 0}, 1, 3, MIXERR_INVALVALUE, {0, 0, 1}},
      {"MUX with none", mux, {0, 0, 0}, 1, 3, MIXERR_INVALVALUE, {0, 0, 1}},
      {"MUX without its items", mux, {1}, 1, 0, MMSYSERR_INVALPARAM, {0, 0, 1}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Set(mixer, c.id, c.write, c.channels, c.items), c.result) << c.name;
    EXPECT_EQ(vmbox::MixerValues(0, c.id), c.kept) << c.name;
  }
  ASSERT_EQ(Set(mixer, master, {1000, 2000}, 2), MMSYSERR_NOERROR);
  EXPECT_EQ(Get(mixer, master, 1), (std::vector<DWORD>{1000})); // one channel: the first answers
  EXPECT_EQ(Get(Object(UINT_PTR{1}), master, 2), (std::vector<DWORD>{65535, 65535})) << "another box's mixer";
  EXPECT_EQ(mixerClose(handle), MMSYSERR_NOERROR);
}

TEST_F(MixerApi, ChangesAreAnnouncedToEveryOpenHandleInOrder) {
  TNoticeLog first, second;
  HMIXER a = nullptr, b = nullptr, quiet = nullptr, other = nullptr;
  ASSERT_EQ(mixerOpen(&a, 0, WindowOf(first), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  ASSERT_EQ(mixerOpen(&b, OutputOf(0), WindowOf(second), 0, CALLBACK_WINDOW | MIXER_OBJECTF_WAVEOUT), MMSYSERR_NOERROR);
  ASSERT_EQ(mixerOpen(&quiet, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  ASSERT_EQ(mixerOpen(&other, 1, WindowOf(second), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  const DWORD master = ControlId(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 0, MIXERCONTROL_CONTROLTYPE_VOLUME);
  const DWORD mute = ControlId(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 0, MIXERCONTROL_CONTROLTYPE_MUTE);
  ASSERT_EQ(Set(Object(quiet), master, {100, 200}, 2), MMSYSERR_NOERROR);
  ASSERT_EQ(Set(Object(a), mute, {1}, 1), MMSYSERR_NOERROR);
  ASSERT_EQ(Set(Object(a), mute, {1}, 1), MMSYSERR_NOERROR);  // no change: no notice
  ASSERT_EQ(Set(Object(b), master, {70000, 0}, 2), MIXERR_INVALVALUE); // refused: no notice
  ASSERT_EQ(Set(Object(UINT_PTR{1}), master, {5, 5}, 2), MMSYSERR_NOERROR); // another mixer
  ASSERT_TRUE(PumpUntil([&] { return first.Notices.size() >= 2 && second.Notices.size() >= 3; }));
  platform::ProcessMessages();
  auto expect = [](const TNoticeLog& log, std::vector<std::pair<HMIXER, DWORD>> wanted) {
    ASSERT_EQ(log.Notices.size(), wanted.size());
    for (size_t i = 0; i < wanted.size(); ++i) {
      EXPECT_EQ(log.Notices[i].Message, MM_MIXM_CONTROL_CHANGE);
      EXPECT_EQ(log.Notices[i].Device, reinterpret_cast<WPARAM>(wanted[i].first)) << i;
      EXPECT_EQ(log.Notices[i].Header, LPARAM(wanted[i].second)) << i;
    }
  };
  expect(first, {{a, master}, {a, mute}});
  expect(second, {{b, master}, {b, mute}, {other, master}});
  // Nothing reaches a closed handle.
  ASSERT_EQ(mixerClose(a), MMSYSERR_NOERROR);
  ASSERT_EQ(Set(Object(b), mute, {0}, 1), MMSYSERR_NOERROR);
  ASSERT_TRUE(PumpUntil([&] { return second.Notices.size() == 4; }));
  platform::ProcessMessages();
  EXPECT_EQ(first.Notices.size(), 2u);
  for (HMIXER h : {b, quiet, other}) EXPECT_EQ(mixerClose(h), MMSYSERR_NOERROR);
}

TEST_F(MixerApi, MisuseIsAnsweredWithItsCode) {
  HMIXER handle = nullptr, closed = nullptr;
  ASSERT_EQ(mixerOpen(&handle, 0, 0, 0, 0), MMSYSERR_NOERROR);
  ASSERT_EQ(mixerOpen(&closed, 0, 0, 0, 0), MMSYSERR_NOERROR);
  ASSERT_EQ(mixerClose(closed), MMSYSERR_NOERROR);
  const HMIXEROBJ mixer = Object(handle);
  const DWORD master = ControlId(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 0, MIXERCONTROL_CONTROLTYPE_VOLUME);
  const DWORD mux = ControlId(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, 0, MIXERCONTROL_CONTROLTYPE_MUX);
  MIXERCAPSA caps{};
  UINT id = 0;
  MIXERLINEA line = Line(0), badSize = Line(0), noDestination = Line(2), noSource = Line(0, 3);
  badSize.cbStruct = 100;
  MIXERCONTROLA controls[3]{};
  auto lineControls = [&](DWORD lineId, DWORD count, DWORD size = sizeof(MIXERCONTROLA)) {
    return MIXERLINECONTROLSA{sizeof(MIXERLINECONTROLSA), lineId, {master}, count, size, controls};
  };
  MIXERLINECONTROLSA wrongCount = lineControls(0xFFFF0000u, 3), wrongSize = lineControls(0xFFFF0000u, 2, 140),
                     noLine = lineControls(0x1234, 2), noControl = lineControls(0, 1);
  noControl.dwControlID = 999;
  DWORD values[6]{};
  MIXERCONTROLDETAILS_LISTTEXTA texts[3]{};
  auto details = [&](DWORD control, DWORD channels, DWORD items, DWORD size = 4) { return Details(control, channels, items, values, size); };
  MIXERCONTROLDETAILS unknownControl = details(999, 1, 0), threeChannels = details(master, 3, 0),
                      detailsSize = details(master, 2, 0, 8), textOfVolume = details(master, 1, 0, sizeof texts[0]),
                      muxItems = details(mux, 1, 2), noValues = details(master, 2, 0);
  noValues.paDetails = nullptr;
  MIXERCONTROLDETAILS recordSize = details(master, 2, 0);
  recordSize.cbStruct = 16;
  TNoticeLog log;
  HMIXER unused = nullptr;

  struct Case { const char* name; MMRESULT result; MMRESULT expected; };
  const Case cases[] = {
      {"caps of no mixer", mixerGetDevCapsA(2, &caps, sizeof caps), MMSYSERR_BADDEVICEID},
      {"caps size", mixerGetDevCapsA(0, &caps, 40), MMSYSERR_INVALPARAM},
      {"caps record", mixerGetDevCapsA(0, nullptr, sizeof caps), MMSYSERR_INVALPARAM},
      {"caps by closed handle", mixerGetDevCapsA(reinterpret_cast<UINT_PTR>(closed), &caps, sizeof caps), MMSYSERR_BADDEVICEID},
      {"id of no waveform device", mixerGetID(Object(UINT_PTR{7}), &id, MIXER_OBJECTF_WAVEIN), MMSYSERR_BADDEVICEID},
      {"id of a made-up handle", mixerGetID(Object(UINT_PTR{0x7A0008}), &id, MIXER_OBJECTF_HWAVEOUT), MMSYSERR_INVALHANDLE},
      {"id of a closed mixer", mixerGetID(Object(closed), &id, MIXER_OBJECTF_HMIXER), MMSYSERR_INVALHANDLE},
      {"id of a MIDI device", mixerGetID(Object(UINT_PTR{0}), &id, MIXER_OBJECTF_MIDIOUT), MMSYSERR_BADDEVICEID},
      {"id with an unknown object kind", mixerGetID(Object(UINT_PTR{0}), &id, 0x60000000), MMSYSERR_INVALFLAG},
      {"id with a query flag", mixerGetID(Object(UINT_PTR{0}), &id, 1), MMSYSERR_INVALFLAG},
      {"id without a result", mixerGetID(Object(UINT_PTR{0}), nullptr, 0), MMSYSERR_INVALPARAM},
      {"open without a handle", mixerOpen(nullptr, 0, 0, 0, 0), MMSYSERR_INVALPARAM},
      {"open without a window", mixerOpen(&unused, 0, 0, 0, CALLBACK_WINDOW), MMSYSERR_INVALPARAM},
      {"open with a function", mixerOpen(&unused, 0, WindowOf(log), 0, CALLBACK_FUNCTION), MMSYSERR_NOTSUPPORTED},
      {"open with an event", mixerOpen(&unused, 0, WindowOf(log), 0, CALLBACK_EVENT), MMSYSERR_INVALFLAG},
      {"open with an unknown flag", mixerOpen(&unused, 0, 0, 0, 0x100), MMSYSERR_INVALFLAG},
      {"open no mixer", mixerOpen(&unused, 5, 0, 0, 0), MMSYSERR_BADDEVICEID},
      {"close twice", mixerClose(closed), MMSYSERR_INVALHANDLE},
      {"close nothing", mixerClose(nullptr), MMSYSERR_INVALHANDLE},
      {"line record", mixerGetLineInfoA(mixer, nullptr, 0), MMSYSERR_INVALPARAM},
      {"line size", mixerGetLineInfoA(mixer, &badSize, 0), MMSYSERR_INVALPARAM},
      {"line query", mixerGetLineInfoA(mixer, &line, 7), MMSYSERR_INVALFLAG},
      {"line flag", mixerGetLineInfoA(mixer, &line, 0x100), MMSYSERR_INVALFLAG},
      {"line of a closed mixer", mixerGetLineInfoA(Object(closed), &line, MIXER_OBJECTF_HMIXER), MMSYSERR_INVALHANDLE},
      {"destination", mixerGetLineInfoA(mixer, &noDestination, MIXER_GETLINEINFOF_DESTINATION), MIXERR_INVALLINE},
      {"source", mixerGetLineInfoA(mixer, &noSource, MIXER_GETLINEINFOF_SOURCE), MIXERR_INVALLINE},
      {"controls count", mixerGetLineControlsA(mixer, &wrongCount, MIXER_GETLINECONTROLSF_ALL), MMSYSERR_INVALPARAM},
      {"control size", mixerGetLineControlsA(mixer, &wrongSize, MIXER_GETLINECONTROLSF_ALL), MMSYSERR_INVALPARAM},
      {"controls of no line", mixerGetLineControlsA(mixer, &noLine, MIXER_GETLINECONTROLSF_ALL), MIXERR_INVALLINE},
      {"control by a wrong id", mixerGetLineControlsA(mixer, &noControl, MIXER_GETLINECONTROLSF_ONEBYID), MIXERR_INVALCONTROL},
      {"controls query", mixerGetLineControlsA(mixer, &noControl, 3), MMSYSERR_INVALFLAG},
      {"details record", mixerGetControlDetailsA(mixer, nullptr, 0), MMSYSERR_INVALPARAM},
      {"details size", mixerGetControlDetailsA(mixer, &recordSize, 0), MMSYSERR_INVALPARAM},
      {"unknown control", mixerGetControlDetailsA(mixer, &unknownControl, 0), MIXERR_INVALCONTROL},
      {"channel count", mixerGetControlDetailsA(mixer, &threeChannels, 0), MMSYSERR_INVALPARAM},
      {"value size", mixerSetControlDetails(mixer, &detailsSize, 0), MMSYSERR_INVALPARAM},
      {"no values", mixerSetControlDetails(mixer, &noValues, 0), MMSYSERR_INVALPARAM},
      {"item count", mixerGetControlDetailsA(mixer, &muxItems, 0), MMSYSERR_INVALPARAM},
      {"texts of a volume", mixerGetControlDetailsA(mixer, &textOfVolume, MIXER_GETCONTROLDETAILSF_LISTTEXT), MMSYSERR_INVALPARAM},
      {"details query", mixerGetControlDetailsA(mixer, &threeChannels, 2), MMSYSERR_INVALFLAG},
      {"custom write", mixerSetControlDetails(mixer, &noValues, MIXER_SETCONTROLDETAILSF_CUSTOM), MMSYSERR_NOTSUPPORTED},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, c.expected) << c.name;
  EXPECT_EQ(vmbox::MixerValues(0, master), (std::vector<DWORD>{65535, 65535})) << "a refused call writes nothing";

  // Forced failures, then a card rebuilt under an open handle: it answers MMSYSERR_NODRIVER and
  // can still be closed.
  vmbox::FailCall("mixerGetLineInfoA", MMSYSERR_NOMEM, 1);
  EXPECT_EQ(mixerGetLineInfoA(mixer, &line, 0), MMSYSERR_NOMEM);
  EXPECT_EQ(mixerGetLineInfoA(mixer, &line, 0), MMSYSERR_NOERROR);
  UseQuietCard();
  EXPECT_EQ(mixerGetLineInfoA(mixer, &line, 0), MMSYSERR_NODRIVER);
  EXPECT_EQ(mixerGetID(mixer, &id, MIXER_OBJECTF_HMIXER), MMSYSERR_NODRIVER);
  EXPECT_EQ(id, 0xFFFFFFFFu);
  EXPECT_EQ(mixerClose(handle), MMSYSERR_NOERROR);
}

} // namespace

// A card that refuses writes to the master volume: the write fails with its code, changes nothing
// and announces nothing, and its detail is kept for the handle it came through and for the mixer,
// until the next call through them.
TEST_F(MixerApi, ARefusedWriteFailsWithItsDetailPerHandle) {
  auto box = QuietResistorBox("Box A", 47);
  box.Card.RefusedControl = vmbox::TRefusedControl::MasterVolume;
  vmbox::Reinitialise({box}, TSpeed::Fast);
  TNoticeLog log;
  HMIXER a = nullptr, b = nullptr;
  ASSERT_EQ(mixerOpen(&a, 0, WindowOf(log), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  ASSERT_EQ(mixerOpen(&b, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  const DWORD master = ControlId(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 0, MIXERCONTROL_CONTROLTYPE_VOLUME);
  const DWORD mute = ControlId(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, 0, MIXERCONTROL_CONTROLTYPE_MUTE);
  const std::string refused = "Virtual card: the write to \"Master Volume\" was refused";
  struct Case {
    const char* What;
    HMIXEROBJ Through;
    DWORD Flags, Id;
    MMRESULT Code;
    std::string A, B, Mixer; // the details afterwards
  };
  const Case cases[] = {
      {"refused through a", Object(a), MIXER_OBJECTF_HMIXER, master, MMSYSERR_ERROR, refused, "", refused},
      {"another control through b", Object(b), MIXER_OBJECTF_MIXER, mute, MMSYSERR_NOERROR, refused, "", ""},
      {"refused by the mixer's number", Object(UINT_PTR{0}), MIXER_OBJECTF_MIXER, master, MMSYSERR_ERROR, refused, "", refused},
      {"refused by its input's number", Object(UINT_PTR{InputOf(0)}), MIXER_OBJECTF_WAVEIN, master, MMSYSERR_ERROR, refused, "", refused},
      {"another control through a", Object(a), MIXER_OBJECTF_MIXER, mute, MMSYSERR_NOERROR, "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    std::vector<DWORD> values = {c.Id == master ? 1000u : 1u, 2000};
    auto d = Details(c.Id, 1, 0, values.data());
    EXPECT_EQ(mixerSetControlDetails(c.Through, &d, c.Flags | MIXER_SETCONTROLDETAILSF_VALUE), c.Code);
    EXPECT_EQ(mixerGetNativeError(Object(a), MIXER_OBJECTF_HMIXER), c.A);
    EXPECT_EQ(mixerGetNativeError(Object(b), MIXER_OBJECTF_MIXER), c.B);
    EXPECT_EQ(mixerGetNativeError(Object(UINT_PTR{0}), MIXER_OBJECTF_MIXER), c.Mixer);
  }
  EXPECT_EQ(vmbox::MixerValues(0, master), (std::vector<DWORD>{65535, 65535}));
  ASSERT_EQ(vmbox::ChangeMixerControl(0, master, {7, 7}), MMSYSERR_NOERROR) << "another program's hand";
  platform::ProcessMessages();
  ASSERT_EQ(log.Notices.size(), 2u); // the mute written through b, the other program's master
  EXPECT_EQ(log.Notices[1].Header, LPARAM(master));
  ASSERT_EQ(mixerClose(a), MMSYSERR_NOERROR);
  EXPECT_EQ(mixerGetNativeError(Object(a), MIXER_OBJECTF_HMIXER), "") << "a closed handle";
  EXPECT_EQ(mixerGetNativeError(Object(UINT_PTR{5}), MIXER_OBJECTF_MIXER), "") << "no such mixer";
  EXPECT_EQ(mixerClose(b), MMSYSERR_NOERROR);
}
