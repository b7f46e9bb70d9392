#include "platform/src/uWaveErrors.h"

#include <algorithm>
#include <cstring>

namespace platform::wave {
namespace {

struct TErrorEntry {
  MMRESULT Code;
  const char* Text;
};

// Every text stays well below the 128 characters that callers reserve.
constexpr TErrorEntry ErrorTable[] = {
    {MMSYSERR_NOERROR, "The operation succeeded."},
    {MMSYSERR_ERROR, "The sound driver reported an unspecified failure."},
    {MMSYSERR_BADDEVICEID, "The device number is outside the list of devices."},
    {MMSYSERR_NOTENABLED, "The sound driver could not be enabled."},
    {MMSYSERR_ALLOCATED, "The device is already open; close it before opening it again."},
    {MMSYSERR_INVALHANDLE, "The device handle is not an open device."},
    {MMSYSERR_NODRIVER, "The device is not present: no driver serves it."},
    {MMSYSERR_NOMEM, "The sound driver ran out of memory."},
    {MMSYSERR_NOTSUPPORTED, "The sound driver does not offer this function."},
    {MMSYSERR_BADERRNUM, "The result code has no known meaning."},
    {MMSYSERR_INVALFLAG, "A flag passed to the call is not one the call accepts."},
    {MMSYSERR_INVALPARAM, "A parameter passed to the call is missing or has the wrong size."},
    {MMSYSERR_HANDLEBUSY, "The device handle is in use by another thread."},
    {MMSYSERR_INVALIDALIAS, "The device alias is not known."},
    {MMSYSERR_BADDB, "The driver registry is damaged."},
    {MMSYSERR_KEYNOTFOUND, "The driver registry has no such key."},
    {MMSYSERR_READERROR, "The driver registry could not be read."},
    {MMSYSERR_WRITEERROR, "The driver registry could not be written."},
    {MMSYSERR_DELETEERROR, "The driver registry entry could not be deleted."},
    {MMSYSERR_VALNOTFOUND, "The driver registry has no such value."},
    {MMSYSERR_NODRIVERCB, "The sound driver gave no completion notice."},
    {MMSYSERR_MOREDATA, "More data is waiting to be returned."},
    {WAVERR_BADFORMAT, "The device cannot work with this wave format."},
    {WAVERR_STILLPLAYING, "Buffers are still queued on the device; reset it first."},
    {WAVERR_UNPREPARED, "The wave header has not been prepared for this device."},
    {WAVERR_SYNC, "The device is synchronous; open it with WAVE_ALLOWSYNC."},
};

} // namespace

const char* ErrorText(MMRESULT code) {
  for (const auto& entry : ErrorTable) {
    if (entry.Code == code) return entry.Text;
  }
  return nullptr;
}

MMRESULT CopyErrorText(MMRESULT code, LPSTR text, UINT size) {
  if (!text || size == 0) return MMSYSERR_INVALPARAM;
  const char* source = ErrorText(code);
  const size_t length = source ? std::min<size_t>(std::strlen(source), size - 1) : 0;
  if (length) std::memcpy(text, source, length);
  text[length] = '\0';
  return source ? MMSYSERR_NOERROR : MMSYSERR_BADERRNUM;
}

} // namespace platform::wave
