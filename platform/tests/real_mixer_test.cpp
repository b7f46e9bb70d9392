// The sound-card mixer of the real back end on the loopback server: the mixer that serves the
// server's devices, its lines, values that read back as written, a change made by another
// program (the server's own control tool) arriving as a change notice, and volumes of half
// scale that halve the amplitude, as the attenuator steps of the programs expect.

#include "platform/mixer.h"
#include "platform/tests/real_support.h"
#include "platform/tests/wave_support.h"

namespace {

using namespace realtest;
namespace pcm = platform::pcm;

constexpr DWORD Rate = 48000;
constexpr size_t Period = 48; // a 1 kHz tone
constexpr size_t BufferFrames = 2400;
constexpr double ToneLevel = 0.5;

// A 1 kHz tone looped on the output while the input records, both on the server's devices.
class TLoopedTone {
public:
  TLoopedTone(int in, int out) : Input(16, BufferFrames * 4), Output(1, BufferFrames * 4) {
    const WAVEFORMATEX format = Pcm16(Rate);
    EXPECT_EQ(waveInOpen(&In, in, &format, Event.Callback(), 0, CALLBACK_EVENT), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutOpen(&Out, out, &format, Event.Callback(), 0, CALLBACK_EVENT),
              MMSYSERR_NOERROR);
    if (!In || !Out) return;
    std::vector<double> tone(2 * BufferFrames);
    for (size_t i = 0; i < BufferFrames; ++i) {
      tone[2 * i] = tone[2 * i + 1] =
          ToneLevel * std::sin(2 * std::numbers::pi * static_cast<double>(i % Period) / Period);
    }
    pcm::EncodeStereo(tone.data(), BufferFrames, Layout,
                      reinterpret_cast<uint8_t*>(Output[0]->lpData));
    Output[0]->dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    Output[0]->dwLoops = 0xFFFFFFFFu;
    waveOutPrepareHeader(Out, Output[0], sizeof(WAVEHDR));
    for (size_t i = 0; i < Input.Size(); ++i) {
      waveInPrepareHeader(In, Input[i], sizeof(WAVEHDR));
      waveInAddBuffer(In, Input[i], sizeof(WAVEHDR));
    }
    waveInStart(In);
    waveOutWrite(Out, Output[0], sizeof(WAVEHDR));
  }
  ~TLoopedTone() {
    if (In) {
      waveInReset(In);
      for (size_t i = 0; i < Input.Size(); ++i) waveInUnprepareHeader(In, Input[i], sizeof(WAVEHDR));
      waveInClose(In);
    }
    if (Out) {
      waveOutReset(Out);
      waveOutUnprepareHeader(Out, Output[0], sizeof(WAVEHDR));
      waveOutClose(Out);
    }
  }

  // The tone's amplitude on the left input over `seconds`, after `settle` seconds of recording
  // that may still hold sound played before a change.
  double Level(double settle, double seconds) {
    Record(static_cast<size_t>(settle * Rate));
    const auto frames = static_cast<size_t>(seconds * Rate) / Period * Period;
    const std::vector<double> stereo = Record(frames);
    if (stereo.size() < 2 * frames) return 0;
    return std::abs(ToneAmplitude(stereo, 0, frames, 0, Period));
  }

private:
  // At least `frames` frames recorded from now on, the buffers handed back as they return.
  std::vector<double> Record(size_t frames) {
    std::vector<double> stereo;
    for (int waits = 0; stereo.size() < 2 * frames && waits < 3;) {
      WAVEHDR& header = *Input[Next];
      if ((Flags(header) & (WHDR_DONE | WHDR_INQUEUE)) != WHDR_DONE) {
        waits += Event.Wait(1000) ? 0 : 1;
        continue;
      }
      const size_t got = header.dwBytesRecorded / Layout.FrameBytes(), at = stereo.size();
      stereo.resize(at + 2 * got);
      pcm::DecodeToStereo(reinterpret_cast<uint8_t*>(header.lpData), got, Layout,
                          stereo.data() + at);
      header.dwFlags &= ~WHDR_DONE;
      waveInAddBuffer(In, &header, sizeof(WAVEHDR));
      Next = (Next + 1) % Input.Size();
    }
    return stereo;
  }

  const pcm::TLayout Layout{2, 16};
  wavetest::TEvent Event;
  wavetest::TBuffers Input, Output;
  HWAVEIN In = nullptr;
  HWAVEOUT Out = nullptr;
  size_t Next = 0; // the input buffer that comes back next
};

struct TMixerFixture : testing::Test {
  void SetUp() override {
    SKIP_WITHOUT_LOOPBACK();
    const int out = FindOutput("pulse");
    ASSERT_GE(out, 0);
    ASSERT_EQ(mixerGetID(reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(out)), &Id,
                         MIXER_OBJECTF_WAVEOUT),
              MMSYSERR_NOERROR);
    ASSERT_EQ(mixerOpen(&Handle, Id, wavetest::WindowOf(Log), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    Shell("pactl set-sink-volume " + LoopbackSink() + " 65536 65536");
  }
  void TearDown() override {
    if (Handle) mixerClose(Handle);
    if (!LoopbackSink().empty()) Shell("pactl set-sink-volume " + LoopbackSink() + " 65536 65536");
  }

  // The first control of a type on the destination of a type (or on its first source).
  MIXERCONTROLA Control(DWORD destinationType, DWORD controlType, bool onSource = false) {
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwComponentType = destinationType;
    EXPECT_EQ(mixerGetLineInfoA(Object(), &line, MIXER_GETLINEINFOF_COMPONENTTYPE),
              MMSYSERR_NOERROR);
    if (onSource) {
      line.dwSource = 0;
      EXPECT_EQ(mixerGetLineInfoA(Object(), &line, MIXER_GETLINEINFOF_SOURCE), MMSYSERR_NOERROR);
    }
    MIXERCONTROLA control{};
    MIXERLINECONTROLSA controls{};
    controls.cbStruct = sizeof controls;
    controls.dwLineID = line.dwLineID;
    controls.dwControlType = controlType;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof control;
    controls.pamxctrl = &control;
    EXPECT_EQ(mixerGetLineControlsA(Object(), &controls, MIXER_GETLINECONTROLSF_ONEBYTYPE),
              MMSYSERR_NOERROR);
    Channels = line.cChannels;
    return control;
  }

  std::vector<DWORD> Get(const MIXERCONTROLA& control) {
    const DWORD channels = control.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM ? 1 : Channels;
    std::vector<DWORD> values(channels);
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = control.dwControlID;
    details.cChannels = channels;
    details.cbDetails = sizeof(DWORD);
    details.paDetails = values.data();
    EXPECT_EQ(mixerGetControlDetailsA(Object(), &details, MIXER_GETCONTROLDETAILSF_VALUE),
              MMSYSERR_NOERROR);
    return values;
  }

  void Set(const MIXERCONTROLA& control, std::vector<DWORD> values) {
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = control.dwControlID;
    details.cChannels = static_cast<DWORD>(values.size());
    details.cbDetails = sizeof(DWORD);
    details.paDetails = values.data();
    EXPECT_EQ(mixerSetControlDetails(Object(), &details, MIXER_SETCONTROLDETAILSF_VALUE),
              MMSYSERR_NOERROR);
  }

  HMIXEROBJ Object() const { return reinterpret_cast<HMIXEROBJ>(Handle); }
  bool NoticeFor(DWORD controlId) const {
    for (const auto& n : Log.Notices) {
      if (n.Message == MM_MIXM_CONTROL_CHANGE && static_cast<DWORD>(n.Header) == controlId) {
        return true;
      }
    }
    return false;
  }

  UINT Id = 0;
  HMIXER Handle = nullptr;
  DWORD Channels = 0;
  wavetest::TNoticeLog Log;
};

TEST_F(TMixerFixture, ServesTheServersDevicesWithMasterAndCapture) {
  MIXERCAPSA caps{};
  ASSERT_EQ(mixerGetDevCapsA(Id, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.cDestinations, 2u);
  const auto master = Control(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME);
  EXPECT_STREQ(master.szName, "Master Volume");
  const auto capture = Control(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERCONTROL_CONTROLTYPE_VOLUME, true);
  EXPECT_STREQ(capture.szName, "Capture Capture Volume");
  const int in = FindInput("pulse");
  UINT inMixer = 0;
  ASSERT_EQ(mixerGetID(reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(in)), &inMixer,
                       MIXER_OBJECTF_WAVEIN),
            MMSYSERR_NOERROR);
  EXPECT_EQ(inMixer, Id);
}

TEST_F(TMixerFixture, ValuesReadBackAsWrittenAndReachTheServer) {
  const auto master = Control(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME);
  const std::vector<DWORD> probes[] = {{0x8000, 0x4000}, {0x1234, 0xFFFF}, {0, 0x0001}};
  for (const auto& probe : probes) {
    Set(master, probe);
    EXPECT_EQ(Get(master), probe);
  }
  Set(master, {0xFFFF, 0xFFFF});
  Shell("pactl set-sink-volume " + LoopbackSink() + " 32768 32768"); // someone else moves it
  EXPECT_TRUE(wavetest::PumpUntil([&] { return Get(master)[0] < 0xFFFF; }, std::chrono::seconds(5)));
  std::printf("server at half its scale reads %u\n", Get(master)[0]);
}

// Volumes 65535 * 2^-s, as the attenuator steps of the programs write them: each step halves
// the amplitude that comes back, on the output's master volume and the input's capture volume.
TEST_F(TMixerFixture, EveryStepOfHalfScaleHalvesTheAmplitude) {
  const std::string source = " " + LoopbackSink() + ".monitor ";
  ASSERT_TRUE(Shell("pactl set-source-volume" + source + "65536"));
  const auto master = Control(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME);
  const auto capture = Control(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERCONTROL_CONTROLTYPE_VOLUME, true);
  TLoopedTone tone(FindInput("pulse"), FindOutput("pulse"));
  for (const MIXERCONTROLA* control : {&master, &capture}) {
    SCOPED_TRACE(control->szName);
    double previous = 0;
    for (int step = 0; step < 4; ++step) {
      Set(*control, {static_cast<DWORD>(std::lround(std::ldexp(65535.0, -step)))});
      const double level = tone.Level(0.3, 0.2);
      if (step == 0) {
        EXPECT_NEAR(level, ToneLevel, 0.01);
      } else {
        std::printf("%s, step %d: amplitude factor %.4f\n", control->szName, step, level / previous);
        EXPECT_NEAR(level / previous, 0.5, 0.01);
      }
      previous = level;
    }
    Set(*control, {0xFFFF});
  }
  Shell("pactl set-source-volume" + source + "65536");
}

TEST_F(TMixerFixture, AChangeByAnotherProgramArrivesAsANotice) {
  const auto master = Control(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME);
  Log.Notices.clear();
  ASSERT_TRUE(Shell("pactl set-sink-volume " + LoopbackSink() + " 40000 30000"));
  EXPECT_TRUE(wavetest::PumpUntil([&] { return NoticeFor(master.dwControlID); },
                                  std::chrono::seconds(5)));
}

} // namespace
