#pragma once
// What a back end's own library said about a failure ("PortAudio -9996: Invalid device", "ALSA
// -16: Device or resource busy"), beside the result code that the API gives the program. The
// result code is all the program can act on; the detail is what a person needs to find the
// cause, so the front end keeps it per device and per open handle for the native-error calls
// (waveInGetNativeError, waveOutGetNativeError, mixerGetNativeError).

#include "platform/mmsystem.h"

#include <mutex>
#include <string>

namespace platform {

// A back end's answer: the result code, and the native detail where its library failed (empty
// for a success or for a refusal of the back end's own).
struct TBackendResult {
  TBackendResult(MMRESULT code = MMSYSERR_NOERROR, std::string detail = {}) // NOLINT: from a code
      : Code(code), Detail(std::move(detail)) {}
  MMRESULT Code;
  std::string Detail;
};

// A library's failure as a detail: "<library> <code>: <text>", the text left out where it is
// null or empty.
inline std::string NativeDetailText(const std::string& library, long code, const char* text) {
  std::string detail = library + " " + std::to_string(code);
  if (text && *text) detail += std::string(": ") + text;
  return detail;
}

// The detail of the last call on one object (a device or an open handle), noted by the front
// end after each call that reached a back end and read by any thread.
class TNativeDetail {
public:
  void Note(std::string detail) {
    std::lock_guard lock(Mutex);
    Text = std::move(detail);
  }
  std::string Get() const {
    std::lock_guard lock(Mutex);
    return Text;
  }

private:
  mutable std::mutex Mutex;
  std::string Text;
};

} // namespace platform
