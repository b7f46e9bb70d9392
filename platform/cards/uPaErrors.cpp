#include "platform/cards/uPaErrors.h"

#include "platform/cards/uPaLibrary.h"
#include "platform/src/uNativeDetail.h"

namespace platform::portaudio {
namespace {

// The host interface by name where it is the one the platform builds on.
std::string HostName(PaHostApiTypeId type) {
  return type == paALSA ? "ALSA" : "host interface " + std::to_string(type) + " error";
}

} // namespace

MMRESULT OpenResult(PaError error) {
  switch (error) {
  case paNoError: return MMSYSERR_NOERROR;
  case paDeviceUnavailable: return MMSYSERR_ALLOCATED;
  case paInvalidSampleRate:
  case paInvalidChannelCount:
  case paSampleFormatNotSupported: return WAVERR_BADFORMAT;
  case paInsufficientMemory: return MMSYSERR_NOMEM;
  default: return MMSYSERR_ERROR;
  }
}

std::string PaErrorDetail(PaError error, const char* text, const PaHostErrorInfo* host) {
  if (error == paNoError) return {};
  std::string detail = NativeDetailText("PortAudio", error, text);
  const bool hostSaid = host && (host->errorCode != 0 || (host->errorText && *host->errorText));
  if (error == paUnanticipatedHostError && hostSaid) {
    const std::string name = HostName(host->hostApiType);
    detail += " (" + NativeDetailText(name, host->errorCode, host->errorText) + ")";
  }
  return detail;
}

std::string PaErrorDetail(PaError error) {
  if (error == paNoError) return {};
  const TPaApi* api = PaApi();
  if (!api) return PaErrorDetail(error, nullptr, nullptr);
  return PaErrorDetail(error, api->Pa_GetErrorText(error), api->Pa_GetLastHostErrorInfo());
}

} // namespace platform::portaudio
