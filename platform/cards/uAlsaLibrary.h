#pragma once
// The ALSA library, loaded at first use. Members carry the names of the library's functions.
// Everything that touches a mixer handle is called under that mixer's own lock: the library
// does not lock for us.

#include <alsa/asoundlib.h>

namespace platform::alsa {

struct TAlsaApi {
  decltype(::snd_lib_error_set_handler)* snd_lib_error_set_handler;
  decltype(::snd_strerror)* snd_strerror;
  decltype(::snd_card_next)* snd_card_next;
  decltype(::snd_card_get_name)* snd_card_get_name;
  decltype(::snd_mixer_open)* snd_mixer_open;
  decltype(::snd_mixer_close)* snd_mixer_close;
  decltype(::snd_mixer_attach)* snd_mixer_attach;
  decltype(::snd_mixer_get_hctl)* snd_mixer_get_hctl;
  decltype(::snd_hctl_ctl)* snd_hctl_ctl;
  decltype(::snd_ctl_type)* snd_ctl_type;
  decltype(::snd_mixer_selem_register)* snd_mixer_selem_register;
  decltype(::snd_mixer_load)* snd_mixer_load;
  decltype(::snd_mixer_first_elem)* snd_mixer_first_elem;
  decltype(::snd_mixer_elem_next)* snd_mixer_elem_next;
  decltype(::snd_mixer_elem_set_callback)* snd_mixer_elem_set_callback;
  decltype(::snd_mixer_elem_set_callback_private)* snd_mixer_elem_set_callback_private;
  decltype(::snd_mixer_elem_get_callback_private)* snd_mixer_elem_get_callback_private;
  decltype(::snd_mixer_poll_descriptors_count)* snd_mixer_poll_descriptors_count;
  decltype(::snd_mixer_poll_descriptors)* snd_mixer_poll_descriptors;
  decltype(::snd_mixer_handle_events)* snd_mixer_handle_events;
  decltype(::snd_mixer_selem_get_name)* snd_mixer_selem_get_name;
  decltype(::snd_mixer_selem_is_active)* snd_mixer_selem_is_active;
  decltype(::snd_mixer_selem_has_playback_volume)* snd_mixer_selem_has_playback_volume;
  decltype(::snd_mixer_selem_has_playback_switch)* snd_mixer_selem_has_playback_switch;
  decltype(::snd_mixer_selem_has_capture_volume)* snd_mixer_selem_has_capture_volume;
  decltype(::snd_mixer_selem_has_capture_switch)* snd_mixer_selem_has_capture_switch;
  decltype(::snd_mixer_selem_is_enum_capture)* snd_mixer_selem_is_enum_capture;
  decltype(::snd_mixer_selem_is_playback_mono)* snd_mixer_selem_is_playback_mono;
  decltype(::snd_mixer_selem_is_capture_mono)* snd_mixer_selem_is_capture_mono;
  decltype(::snd_mixer_selem_get_playback_volume_range)* snd_mixer_selem_get_playback_volume_range;
  decltype(::snd_mixer_selem_get_capture_volume_range)* snd_mixer_selem_get_capture_volume_range;
  decltype(::snd_mixer_selem_get_playback_dB_range)* snd_mixer_selem_get_playback_dB_range;
  decltype(::snd_mixer_selem_get_capture_dB_range)* snd_mixer_selem_get_capture_dB_range;
  decltype(::snd_mixer_selem_get_playback_volume)* snd_mixer_selem_get_playback_volume;
  decltype(::snd_mixer_selem_get_capture_volume)* snd_mixer_selem_get_capture_volume;
  decltype(::snd_mixer_selem_set_playback_volume)* snd_mixer_selem_set_playback_volume;
  decltype(::snd_mixer_selem_set_capture_volume)* snd_mixer_selem_set_capture_volume;
  decltype(::snd_mixer_selem_get_playback_dB)* snd_mixer_selem_get_playback_dB;
  decltype(::snd_mixer_selem_get_capture_dB)* snd_mixer_selem_get_capture_dB;
  decltype(::snd_mixer_selem_set_playback_dB)* snd_mixer_selem_set_playback_dB;
  decltype(::snd_mixer_selem_set_capture_dB)* snd_mixer_selem_set_capture_dB;
  decltype(::snd_mixer_selem_get_playback_switch)* snd_mixer_selem_get_playback_switch;
  decltype(::snd_mixer_selem_get_capture_switch)* snd_mixer_selem_get_capture_switch;
  decltype(::snd_mixer_selem_set_playback_switch_all)* snd_mixer_selem_set_playback_switch_all;
  decltype(::snd_mixer_selem_set_capture_switch_all)* snd_mixer_selem_set_capture_switch_all;
  decltype(::snd_mixer_selem_get_enum_items)* snd_mixer_selem_get_enum_items;
  decltype(::snd_mixer_selem_get_enum_item_name)* snd_mixer_selem_get_enum_item_name;
  decltype(::snd_mixer_selem_get_enum_item)* snd_mixer_selem_get_enum_item;
  decltype(::snd_mixer_selem_set_enum_item)* snd_mixer_selem_set_enum_item;
};

// The library with every function bound, or nullptr where it is missing or incomplete.
const TAlsaApi* AlsaApi();

// The library prints its errors on standard error by default (every configuration entry for a
// card that is not there, at every device scan); from now on it prints nothing.
void SilenceAlsaErrors();

} // namespace platform::alsa
