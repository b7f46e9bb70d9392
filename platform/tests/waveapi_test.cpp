// The front end of the waveform-audio API: sample conversion, result texts, capabilities, and
// every misuse answered with its result code.

#include "platform/advice.h"
#include "platform/mixer.h"
#include "platform/src/uPcm.h"
#include "platform/calibration_place.h"
#include "platform/inifile.h"
#include "platform/tests/wave_support.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

namespace {

using namespace wavetest;
using namespace platform;

// ---- Sample conversion ----

TEST(Pcm, CodesAreRoundedAndClippedAtFullScale) {
  struct Case { double value; int code16; int code8; };
  const Case cases[] = {
      {0.0, 0, 128},          {1.0, 32767, 255},       {-1.0, -32768, 0},
      {2.5, 32767, 255},      {-7.0, -32768, 0},       {0.5, 16384, 192},
      {1.4 / 32768, 1, 128},  {1.6 / 32768, 2, 128},   {-0.4 / 128, -102, 128},
      {std::nan(""), 0, 128}, {-1.0 / 32768, -1, 128},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(pcm::ToCode16(c.value), c.code16) << c.value;
    EXPECT_EQ(pcm::ToCode8(c.value), c.code8) << c.value;
  }
  for (int code = -32768; code <= 32767; ++code) { // every code survives the round trip
    ASSERT_EQ(pcm::ToCode16(pcm::FromCode16(static_cast<int16_t>(code))), code);
    if (code >= 0 && code <= 255) {
      ASSERT_EQ(pcm::ToCode8(pcm::FromCode8(static_cast<uint8_t>(code))), code);
    }
  }
}

TEST(Pcm, LayoutsInterleaveLeftFirstAndMonoUsesTheLeft) {
  const double stereo[] = {0.5, -0.25, -1.0, 1.0};
  struct Case { pcm::TLayout layout; std::vector<uint8_t> bytes; std::vector<double> back; };
  const Case cases[] = {
      {{2, 16}, {0x00, 0x40, 0x00, 0xE0, 0x00, 0x80, 0xFF, 0x7F}, {0.5, -0.25, -1.0, 32767 / 32768.0}},
      {{1, 16}, {0x00, 0x40, 0x00, 0x80}, {0.5, 0.5, -1.0, -1.0}},
      {{2, 8}, {192, 96, 0, 255}, {0.5, -0.25, -1.0, 127 / 128.0}},
      {{1, 8}, {192, 0}, {0.5, 0.5, -1.0, -1.0}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes(c.bytes.size());
    pcm::EncodeStereo(stereo, 2, c.layout, bytes.data());
    EXPECT_EQ(bytes, c.bytes) << c.layout.Channels << "x" << c.layout.Bits;
    std::vector<double> back(4);
    pcm::DecodeToStereo(bytes.data(), 2, c.layout, back.data());
    EXPECT_EQ(back, c.back) << c.layout.Channels << "x" << c.layout.Bits;
  }
}

// ---- Result texts ----

TEST(WaveErrors, EveryCodeHasItsOwnTextAndUnknownCodesAreRefused) {
  std::vector<std::string> seen;
  for (MMRESULT code = 0; code <= 40; ++code) {
    char text[128];
    std::memset(text, 'x', sizeof text);
    const bool known = code <= MMSYSERR_LASTERROR || (code >= WAVERR_BASE && code <= WAVERR_LASTERROR);
    EXPECT_EQ(waveInGetErrorTextA(code, text, sizeof text), known ? MMSYSERR_NOERROR : MMSYSERR_BADERRNUM) << code;
    EXPECT_EQ(waveOutGetErrorTextA(code, text, sizeof text), known ? MMSYSERR_NOERROR : MMSYSERR_BADERRNUM);
    EXPECT_EQ(std::strlen(text) > 0, known) << code;
    if (known) {
      EXPECT_EQ(std::count(seen.begin(), seen.end(), text), 0) << "repeated text for " << code;
      seen.push_back(text);
    }
  }
  char text[8]; // cut to the buffer, always terminated
  EXPECT_EQ(waveInGetErrorTextA(WAVERR_UNPREPARED, text, sizeof text), MMSYSERR_NOERROR);
  EXPECT_EQ(std::strlen(text), 7u);
  EXPECT_EQ(waveInGetErrorTextA(WAVERR_UNPREPARED, nullptr, 128), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveOutGetErrorTextA(MMSYSERR_NOERROR, text, 0), MMSYSERR_INVALPARAM);
}

// Every failure a call can answer has one sentence for the person at the instrument, and the
// causes a person can act on are named where they are the likely ones.
TEST(WaveErrors, EveryFailureHasOneSentenceOfAdvice) {
  std::vector<MMRESULT> codes;
  for (MMRESULT code = 1; code <= MMSYSERR_LASTERROR; ++code) codes.push_back(code);
  for (MMRESULT code = WAVERR_BASE; code <= WAVERR_LASTERROR; ++code) codes.push_back(code);
  for (MMRESULT code = MIXERR_BASE; code <= MIXERR_LASTERROR; ++code) codes.push_back(code);
  codes.push_back(999); // no code of the API
  for (const MMRESULT code : codes) {
    const std::string advice = ResultAdvice(code);
    ASSERT_FALSE(advice.empty()) << code;
    EXPECT_TRUE(std::isupper(static_cast<unsigned char>(advice.front()))) << advice;
    EXPECT_EQ(advice.back(), '.') << advice;
    EXPECT_EQ(advice.find(". "), std::string::npos) << "more than one sentence: " << advice;
  }
  EXPECT_EQ(ResultAdvice(MMSYSERR_NOERROR), "");

  const struct { MMRESULT code; std::vector<const char*> names; } causes[] = {
      {MMSYSERR_ALLOCATED, {"Another program is using the device"}},
      {MMSYSERR_ERROR, {"in use by another program", "sound server"}},
      {MMSYSERR_NODRIVER, {"unplugged", "sound server is not running"}},
      {MMSYSERR_NOTENABLED, {"sound server"}},
      {MMSYSERR_BADDEVICEID, {"unplugged", "restart the program"}},
      {WAVERR_BADFORMAT, {"does not support this sampling rate", "choose another rate"}},
      {MIXERR_INVALCONTROL, {"mixer"}},
  };
  for (const auto& c : causes) {
    for (const char* name : c.names)
      EXPECT_NE(ResultAdvice(c.code).find(name), std::string::npos) << c.code << ": " << name;
  }
}

// The failure's own text comes first, unchanged, and one blank separates it from the advice.
TEST(WaveErrors, AdviceFollowsTheTextOfTheFailure) {
  const std::string gone = ResultAdvice(MMSYSERR_NODRIVER);
  const struct { std::string text; MMRESULT code; std::string line; } cases[] = {
      {"Open: MMSYSERR_NODRIVER", MMSYSERR_NODRIVER, "Open: MMSYSERR_NODRIVER. " + gone},
      {"Open: The device is not present: no driver serves it.", MMSYSERR_NODRIVER,
       "Open: The device is not present: no driver serves it. " + gone},
      {"Can not open input device 3", MMSYSERR_ALLOCATED,
       "Can not open input device 3. Another program is using the device: close that program or "
       "choose another device."},
      {"Open: ", 999, "Open: " + ResultAdvice(999)}, // a code without a text of its own
      {"", MMSYSERR_NODRIVER, gone},
      {"Start measurement...", MMSYSERR_NOERROR, "Start measurement..."},
  };
  for (const auto& c : cases) EXPECT_EQ(WithAdvice(c.text, c.code), c.line) << c.text;
}

// ---- Misuse through the API ----

struct WaveApiMisuse : testing::Test {
  void SetUp() override { UseQuietCard(); }
  void TearDown() override { platform::vmbox::ClearFaults(); }
};

TEST_F(WaveApiMisuse, OpenRefusesBadArguments) {
  const WAVEFORMATEX good = Pcm(48000);
  auto with = [&](auto change) { WAVEFORMATEX f = good; change(f); return f; };
  struct Case { const char* name; WAVEFORMATEX format; UINT device; DWORD flags; bool noHandle; MMRESULT expected; };
  TEvent event;
  const Case cases[] = {
      {"accepted", good, InputOf(0), CALLBACK_EVENT, false, MMSYSERR_NOERROR},
      {"device number", good, 99, CALLBACK_EVENT, false, MMSYSERR_BADDEVICEID},
      {"format tag", with([](auto& f) { f.wFormatTag = 3; }), InputOf(0), CALLBACK_EVENT, false, WAVERR_BADFORMAT},
      {"three channels", Pcm(48000, 3), InputOf(0), CALLBACK_EVENT, false, WAVERR_BADFORMAT},
      {"12 bits", Pcm(48000, 2, 12), InputOf(0), CALLBACK_EVENT, false, WAVERR_BADFORMAT},
      {"rate too low", Pcm(7999), InputOf(0), CALLBACK_EVENT, false, WAVERR_BADFORMAT},
      {"rate too high", Pcm(192001), InputOf(0), CALLBACK_EVENT, false, WAVERR_BADFORMAT},
      {"block align", with([](auto& f) { f.nBlockAlign = 2; }), InputOf(0), CALLBACK_EVENT, false, WAVERR_BADFORMAT},
      {"byte rate", with([](auto& f) { f.nAvgBytesPerSec = 1; }), InputOf(0), CALLBACK_EVENT, false, WAVERR_BADFORMAT},
      {"callback function", good, InputOf(0), CALLBACK_FUNCTION, false, MMSYSERR_NOTSUPPORTED},
      {"unknown callback kind", good, InputOf(0), 0x40000, false, MMSYSERR_INVALFLAG},
      {"unknown flag", good, InputOf(0), CALLBACK_EVENT | 0x100, false, MMSYSERR_INVALFLAG},
      {"no handle variable", good, InputOf(0), CALLBACK_EVENT, true, MMSYSERR_INVALPARAM},
  };
  for (const auto& c : cases) {
    HWAVEIN in = nullptr;
    EXPECT_EQ(waveInOpen(c.noHandle ? nullptr : &in, c.device, &c.format, event.Callback(), 0, c.flags), c.expected) << c.name;
    if (c.expected == MMSYSERR_NOERROR) {
      EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    }
  }
  HWAVEOUT out = nullptr;
  EXPECT_EQ(waveOutOpen(&out, OutputOf(0), nullptr, event.Callback(), 0, CALLBACK_EVENT), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveOutOpen(&out, OutputOf(0), &good, 0, 0, CALLBACK_EVENT), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveOutOpen(&out, OutputOf(0), &good, 0, 0, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
}

TEST_F(WaveApiMisuse, HandleAndHeaderMisuseIsAnsweredWithItsCode) {
  HWAVEIN in = nullptr;
  const WAVEFORMATEX format = Pcm(48000);
  ASSERT_EQ(waveInOpen(&in, InputOf(0), &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  TBuffers buffers(3, 4096);
  WAVEHDR noData{};
  noData.dwBufferLength = 64;
  WAVEHDR tooShort = *buffers[2];
  tooShort.dwBufferLength = 3;
  const auto madeUp = reinterpret_cast<HWAVEIN>(uintptr_t{0x7A0008});
  const auto outAsIn = reinterpret_cast<HWAVEOUT>(in);
  MMTIME time{TIME_SAMPLES, {}};

  struct Case { const char* name; MMRESULT result; MMRESULT expected; };
  const Case cases[] = {
      {"made-up handle", waveInStart(madeUp), MMSYSERR_INVALHANDLE},
      {"null handle", waveInReset(nullptr), MMSYSERR_INVALHANDLE},
      {"capture handle used for playback", waveOutReset(outAsIn), MMSYSERR_INVALHANDLE},
      {"null header", waveInPrepareHeader(in, nullptr, sizeof(WAVEHDR)), MMSYSERR_INVALPARAM},
      {"header size", waveInPrepareHeader(in, buffers[0], 32), MMSYSERR_INVALPARAM},
      {"header without data", waveInPrepareHeader(in, &noData, sizeof(WAVEHDR)), MMSYSERR_INVALPARAM},
      {"buffer below one frame", waveInPrepareHeader(in, &tooShort, sizeof(WAVEHDR)), MMSYSERR_INVALPARAM},
      {"unprepared buffer", waveInAddBuffer(in, buffers[0], sizeof(WAVEHDR)), WAVERR_UNPREPARED},
      {"prepare", waveInPrepareHeader(in, buffers[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR},
      {"add", waveInAddBuffer(in, buffers[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR},
      {"add while queued", waveInAddBuffer(in, buffers[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING},
      {"unprepare while queued", waveInUnprepareHeader(in, buffers[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING},
      {"close while queued", waveInClose(in), WAVERR_STILLPLAYING},
      {"position without record", waveInGetPosition(in, nullptr, sizeof(MMTIME)), MMSYSERR_INVALPARAM},
      {"position size", waveInGetPosition(in, &time, 8), MMSYSERR_INVALPARAM},
      {"unprepare never prepared", waveInUnprepareHeader(in, buffers[1], sizeof(WAVEHDR)), MMSYSERR_NOERROR},
      {"reset", waveInReset(in), MMSYSERR_NOERROR},
      {"unprepare", waveInUnprepareHeader(in, buffers[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR},
      {"close", waveInClose(in), MMSYSERR_NOERROR},
      {"close again", waveInClose(in), MMSYSERR_INVALHANDLE},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, c.expected) << c.name;
  EXPECT_EQ(Flags(*buffers[0]) & (WHDR_PREPARED | WHDR_INQUEUE), 0u);
}

TEST_F(WaveApiMisuse, CapabilitiesNameTheBoxesAndFollowTheHighestRate) {
  ASSERT_EQ(waveInGetNumDevs(), waveOutGetNumDevs());
  WAVEINCAPSA in{};
  WAVEOUTCAPSA out{};
  ASSERT_EQ(waveInGetDevCapsA(InputOf(1), &in, sizeof in), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutGetDevCapsA(OutputOf(1), &out, sizeof out), MMSYSERR_NOERROR);
  EXPECT_STREQ(in.szPname, "Box B");
  EXPECT_STREQ(out.szPname, "Box B");
  EXPECT_EQ(in.wChannels, 2);
  EXPECT_EQ(out.dwSupport & WAVECAPS_SYNC, 0u);
  EXPECT_EQ(in.dwFormats, 0xFFFFFu); // all twelve classic bits plus 48 and 96 kHz

  EXPECT_EQ(waveInGetDevCapsA(InputOf(1), &in, sizeof in - 1), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveInGetDevCapsA(InputOf(1), nullptr, sizeof in), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveOutGetDevCapsA(waveOutGetNumDevs(), &out, sizeof out), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(waveOutGetDevCapsA(WAVE_MAPPER, &out, sizeof out), MMSYSERR_NOERROR);

  platform::vmbox::SetMaxSampleRate(44100);
  ASSERT_EQ(waveInGetDevCapsA(InputOf(0), &in, sizeof in), MMSYSERR_NOERROR);
  EXPECT_EQ(in.dwFormats, 0xFFFu);
  const WAVEFORMATEX f48 = Pcm(48000), f44 = Pcm(44100);
  EXPECT_EQ(waveInOpen(nullptr, InputOf(0), &f48, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  EXPECT_EQ(waveInOpen(nullptr, InputOf(0), &f44, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
}

TEST_F(WaveApiMisuse, NamesBeyondWhatTheCapabilitiesHoldComeWholeFromTheNameCalls) {
  const std::string whole = "Box A, named as a card names itself (hw:2,0)";
  ASSERT_GT(whole.size(), MAXPNAMELEN - 1);
  TBoxConfig a = QuietResistorBox("Box A", 47);
  a.DeviceName = whole;
  platform::vmbox::Reinitialise({a, QuietResistorBox("Box B", 0)}, TSpeed::Fast);
  const struct { size_t Box; std::string Name; } boxes[] = {{0, whole}, {1, "Box B"}};
  for (const auto& b : boxes) {
    SCOPED_TRACE(b.Name);
    const std::string cut = b.Name.substr(0, MAXPNAMELEN - 1);
    WAVEINCAPSA in{};
    WAVEOUTCAPSA out{};
    MIXERCAPSA mixer{};
    ASSERT_EQ(waveInGetDevCapsA(InputOf(b.Box), &in, sizeof in), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutGetDevCapsA(OutputOf(b.Box), &out, sizeof out), MMSYSERR_NOERROR);
    ASSERT_EQ(mixerGetDevCapsA(platform::vmbox::MixerId(b.Box), &mixer, sizeof mixer),
              MMSYSERR_NOERROR);
    EXPECT_EQ(in.szPname, cut);
    EXPECT_EQ(out.szPname, cut);
    EXPECT_EQ(mixer.szPname, cut);
    std::string inName = "stale", outName, mixerName;
    EXPECT_EQ(waveInGetDevName(InputOf(b.Box), inName), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutGetDevName(OutputOf(b.Box), outName), MMSYSERR_NOERROR);
    EXPECT_EQ(mixerGetDevName(platform::vmbox::MixerId(b.Box), mixerName), MMSYSERR_NOERROR);
    EXPECT_EQ(inName, b.Name);
    EXPECT_EQ(outName, b.Name);
    EXPECT_EQ(mixerName, b.Name);
    EXPECT_EQ(platform::vmbox::BoxName(b.Box), b.Name);
  }

  // Answered as the capabilities calls are, with the name emptied.
  platform::vmbox::Vanish(1, TPort::Input);
  platform::vmbox::FailCall("waveOutGetDevName", MMSYSERR_NOMEM);
  platform::vmbox::FailCall("mixerGetDevName", MMSYSERR_ERROR);
  const struct {
    const char* What;
    std::function<MMRESULT(std::string&)> Call;
    MMRESULT Expected;
    std::string Name;
  } calls[] = {
      {"forced", [](std::string& n) { return waveOutGetDevName(OutputOf(0), n); }, MMSYSERR_NOMEM, ""},
      {"forced once", [](std::string& n) { return waveOutGetDevName(OutputOf(0), n); }, MMSYSERR_NOERROR, whole},
      {"mapper", [](std::string& n) { return waveOutGetDevName(WAVE_MAPPER, n); }, MMSYSERR_NOERROR, whole},
      {"input number", [](std::string& n) { return waveInGetDevName(waveInGetNumDevs(), n); }, MMSYSERR_BADDEVICEID, ""},
      {"vanished", [](std::string& n) { return waveInGetDevName(InputOf(1), n); }, MMSYSERR_NODRIVER, ""},
      {"mixer forced", [](std::string& n) { return mixerGetDevName(0, n); }, MMSYSERR_ERROR, ""},
      {"mixer number", [](std::string& n) { return mixerGetDevName(mixerGetNumDevs(), n); }, MMSYSERR_BADDEVICEID, ""},
  };
  for (const auto& c : calls) {
    std::string name = "stale";
    EXPECT_EQ(c.Call(name), c.Expected) << c.What;
    EXPECT_EQ(name, c.Name) << c.What;
  }
}

// Every box is a position of the one virtual card's jig: its devices share the card's name, and
// a calibration made on one box applies to all of them at its rate.
TEST_F(WaveApiMisuse, TheBoxesShareTheirCardAndACalibrationKnowsWhereItWasMade) {
  platform::vmbox::Reinitialise({QuietResistorBox("Box A", 47), QuietResistorBox("Box B", 0)}, TSpeed::Fast);
  for (size_t box = 0; box < 2; ++box) {
    std::string in = "stale", out;
    EXPECT_EQ(waveInGetCardName(InputOf(box), in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutGetCardName(OutputOf(box), out), MMSYSERR_NOERROR);
    EXPECT_EQ(in, "Virtual card");
    EXPECT_EQ(out, "Virtual card");
  }
  std::string none = "stale";
  EXPECT_EQ(waveInGetCardName(waveInGetNumDevs(), none), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(none, "");

  const TCalibrationPlace made = PlaceOfDevices(InputOf(0), OutputOf(0), 48000);
  EXPECT_EQ(made.Input, "Virtual card");
  const std::string elsewhere = "The calibration was made on \"Virtual card\" at 48000 Hz, not on "
                                "the card and rate in use: calibrate again for exact readings.";
  const struct {
    const char* What;
    TCalibrationPlace Now;
    std::string Warning;
  } cases[] = {
      {"another box of the card", PlaceOfDevices(InputOf(1), OutputOf(1), 48000), ""},
      {"another rate", PlaceOfDevices(InputOf(1), OutputOf(1), 96000), elsewhere},
      {"another input card", {"hw:1", "Virtual card", 48000}, elsewhere},
      {"another output card", {"Virtual card", "hw:1", 48000}, elsewhere},
  };
  for (const auto& c : cases) EXPECT_EQ(CalibrationPlaceWarning(made, c.Now), c.Warning) << c.What;
  EXPECT_EQ(CalibrationPlaceWarning({}, {"hw:1", "hw:2", 44100}), "") << "not known: no warning";
  EXPECT_EQ(CalibrationPlaceWarning({"hw:1", "hw:2", 44100}, made),
            "The calibration was made on \"hw:2\" (output) and \"hw:1\" (input) at 44100 Hz, not on "
            "the card and rate in use: calibrate again for exact readings.");

  // Kept in the settings file; a rate that is not a positive number is no place.
  const auto dir = std::filesystem::temp_directory_path() / ("waveapi_place_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  TIniFile ini(dir / "place.ini");
  SaveCalibrationPlace(ini, "Calibration", {"hw:1", "hw:2", 44100});
  const TCalibrationPlace loaded = LoadCalibrationPlace(ini, "Calibration");
  EXPECT_EQ(loaded.Input, "hw:1");
  EXPECT_EQ(loaded.Output, "hw:2");
  EXPECT_EQ(loaded.Rate, 44100u);
  for (const char* rate : {"0", "-48000", "fast", ""}) {
    ini.WriteString("Calibration", "CalibratedRate", rate);
    EXPECT_FALSE(LoadCalibrationPlace(ini, "Calibration").Known()) << rate;
  }
  std::filesystem::remove_all(dir);
}

TEST_F(WaveApiMisuse, OpenIsRefusedWhileOpenAndWithoutAllowSyncWhereNeeded) {
  TNoticeLog log;
  const WAVEFORMATEX format = Pcm(48000);
  HWAVEOUT first = nullptr, second = nullptr;
  ASSERT_EQ(waveOutOpen(&first, OutputOf(0), &format, WindowOf(log), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutOpen(&second, OutputOf(0), &format, WindowOf(log), 0, CALLBACK_WINDOW), MMSYSERR_ALLOCATED);
  EXPECT_EQ(waveOutOpen(nullptr, OutputOf(0), &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(first), MMSYSERR_NOERROR);
  ASSERT_TRUE(PumpUntil([&] { return log.Count(MM_WOM_CLOSE) == 1; }));
  EXPECT_EQ(log.Notices.size(), 2u); // the query sent nothing

  platform::vmbox::SetSynchronousOutput(1, true);
  WAVEOUTCAPSA caps{};
  ASSERT_EQ(waveOutGetDevCapsA(OutputOf(1), &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_TRUE(caps.dwSupport & WAVECAPS_SYNC);
  EXPECT_EQ(waveOutOpen(&first, OutputOf(1), &format, 0, 0, CALLBACK_NULL), WAVERR_SYNC);
  ASSERT_EQ(waveOutOpen(&first, OutputOf(1), &format, 0, 0, WAVE_ALLOWSYNC), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(first), MMSYSERR_NOERROR);
}

} // namespace
