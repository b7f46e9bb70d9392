#include "platform/cards/uAlsaErrors.h"

#include "platform/mixer.h"
#include "platform/src/uNativeDetail.h"

#include <cerrno>

namespace platform::alsa {

MMRESULT WriteResult(int error) {
  if (error >= 0) return MMSYSERR_NOERROR;
  switch (-error) {
  case ENODEV:
  case ENXIO:
  case ENOENT: return MMSYSERR_NODRIVER; // the card or the element has gone
  case EBUSY:
  case EPERM: // another program locked the element: writes of anyone else fail so
  case EACCES: return MMSYSERR_ALLOCATED;
  case EINVAL:
  case ERANGE: return MIXERR_INVALVALUE;
  case ENOMEM: return MMSYSERR_NOMEM;
  case ENOTSUP:
  case ENOSYS:
  case ENOTTY: return MMSYSERR_NOTSUPPORTED;
  default: return MMSYSERR_ERROR;
  }
}

std::string AlsaErrorDetail(int error, const char* text) {
  return error < 0 ? NativeDetailText("ALSA", error, text) : std::string{};
}

} // namespace platform::alsa
