#include "platform/src/uMixerObjects.h"

#include "platform/src/uMixerRegistry.h"
#include "platform/src/uWaveRegistry.h"

namespace platform::mixer {
namespace {

uintptr_t Value(const void* object) { return reinterpret_cast<uintptr_t>(object); }

// MIXER_OBJECTF_MIXER: a device number, or, as the original platform allows, an open handle.
MMRESULT MixerByNumberOrHandle(const void* object, std::shared_ptr<TMixerDevice>& mixer) {
  const auto mixers = AllMixers();
  if (Value(object) < mixers.size()) {
    mixer = mixers[Value(object)];
    return MMSYSERR_NOERROR;
  }
  mixer = FindOpenMixer(object).Device;
  return mixer ? MMSYSERR_NOERROR : MMSYSERR_BADDEVICEID;
}

MMRESULT MixerByHandle(const void* object, std::shared_ptr<TMixerDevice>& mixer) {
  mixer = FindOpenMixer(object).Device;
  return mixer ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT ServingMixer(const TWaveObject& wave, std::shared_ptr<TMixerDevice>& mixer) {
  mixer = MixerOfWave(wave);
  return mixer ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
}

// A waveform device number; WAVE_MAPPER (also widened with its sign) stands for the first
// device, as it does for opening.
MMRESULT MixerOfWaveNumber(const void* object, wave::TDirection direction,
                           std::shared_ptr<TMixerDevice>& mixer) {
  const uintptr_t value = Value(object);
  const bool mapper = value == WAVE_MAPPER || value == ~uintptr_t{0};
  const size_t devices = wave::AllDevices(direction).size();
  const size_t id = mapper ? 0 : value;
  if (id >= devices) return MMSYSERR_BADDEVICEID;
  return ServingMixer({direction, static_cast<UINT>(id), nullptr}, mixer);
}

MMRESULT MixerOfWaveHandle(const void* object, wave::TDirection direction,
                           std::shared_ptr<TMixerDevice>& mixer) {
  const wave::TOpenDevice open = wave::FindOpenDevice(const_cast<void*>(object), direction);
  if (!open) return MMSYSERR_INVALHANDLE;
  return ServingMixer({direction, 0xFFFFFFFFu, open.Stream.get()}, mixer);
}

} // namespace

MMRESULT FindMixer(const void* object, DWORD flags, std::shared_ptr<TMixerDevice>& mixer) {
  mixer.reset();
  switch (flags & ObjectFlagsMask) {
  case MIXER_OBJECTF_MIXER: return MixerByNumberOrHandle(object, mixer);
  case MIXER_OBJECTF_HMIXER: return MixerByHandle(object, mixer);
  case MIXER_OBJECTF_WAVEIN: return MixerOfWaveNumber(object, wave::TDirection::In, mixer);
  case MIXER_OBJECTF_WAVEOUT: return MixerOfWaveNumber(object, wave::TDirection::Out, mixer);
  case MIXER_OBJECTF_HWAVEIN: return MixerOfWaveHandle(object, wave::TDirection::In, mixer);
  case MIXER_OBJECTF_HWAVEOUT: return MixerOfWaveHandle(object, wave::TDirection::Out, mixer);
  // The platform offers no MIDI or auxiliary devices, so none of their numbers or handles exist.
  case MIXER_OBJECTF_MIDIIN:
  case MIXER_OBJECTF_MIDIOUT:
  case MIXER_OBJECTF_AUX: return MMSYSERR_BADDEVICEID;
  case MIXER_OBJECTF_HMIDIIN:
  case MIXER_OBJECTF_HMIDIOUT: return MMSYSERR_INVALHANDLE;
  default: return MMSYSERR_INVALFLAG;
  }
}

MMRESULT FindPresentMixer(const void* object, DWORD flags, std::shared_ptr<TMixerDevice>& mixer) {
  if (const MMRESULT result = FindMixer(object, flags, mixer)) return result;
  return mixer->Present() ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
}

TOpenMixer OpenMixerOf(const void* object, DWORD flags) {
  const DWORD kind = flags & ObjectFlagsMask;
  if (kind != MIXER_OBJECTF_MIXER && kind != MIXER_OBJECTF_HMIXER) return {};
  return FindOpenMixer(object);
}

} // namespace platform::mixer
