#include "platform/cards/uAlsaMixer.h"

#include "platform/cards/uAlsaErrors.h"

#include <poll.h>

#include <algorithm>
#include <cmath>

namespace platform::alsa {
namespace {

constexpr double FullScale = 65535.0;
constexpr int WatchTimeoutMs = 200; // how soon the watcher sees that it should stop

snd_mixer_selem_channel_id_t ChannelId(int channel) {
  return channel == 0 ? SND_MIXER_SCHN_FRONT_LEFT : SND_MIXER_SCHN_FRONT_RIGHT;
}

bool IsCapture(TPart part) { return part != TPart::PlaybackVolume && part != TPart::PlaybackMute; }
bool IsVolume(TPart part) { return part == TPart::PlaybackVolume || part == TPart::CaptureVolume; }

// How the raw steps of an element without a dB range act on the amplitude: amplitude =
// (raw fraction)^curve. Such an element of a card's own driver is taken as linear in its steps
// (curve 1). The sound server's plugin (a control device served outside the library's drivers,
// SND_CTL_TYPE_EXT) reports no dB range either, and its raw steps are the server's own volume,
// which is cubic in amplitude: half of the normal volume plays an eighth. There the curve is 3,
// so that a volume of half scale halves the amplitude, as on an element with a dB range.
double RawVolumeCurve(const TAlsaApi& api, snd_mixer_t* handle, const std::string& device) {
  constexpr double ServerCurve = 3;
  snd_hctl_t* hctl = nullptr;
  if (api.snd_mixer_get_hctl(handle, device.c_str(), &hctl) < 0 || !hctl) return 1;
  snd_ctl_t* const ctl = api.snd_hctl_ctl(hctl);
  return ctl && api.snd_ctl_type(ctl) == SND_CTL_TYPE_EXT ? ServerCurve : 1;
}

} // namespace

std::shared_ptr<TAlsaMixer> TAlsaMixer::Open(const TAlsaApi& api, const std::string& device,
                                             const std::string& name) {
  snd_mixer_t* handle = nullptr;
  if (api.snd_mixer_open(&handle, 0) < 0) return nullptr;
  if (api.snd_mixer_attach(handle, device.c_str()) < 0 ||
      api.snd_mixer_selem_register(handle, nullptr, nullptr) < 0 ||
      api.snd_mixer_load(handle) < 0 || !api.snd_mixer_first_elem(handle)) {
    api.snd_mixer_close(handle);
    return nullptr;
  }
  std::shared_ptr<TAlsaMixer> mixer(
      new TAlsaMixer(api, handle, device, RawVolumeCurve(api, handle, device)));
  {
    std::lock_guard lock(mixer->Mutex);
    mixer->Layout = BuildLayout(api, handle, name);
    for (auto* e = api.snd_mixer_first_elem(handle); e; e = api.snd_mixer_elem_next(e)) {
      api.snd_mixer_elem_set_callback_private(e, mixer.get());
      api.snd_mixer_elem_set_callback(e, &ElementChanged);
    }
  }
  mixer->Watcher = std::thread([m = mixer.get()] { m->Watch(); });
  return mixer;
}

TAlsaMixer::TAlsaMixer(const TAlsaApi& api, snd_mixer_t* handle, std::string device,
                       double rawCurve)
    : Api(api), Handle(handle), DeviceName(std::move(device)), RawCurve(rawCurve) {}

TAlsaMixer::~TAlsaMixer() {
  Quit = true;
  if (Watcher.joinable()) Watcher.join();
  Api.snd_mixer_close(Handle);
}

// ---- Change notices ----

void TAlsaMixer::Watch() {
  std::vector<pollfd> fds;
  while (!Quit) {
    {
      std::lock_guard lock(Mutex);
      const int count = Api.snd_mixer_poll_descriptors_count(Handle);
      fds.resize(static_cast<size_t>(std::max(count, 0)));
      if (count > 0) Api.snd_mixer_poll_descriptors(Handle, fds.data(), count);
    }
    if (fds.empty()) {
      Gone = true;
      return;
    }
    const int ready = poll(fds.data(), fds.size(), WatchTimeoutMs);
    if (ready <= 0) continue;
    std::lock_guard lock(Mutex);
    // The element callbacks run in here, under the lock, so notices leave in change order.
    if (Api.snd_mixer_handle_events(Handle) < 0) {
      Gone = true; // the card has gone: its handle answers nothing any more
      return;
    }
  }
}

int TAlsaMixer::ElementChanged(snd_mixer_elem_t* element, unsigned int mask) {
  if (mask == SND_CTL_EVENT_MASK_REMOVE || !(mask & SND_CTL_EVENT_MASK_VALUE)) return 0;
  auto* self = static_cast<TAlsaMixer*>(AlsaApi()->snd_mixer_elem_get_callback_private(element));
  if (!self) return 0;
  for (const auto& [id, binding] : self->Layout.Bindings) {
    if (binding.Element == element) self->AnnounceChange(id);
  }
  return 0;
}

// ---- Values ----

std::vector<DWORD> TAlsaMixer::Values(const mixer::TControlNode& control) {
  std::lock_guard lock(Mutex);
  const DWORD id = control.Info.dwControlID;
  std::vector<DWORD> values = Read(Layout.Bindings.at(id), control);
  if (const auto it = Written.find(id); it != Written.end() && it->second.Held == values) {
    return it->second.Values;
  }
  return values;
}

TBackendResult TAlsaMixer::SetValues(const mixer::TControlNode& control,
                                     const std::vector<DWORD>& values) {
  std::lock_guard lock(Mutex);
  const DWORD id = control.Info.dwControlID;
  const TBinding& binding = Layout.Bindings.at(id);
  const int error = Write(binding, control, values);
  // Only a volume the element took can stand for what it holds; anything else reads the element.
  Written.erase(id);
  if (error < 0) return {WriteResult(error), AlsaErrorDetail(error, Api.snd_strerror(error))};
  if (IsVolume(binding.Part)) Written[id] = {values, Read(binding, control)};
  return {};
}

std::vector<DWORD> TAlsaMixer::Read(const TBinding& b, const mixer::TControlNode& control) {
  std::vector<DWORD> values(control.ValueCount(), 0);
  const bool capture = IsCapture(b.Part);
  switch (b.Part) {
  case TPart::PlaybackVolume:
  case TPart::CaptureVolume:
    for (size_t c = 0; c < values.size(); ++c) {
      values[c] = ReadVolume(b.Element, capture, static_cast<int>(c));
    }
    break;
  case TPart::PlaybackMute:
  case TPart::CaptureMute: {
    int on = 1;
    if (capture) {
      Api.snd_mixer_selem_get_capture_switch(b.Element, SND_MIXER_SCHN_FRONT_LEFT, &on);
    } else {
      Api.snd_mixer_selem_get_playback_switch(b.Element, SND_MIXER_SCHN_FRONT_LEFT, &on);
    }
    values[0] = on ? 0 : 1; // the element's switch is "on", a mute is its opposite
    break;
  }
  case TPart::CaptureSource: {
    unsigned item = 0;
    Api.snd_mixer_selem_get_enum_item(b.Element, SND_MIXER_SCHN_FRONT_LEFT, &item);
    for (size_t c = 0; c < control.Channels; ++c) {
      const size_t at = c * control.ItemCount() + item;
      if (item < control.ItemCount()) values[at] = 1;
    }
    break;
  }
  }
  return values;
}

int TAlsaMixer::Write(const TBinding& b, const mixer::TControlNode& control,
                      const std::vector<DWORD>& values) {
  const bool capture = IsCapture(b.Part);
  switch (b.Part) {
  case TPart::PlaybackVolume:
  case TPart::CaptureVolume: {
    // A uniform control moves every channel of the element.
    const size_t channels = std::max<size_t>(values.size(), 2);
    for (size_t c = 0; c < channels; ++c) {
      const DWORD value = values[std::min(c, values.size() - 1)];
      if (const int error = WriteVolume(b.Element, capture, static_cast<int>(c), value)) {
        return error;
      }
    }
    return 0;
  }
  case TPart::PlaybackMute:
    return Api.snd_mixer_selem_set_playback_switch_all(b.Element, values[0] ? 0 : 1);
  case TPart::CaptureMute:
    return Api.snd_mixer_selem_set_capture_switch_all(b.Element, values[0] ? 0 : 1);
  case TPart::CaptureSource: {
    const auto first = std::find(values.begin(), values.begin() + control.ItemCount(), 1u);
    const auto item = static_cast<unsigned>(first - values.begin());
    if (item >= control.ItemCount()) return 0;
    return Api.snd_mixer_selem_set_enum_item(b.Element, SND_MIXER_SCHN_FRONT_LEFT, item);
  }
  }
  return 0;
}

// A volume as 0..65535: linear in amplitude over the element's dB range where it has one,
// else over its raw steps through RawCurve.
DWORD TAlsaMixer::ReadVolume(snd_mixer_elem_t* e, bool capture, int channel) {
  long min = 0, max = 0, value = 0, minDb = 0, maxDb = 0, db = 0;
  const auto id = ChannelId(channel);
  const bool hasDb = (capture ? Api.snd_mixer_selem_get_capture_dB_range(e, &minDb, &maxDb)
                              : Api.snd_mixer_selem_get_playback_dB_range(e, &minDb, &maxDb)) ==
                         0 &&
                     minDb < maxDb;
  if (hasDb && (capture ? Api.snd_mixer_selem_get_capture_dB(e, id, &db)
                        : Api.snd_mixer_selem_get_playback_dB(e, id, &db)) == 0) {
    if (db <= minDb) return 0;
    const double amplitude = std::pow(10.0, (db - maxDb) / 2000.0); // dB are kept in 1/100
    return static_cast<DWORD>(std::lround(std::clamp(amplitude, 0.0, 1.0) * FullScale));
  }
  if (capture) {
    Api.snd_mixer_selem_get_capture_volume_range(e, &min, &max);
    Api.snd_mixer_selem_get_capture_volume(e, id, &value);
  } else {
    Api.snd_mixer_selem_get_playback_volume_range(e, &min, &max);
    Api.snd_mixer_selem_get_playback_volume(e, id, &value);
  }
  if (max <= min) return 0;
  const double fraction = static_cast<double>(value - min) / static_cast<double>(max - min);
  const double amplitude = std::pow(std::clamp(fraction, 0.0, 1.0), RawCurve);
  return static_cast<DWORD>(std::lround(amplitude * FullScale));
}

int TAlsaMixer::WriteVolume(snd_mixer_elem_t* e, bool capture, int channel, DWORD value) {
  long min = 0, max = 0, minDb = 0, maxDb = 0;
  const auto id = ChannelId(channel);
  const bool hasDb = (capture ? Api.snd_mixer_selem_get_capture_dB_range(e, &minDb, &maxDb)
                              : Api.snd_mixer_selem_get_playback_dB_range(e, &minDb, &maxDb)) ==
                         0 &&
                     minDb < maxDb;
  if (capture) {
    Api.snd_mixer_selem_get_capture_volume_range(e, &min, &max);
  } else {
    Api.snd_mixer_selem_get_playback_volume_range(e, &min, &max);
  }
  if (hasDb && value > 0) {
    const double db = 2000.0 * std::log10(value / FullScale) + maxDb;
    const long target = std::max(minDb, static_cast<long>(std::lround(db)));
    return capture ? Api.snd_mixer_selem_set_capture_dB(e, id, target, 0)
                   : Api.snd_mixer_selem_set_playback_dB(e, id, target, 0);
  }
  const double fraction = std::pow(value / FullScale, 1 / RawCurve);
  const long raw = value == 0 ? min : min + std::lround(static_cast<double>(max - min) * fraction);
  return capture ? Api.snd_mixer_selem_set_capture_volume(e, id, raw)
                 : Api.snd_mixer_selem_set_playback_volume(e, id, raw);
}

} // namespace platform::alsa
