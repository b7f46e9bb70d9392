// The sound-card mixer of the real back end on the loopback server: the mixer that serves the
// server's devices, its lines, values that read back as written, and a change made by another
// program (the server's own control tool) arriving as a change notice.

#include "platform/mixer.h"
#include "platform/tests/real_support.h"
#include "platform/tests/wave_support.h"

namespace {

using namespace realtest;

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

TEST_F(TMixerFixture, AChangeByAnotherProgramArrivesAsANotice) {
  const auto master = Control(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME);
  Log.Notices.clear();
  ASSERT_TRUE(Shell("pactl set-sink-volume " + LoopbackSink() + " 40000 30000"));
  EXPECT_TRUE(wavetest::PumpUntil([&] { return NoticeFor(master.dwControlID); },
                                  std::chrono::seconds(5)));
}

} // namespace
