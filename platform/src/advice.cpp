#include "platform/advice.h"

#include "platform/mixer.h"
#include "platform/mmsystem.h"

namespace platform {
namespace {

struct TAdviceEntry {
  MMRESULT Code;
  const char* Advice;
};

// The causes a person can do something about: a device that was unplugged or that another
// program holds, a rate or width the card does not offer, a sound server that is not running.
constexpr const char* Gone =
    "The device is unplugged or its sound server is not running: plug it in or start the sound "
    "server, then restart the program.";
constexpr const char* Busy =
    "The device is still busy with the last run: wait a moment, then press Start again.";
constexpr const char* Refused =
    "The device refused the request: choose another rate or device, and restart the program if "
    "that does not help.";
constexpr const char* Registry =
    "The sound system's configuration could not be read: restart the sound server or the computer.";
constexpr const char* Unknown =
    "The cause is unknown: check that the device is plugged in and not used by another program, "
    "then press Start again.";

constexpr TAdviceEntry AdviceTable[] = {
    {MMSYSERR_ERROR,
     "The device may be in use by another program, or its sound server may have stopped: close "
     "other sound programs or restart the sound server, then press Start again."},
    {MMSYSERR_BADDEVICEID,
     "The list of devices has changed, perhaps because a device was unplugged: restart the "
     "program to list the devices again."},
    {MMSYSERR_NOTENABLED,
     "The sound server or the card's driver is not running: start it, then restart the program."},
    {MMSYSERR_ALLOCATED,
     "Another program is using the device: close that program or choose another device."},
    {MMSYSERR_INVALHANDLE,
     "The device was closed under the program, perhaps because it was unplugged: plug it in, "
     "choose it again and press Start."},
    {MMSYSERR_NODRIVER, Gone},
    {MMSYSERR_NOMEM, "The computer is short of memory: close other programs and try again."},
    {MMSYSERR_NOTSUPPORTED, "The device does not offer this function: choose another device."},
    {MMSYSERR_BADERRNUM, Unknown},
    {MMSYSERR_INVALFLAG, Refused},
    {MMSYSERR_INVALPARAM, Refused},
    {MMSYSERR_HANDLEBUSY, Busy},
    {MMSYSERR_INVALIDALIAS, Registry},
    {MMSYSERR_BADDB, Registry},
    {MMSYSERR_KEYNOTFOUND, Registry},
    {MMSYSERR_READERROR, Registry},
    {MMSYSERR_WRITEERROR, Registry},
    {MMSYSERR_DELETEERROR, Registry},
    {MMSYSERR_VALNOTFOUND, Registry},
    {MMSYSERR_NODRIVERCB,
     "The driver stopped answering: unplug the device and plug it in again, or restart the sound "
     "server."},
    {MMSYSERR_MOREDATA, Unknown},
    {WAVERR_BADFORMAT,
     "The device does not support this sampling rate or number of bits: choose another rate "
     "(44100 or 48000 Hz with 16 bits suits most cards)."},
    {WAVERR_STILLPLAYING, Busy},
    {WAVERR_UNPREPARED, "The device lost track of its buffers: press Stop, then Start again."},
    {WAVERR_SYNC, "The device cannot play in the way the program asks: choose another device."},
    {MIXERR_INVALLINE,
     "The card's mixer no longer has this line, perhaps because the device changed: choose the "
     "device again, or another one."},
    {MIXERR_INVALCONTROL,
     "The card's mixer no longer has this control, perhaps because the device changed: choose the "
     "device again, or another one."},
    {MIXERR_INVALVALUE,
     "The card's mixer refused the value: choose another source or device."},
};

} // namespace

std::string ResultAdvice(MMRESULT code) {
  if (code == MMSYSERR_NOERROR) return {};
  for (const auto& entry : AdviceTable) {
    if (entry.Code == code) return entry.Advice;
  }
  return Unknown;
}

std::string WithAdvice(const std::string& text, MMRESULT code) {
  const std::string advice = ResultAdvice(code);
  if (advice.empty()) return text;
  // A text whose own part is missing ("Open: " for a code without a text) takes the advice as is.
  if (text.empty() || text.back() == ' ') return text + advice;
  return text + (text.back() == '.' ? " " : ". ") + advice;
}

std::string WithNativeDetail(const std::string& line, const std::string& detail) {
  return detail.empty() ? line : line + " [" + detail + "]";
}

} // namespace platform
