#include "platform/cards/uAlsaLibrary.h"

#include "platform/src/uSharedLibrary.h"

namespace platform::alsa {
namespace {

void Quiet(const char*, int, const char*, int, const char*, ...) {}

// Binds every member of TAlsaApi; the macro only spares writing each name twice.
bool BindAll(const TSharedLibrary& lib, TAlsaApi& api) {
  bool ok = true;
#define BIND(name) ok = lib.Bind(#name, api.name) && ok
  BIND(snd_lib_error_set_handler);
  BIND(snd_strerror);
  BIND(snd_card_next);
  BIND(snd_card_get_name);
  BIND(snd_mixer_open);
  BIND(snd_mixer_close);
  BIND(snd_mixer_attach);
  BIND(snd_mixer_get_hctl);
  BIND(snd_hctl_ctl);
  BIND(snd_ctl_type);
  BIND(snd_mixer_selem_register);
  BIND(snd_mixer_load);
  BIND(snd_mixer_first_elem);
  BIND(snd_mixer_elem_next);
  BIND(snd_mixer_elem_set_callback);
  BIND(snd_mixer_elem_set_callback_private);
  BIND(snd_mixer_elem_get_callback_private);
  BIND(snd_mixer_poll_descriptors_count);
  BIND(snd_mixer_poll_descriptors);
  BIND(snd_mixer_handle_events);
  BIND(snd_mixer_selem_get_name);
  BIND(snd_mixer_selem_is_active);
  BIND(snd_mixer_selem_has_playback_volume);
  BIND(snd_mixer_selem_has_playback_switch);
  BIND(snd_mixer_selem_has_capture_volume);
  BIND(snd_mixer_selem_has_capture_switch);
  BIND(snd_mixer_selem_is_enum_capture);
  BIND(snd_mixer_selem_is_playback_mono);
  BIND(snd_mixer_selem_is_capture_mono);
  BIND(snd_mixer_selem_get_playback_volume_range);
  BIND(snd_mixer_selem_get_capture_volume_range);
  BIND(snd_mixer_selem_get_playback_dB_range);
  BIND(snd_mixer_selem_get_capture_dB_range);
  BIND(snd_mixer_selem_get_playback_volume);
  BIND(snd_mixer_selem_get_capture_volume);
  BIND(snd_mixer_selem_set_playback_volume);
  BIND(snd_mixer_selem_set_capture_volume);
  BIND(snd_mixer_selem_get_playback_dB);
  BIND(snd_mixer_selem_get_capture_dB);
  BIND(snd_mixer_selem_set_playback_dB);
  BIND(snd_mixer_selem_set_capture_dB);
  BIND(snd_mixer_selem_get_playback_switch);
  BIND(snd_mixer_selem_get_capture_switch);
  BIND(snd_mixer_selem_set_playback_switch_all);
  BIND(snd_mixer_selem_set_capture_switch_all);
  BIND(snd_mixer_selem_get_enum_items);
  BIND(snd_mixer_selem_get_enum_item_name);
  BIND(snd_mixer_selem_get_enum_item);
  BIND(snd_mixer_selem_set_enum_item);
#undef BIND
  return ok;
}

} // namespace

const TAlsaApi* AlsaApi() {
  static const TAlsaApi* const api = []() -> const TAlsaApi* {
    static const TSharedLibrary lib({"libasound.so.2", "libasound.so"});
    static TAlsaApi bound{};
    if (!lib.Loaded() || !BindAll(lib, bound)) return nullptr;
    bound.snd_lib_error_set_handler(&Quiet);
    return &bound;
  }();
  return api;
}

void SilenceAlsaErrors() { AlsaApi(); }

} // namespace platform::alsa
