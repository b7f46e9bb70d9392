#pragma once
// The PortAudio library, loaded and initialised at first use (a program that never lists the
// real devices never pays for it). Members carry the names of the library's functions. Calls
// that open, start, stop or close streams are made under PaLock(): the library is not meant to
// be driven from several threads at once.

#include <portaudio.h>

#include <mutex>

namespace platform::portaudio {

struct TPaApi {
  decltype(::Pa_Initialize)* Pa_Initialize;
  decltype(::Pa_GetDeviceCount)* Pa_GetDeviceCount;
  decltype(::Pa_GetDeviceInfo)* Pa_GetDeviceInfo;
  decltype(::Pa_GetHostApiInfo)* Pa_GetHostApiInfo;
  decltype(::Pa_IsFormatSupported)* Pa_IsFormatSupported;
  decltype(::Pa_OpenStream)* Pa_OpenStream;
  decltype(::Pa_StartStream)* Pa_StartStream;
  decltype(::Pa_AbortStream)* Pa_AbortStream;
  decltype(::Pa_CloseStream)* Pa_CloseStream;
  decltype(::Pa_IsStreamActive)* Pa_IsStreamActive;
  decltype(::Pa_GetStreamInfo)* Pa_GetStreamInfo;
  decltype(::Pa_GetErrorText)* Pa_GetErrorText;
  decltype(::Pa_GetLastHostErrorInfo)* Pa_GetLastHostErrorInfo;
  // Optional (null where the library lacks it); only for streams of the ALSA host interface.
  void (*PaAlsa_EnableRealtimeScheduling)(PaStream*, int);
};

// The initialised library, or nullptr where it is missing or found no host interface.
const TPaApi* PaApi();

std::mutex& PaLock();

} // namespace platform::portaudio
