// The real back ends' failures in the API's terms, without a sound card: PortAudio's and ALSA's
// error numbers mapped to result codes and native details, and an ALSA mixer over a stand-in
// library whose element refuses or ignores writes, reading back what the element holds.

#include <gtest/gtest.h>

#ifdef PLATFORM_ALSA
#include "platform/cards/uAlsaErrors.h"
#include "platform/cards/uAlsaMixer.h"
#endif
#ifdef PLATFORM_PORTAUDIO
#include "platform/cards/uPaErrors.h"
#endif

#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

using namespace platform;

#ifdef PLATFORM_PORTAUDIO
TEST(NativeErrors, PortAudioFailuresKeepTheirCodeAndText) {
  const PaHostErrorInfo alsaBusy{paALSA, -16, "Device or resource busy"};
  const PaHostErrorInfo otherHost{paOSS, 5, nullptr};
  const PaHostErrorInfo silentHost{paALSA, 0, ""};
  struct Case {
    PaError Error;
    const char* Text;
    const PaHostErrorInfo* Host;
    MMRESULT Code;
    const char* Detail;
  };
  const Case cases[] = {
      {paNoError, "Success", nullptr, MMSYSERR_NOERROR, ""},
      {paInvalidDevice, "Invalid device", nullptr, MMSYSERR_ERROR,
       "PortAudio -9996: Invalid device"},
      {paDeviceUnavailable, "Device unavailable", nullptr, MMSYSERR_ALLOCATED,
       "PortAudio -9985: Device unavailable"},
      {paInvalidSampleRate, "Invalid sample rate", nullptr, WAVERR_BADFORMAT,
       "PortAudio -9997: Invalid sample rate"},
      {paInsufficientMemory, nullptr, nullptr, MMSYSERR_NOMEM, "PortAudio -9992"},
      {paUnanticipatedHostError, "Unanticipated host error", &alsaBusy, MMSYSERR_ERROR,
       "PortAudio -9999: Unanticipated host error (ALSA -16: Device or resource busy)"},
      {paUnanticipatedHostError, "Unanticipated host error", &otherHost, MMSYSERR_ERROR,
       "PortAudio -9999: Unanticipated host error (host interface 7 error 5)"},
      {paUnanticipatedHostError, "Unanticipated host error", &silentHost, MMSYSERR_ERROR,
       "PortAudio -9999: Unanticipated host error"},
      {paTimedOut, "Wait timed out", &alsaBusy, MMSYSERR_ERROR, "PortAudio -9987: Wait timed out"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Error);
    EXPECT_EQ(portaudio::OpenResult(c.Error), c.Code);
    EXPECT_EQ(portaudio::PaErrorDetail(c.Error, c.Text, c.Host), c.Detail);
  }
}

#endif // PLATFORM_PORTAUDIO

#ifdef PLATFORM_ALSA
TEST(NativeErrors, AlsaWriteFailuresKeepTheirCodeAndText) {
  struct Case {
    int Error;
    MMRESULT Code;
  };
  const Case cases[] = {
      {0, MMSYSERR_NOERROR},          {-ENODEV, MMSYSERR_NODRIVER},
      {-ENXIO, MMSYSERR_NODRIVER},    {-EBUSY, MMSYSERR_ALLOCATED},
      {-EPERM, MMSYSERR_ALLOCATED},   {-EINVAL, MIXERR_INVALVALUE},
      {-ENOMEM, MMSYSERR_NOMEM},      {-ENOTSUP, MMSYSERR_NOTSUPPORTED},
      {-EIO, MMSYSERR_ERROR},         {-EPIPE, MMSYSERR_ERROR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Error);
    EXPECT_EQ(alsa::WriteResult(c.Error), c.Code);
    const std::string detail = alsa::AlsaErrorDetail(c.Error, "text");
    EXPECT_EQ(detail, c.Error ? "ALSA " + std::to_string(c.Error) + ": text" : "");
  }
  EXPECT_EQ(alsa::AlsaErrorDetail(-5, nullptr), "ALSA -5");
}

// ---- An ALSA mixer over a stand-in library: one stereo "Master" element ----

// The element: raw volumes 0..31 (coarser than the API's 0..65535) and a switch. A refused
// channel answers `Refusal` and keeps its value; an ignoring switch answers 0 and keeps it.
struct TElement {
  long Raw[2] = {31, 31};
  int Switch = 1;
  int RefusedChannel = -1;
  int Refusal = 0;
  bool SwitchIgnores = false;
};
TElement Element;

snd_mixer_t* const FakeHandle = reinterpret_cast<snd_mixer_t*>(&Element.Raw[0]);
snd_mixer_elem_t* const FakeElement = reinterpret_cast<snd_mixer_elem_t*>(&Element);

alsa::TAlsaApi StandInLibrary() {
  alsa::TAlsaApi a{};
  a.snd_strerror = [](int error) -> const char* { return std::strerror(-error); };
  a.snd_mixer_open = [](snd_mixer_t** handle, int) { return *handle = FakeHandle, 0; };
  a.snd_mixer_close = [](auto*) { return 0; };
  a.snd_mixer_attach = [](auto*, auto*) { return 0; };
  a.snd_mixer_get_hctl = [](auto*, auto*, auto*) { return -ENOENT; };
  a.snd_mixer_selem_register = [](auto*, auto*, auto*) { return 0; };
  a.snd_mixer_load = [](auto*) { return 0; };
  a.snd_mixer_first_elem = [](auto*) { return FakeElement; };
  a.snd_mixer_elem_next = [](auto*) -> snd_mixer_elem_t* { return nullptr; };
  a.snd_mixer_elem_set_callback = [](auto*, auto) {};
  a.snd_mixer_elem_set_callback_private = [](auto*, auto*) {};
  a.snd_mixer_poll_descriptors_count = [](auto*) { return 0; }; // the watcher stops at once
  a.snd_mixer_selem_get_name = [](auto*) { return "Master"; };
  a.snd_mixer_selem_is_active = [](auto*) { return 1; };
  a.snd_mixer_selem_has_playback_volume = [](auto*) { return 1; };
  a.snd_mixer_selem_has_playback_switch = [](auto*) { return 1; };
  a.snd_mixer_selem_is_playback_mono = [](auto*) { return 0; };
  a.snd_mixer_selem_has_capture_volume = [](auto*) { return 0; };
  a.snd_mixer_selem_has_capture_switch = [](auto*) { return 0; };
  a.snd_mixer_selem_is_capture_mono = [](auto*) { return 0; };
  a.snd_mixer_selem_is_enum_capture = [](auto*) { return 0; };
  a.snd_mixer_selem_get_playback_dB_range = [](auto*, auto*, auto*) { return -EINVAL; };
  a.snd_mixer_selem_get_playback_volume_range = [](auto*, long* min, long* max) {
    return *min = 0, *max = 31, 0;
  };
  a.snd_mixer_selem_get_playback_volume = [](auto*, snd_mixer_selem_channel_id_t c, long* v) {
    return *v = Element.Raw[c == SND_MIXER_SCHN_FRONT_LEFT ? 0 : 1], 0;
  };
  a.snd_mixer_selem_set_playback_volume = [](auto*, snd_mixer_selem_channel_id_t c, long v) {
    const int channel = c == SND_MIXER_SCHN_FRONT_LEFT ? 0 : 1;
    if (channel == Element.RefusedChannel) return Element.Refusal;
    return Element.Raw[channel] = v, 0;
  };
  a.snd_mixer_selem_get_playback_switch = [](auto*, auto, int* on) { return *on = Element.Switch, 0; };
  a.snd_mixer_selem_set_playback_switch_all = [](auto*, int on) {
    if (Element.RefusedChannel >= 0) return Element.Refusal;
    if (!Element.SwitchIgnores) Element.Switch = on;
    return 0;
  };
  return a;
}

DWORD Scaled(long raw) { return static_cast<DWORD>(std::lround(raw * 65535.0 / 31)); }

TEST(NativeErrors, AnAlsaWriteReadsBackWhatTheElementHolds) {
  static const alsa::TAlsaApi api = StandInLibrary();
  const auto mixer = alsa::TAlsaMixer::Open(api, "hw:9", "Stand-in card");
  ASSERT_TRUE(mixer);
  const auto& controls = mixer->Topology().Destinations.at(0).Line.Controls;
  ASSERT_EQ(controls.size(), 2u);
  const mixer::TControlNode& volume = controls[0];
  const mixer::TControlNode& mute = controls[1];
  struct Case {
    const char* What;
    const mixer::TControlNode* Control;
    std::vector<DWORD> Asked;
    int RefusedChannel, Refusal;
    bool SwitchIgnores;
    MMRESULT Code;
    const char* Detail;
    std::vector<DWORD> ReadBack;
  };
  const Case cases[] = {
      {"a volume between the element's steps reads back as written", &volume, {0x8000, 0x4000},
       -1, 0, false, MMSYSERR_NOERROR, "", {0x8000, 0x4000}},
      {"a channel refused: the other one moved, the refused one kept its value", &volume,
       {0x1000, 0x2000}, 1, -EPERM, false, MMSYSERR_ALLOCATED, "ALSA -1: Operation not permitted",
       {Scaled(2), Scaled(8)}},
      {"a refused switch keeps its value", &mute, {1}, 0, -EIO, false, MMSYSERR_ERROR,
       "ALSA -5: Input/output error", {0}},
      {"a switch that ignores the write reads what it holds", &mute, {1}, -1, 0, true,
       MMSYSERR_NOERROR, "", {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    Element.RefusedChannel = c.RefusedChannel;
    Element.Refusal = c.Refusal;
    Element.SwitchIgnores = c.SwitchIgnores;
    const TBackendResult result = mixer->SetValues(*c.Control, c.Asked);
    EXPECT_EQ(result.Code, c.Code);
    EXPECT_EQ(result.Detail, c.Detail);
    EXPECT_EQ(mixer->Values(*c.Control), c.ReadBack);
  }
  Element = {};
}
#endif // PLATFORM_ALSA

} // namespace
