#include "platform/cards/uPaLibrary.h"

#ifdef PLATFORM_ALSA
#include "platform/cards/uAlsaLibrary.h"
#endif
#include "platform/cards/uPaLimits.h"
#include "platform/src/uDeadlineCall.h"
#include "platform/src/uSharedLibrary.h"

#include <atomic>
#include <cstdlib>
#include <memory>

namespace platform::portaudio {
namespace {

void QuietJack(const char*) {}

bool BindAll(const TSharedLibrary& lib, TPaApi& api) {
  bool ok = true;
#define BIND(name) ok = lib.Bind(#name, api.name) && ok
  BIND(Pa_Initialize);
  BIND(Pa_GetDeviceCount);
  BIND(Pa_GetDeviceInfo);
  BIND(Pa_GetHostApiInfo);
  BIND(Pa_IsFormatSupported);
  BIND(Pa_OpenStream);
  BIND(Pa_StartStream);
  BIND(Pa_AbortStream);
  BIND(Pa_CloseStream);
  BIND(Pa_IsStreamActive);
  BIND(Pa_GetStreamInfo);
  BIND(Pa_GetErrorText);
  BIND(Pa_GetLastHostErrorInfo);
#undef BIND
  lib.Bind("PaAlsa_EnableRealtimeScheduling", api.PaAlsa_EnableRealtimeScheduling);
  return ok;
}

// The sound-server client library that PortAudio brings along prints a paragraph on standard
// error for every attempt to reach a server that is not running, and would try to start one.
void SilenceJack(const TSharedLibrary& lib) {
  setenv("JACK_NO_START_SERVER", "1", 0);
  void (*setError)(void (*)(const char*)) = nullptr;
  void (*setInfo)(void (*)(const char*)) = nullptr;
  if (lib.Bind("jack_set_error_function", setError)) setError(&QuietJack);
  if (lib.Bind("jack_set_info_function", setInfo)) setInfo(&QuietJack);
}

} // namespace

const TPaApi* PaApi() {
  static const TPaApi* const api = []() -> const TPaApi* {
    static const TSharedLibrary lib({"libportaudio.so.2", "libportaudio.so"});
    static TPaApi bound{};
    if (!lib.Loaded() || !BindAll(lib, bound)) return nullptr;
#ifdef PLATFORM_ALSA
    alsa::SilenceAlsaErrors(); // the library's ALSA host prints every probe it fails
#endif
    SilenceJack(lib);
    // A start-up that does not come back in time leaves the program with the virtual boxes.
    auto started = std::make_shared<std::atomic<bool>>(false);
    const bool answered = RunWithin(StartLimit, [started] {
      std::lock_guard lock(PaLock());
      *started = bound.Pa_Initialize() == paNoError;
    });
    return answered && *started ? &bound : nullptr;
  }();
  return api;
}

std::mutex& PaLock() {
  static auto* lock = new std::mutex; // never destroyed: the watchdog may run during exit
  return *lock;
}

} // namespace platform::portaudio
