// The mixer API. Every call is checked here once (forced results, mixer object and flags,
// pointers, record sizes, controls and values) before it reaches a back end's mixer, which then
// only deals with the normal case.

#include "platform/mixer.h"
#include "platform/src/uMixerBackend.h"
#include "platform/src/uMixerDetails.h"
#include "platform/src/uMixerLines.h"
#include "platform/src/uMixerObjects.h"
#include "platform/src/uMixerRegistry.h"
#include "platform/src/uWaveFaults.h"

namespace platform::mixer {
namespace {

constexpr DWORD QueryMask = 0x0000000Fu;

// Flags of a call that names a mixer object and a query: anything outside both is refused.
bool KnownFlags(DWORD flags) { return (flags & ~(ObjectFlagsMask | QueryMask)) == 0; }

// Every call that reached a mixer leaves its native detail (empty for a success) on the device
// and on the handle it came through.
void NoteDetail(const void* object, DWORD flags, TMixerDevice& mixer, const std::string& detail) {
  mixer.LastCall.Note(detail);
  if (const TOpenMixer open = OpenMixerOf(object, flags)) open.LastCall->Note(detail);
}

// A call on a present mixer: the forced result, the flags, the record, then the operation.
template <class TRecord, class TOperation>
MMRESULT WithMixer(const char* call, HMIXEROBJ object, TRecord* record, DWORD flags,
                   TOperation operation) {
  if (const MMRESULT forced = wave::TakeForcedResult(call)) return forced;
  if (!KnownFlags(flags)) return MMSYSERR_INVALFLAG;
  if (!record) return MMSYSERR_INVALPARAM;
  std::shared_ptr<TMixerDevice> mixer;
  if (const MMRESULT result = FindPresentMixer(object, flags, mixer)) return result;
  const TBackendResult result = operation(*mixer, *record, flags & QueryMask);
  NoteDetail(object, flags, *mixer, result.Detail);
  return result.Code;
}

// The callback part of mixerOpen's flags: none, or a window that receives change notices.
MMRESULT CheckCallback(DWORD flags, DWORD_PTR callback, HWND& window) {
  window = nullptr;
  switch (flags & CALLBACK_TYPEMASK) {
  case CALLBACK_NULL: return MMSYSERR_NOERROR;
  case CALLBACK_WINDOW:
    window = reinterpret_cast<HWND>(callback);
    return window ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
  case CALLBACK_FUNCTION: return MMSYSERR_NOTSUPPORTED;
  default: return MMSYSERR_INVALFLAG;
  }
}

const void* ObjectOf(UINT_PTR value) { return reinterpret_cast<const void*>(value); }

} // namespace
} // namespace platform::mixer

using namespace platform::mixer;

UINT mixerGetNumDevs() { return static_cast<UINT>(AllMixers().size()); }

MMRESULT mixerGetID(HMIXEROBJ object, UINT* mixerId, DWORD flags) {
  if (const MMRESULT forced = platform::wave::TakeForcedResult("mixerGetID")) return forced;
  if ((flags & ~ObjectFlagsMask) != 0) return MMSYSERR_INVALFLAG;
  if (!mixerId) return MMSYSERR_INVALPARAM;
  std::shared_ptr<TMixerDevice> mixer;
  MMRESULT result = FindPresentMixer(object, flags, mixer);
  const UINT number = result ? 0xFFFFFFFFu : MixerNumber(*mixer);
  if (!result && number == 0xFFFFFFFFu) result = MMSYSERR_NODRIVER;
  if (result == MMSYSERR_NOERROR || result == MMSYSERR_NODRIVER) *mixerId = number;
  return result;
}

MMRESULT mixerGetDevCapsA(UINT_PTR mixerId, LPMIXERCAPSA caps, UINT capsSize) {
  if (const MMRESULT forced = platform::wave::TakeForcedResult("mixerGetDevCapsA")) return forced;
  if (!caps || capsSize != sizeof(MIXERCAPSA)) return MMSYSERR_INVALPARAM;
  std::shared_ptr<TMixerDevice> mixer;
  if (const MMRESULT result = FindPresentMixer(ObjectOf(mixerId), MIXER_OBJECTF_MIXER, mixer)) {
    return result;
  }
  *caps = mixer->Topology().Caps;
  return MMSYSERR_NOERROR;
}

MMRESULT mixerGetDevName(UINT_PTR mixerId, std::string& name) {
  name.clear();
  if (const MMRESULT forced = platform::wave::TakeForcedResult("mixerGetDevName")) return forced;
  std::shared_ptr<TMixerDevice> mixer;
  if (const MMRESULT result = FindPresentMixer(ObjectOf(mixerId), MIXER_OBJECTF_MIXER, mixer)) {
    return result;
  }
  name = mixer->Topology().Name;
  return MMSYSERR_NOERROR;
}

MMRESULT mixerOpen(LPHMIXER handle, UINT mixerId, DWORD_PTR callback, DWORD_PTR /*instance*/,
                   DWORD flags) {
  if (const MMRESULT forced = platform::wave::TakeForcedResult("mixerOpen")) return forced;
  if ((flags & ~(ObjectFlagsMask | CALLBACK_TYPEMASK)) != 0) return MMSYSERR_INVALFLAG;
  if (!handle) return MMSYSERR_INVALPARAM;
  HWND window = nullptr;
  if (const MMRESULT result = CheckCallback(flags, callback, window)) return result;
  std::shared_ptr<TMixerDevice> mixer;
  if (const MMRESULT result = FindPresentMixer(ObjectOf(mixerId), flags, mixer)) return result;
  *handle = AddOpenMixer({mixer, window});
  return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER handle) {
  if (const MMRESULT forced = platform::wave::TakeForcedResult("mixerClose")) return forced;
  return RemoveOpenMixer(handle) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT mixerGetLineInfoA(HMIXEROBJ object, LPMIXERLINEA line, DWORD flags) {
  return WithMixer("mixerGetLineInfoA", object, line, flags,
                   [](TMixerDevice& m, MIXERLINEA& l, DWORD query) {
                     return GetLineInfo(m.Topology(), l, query);
                   });
}

MMRESULT mixerGetLineControlsA(HMIXEROBJ object, LPMIXERLINECONTROLSA controls, DWORD flags) {
  return WithMixer("mixerGetLineControlsA", object, controls, flags,
                   [](TMixerDevice& m, MIXERLINECONTROLSA& c, DWORD query) {
                     return GetLineControls(m.Topology(), c, query);
                   });
}

MMRESULT mixerGetControlDetailsA(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD flags) {
  return WithMixer("mixerGetControlDetailsA", object, details, flags,
                   [](TMixerDevice& m, MIXERCONTROLDETAILS& d, DWORD query) {
                     return GetDetails(m, d, query);
                   });
}

MMRESULT mixerSetControlDetails(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD flags) {
  return WithMixer("mixerSetControlDetails", object, details, flags,
                   [](TMixerDevice& m, MIXERCONTROLDETAILS& d, DWORD query) {
                     return SetDetails(m, d, query);
                   });
}

std::string mixerGetNativeError(HMIXEROBJ object, DWORD flags) {
  if (const TOpenMixer open = OpenMixerOf(object, flags)) return open.LastCall->Get();
  std::shared_ptr<TMixerDevice> mixer;
  if (FindMixer(object, flags & ObjectFlagsMask, mixer)) return {};
  return mixer->LastCall.Get();
}
