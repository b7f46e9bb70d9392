#pragma once
// What every Dravik object that talks to the sound card shares: a hidden window that receives
// the driver's notifications, a short name that prefixes its reports, and the log callback
// through which every report reaches the main window. Also the PCM format helpers.

#include <cstdint>
#include <functional>
#include <string>

#include "dravik/types/uDataTypes.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"

namespace dravik {

// The log callback: the whole line, and false for an error, true for a progress message.
// An empty function counts as not assigned.
using TLogEvent = std::function<void(const std::string& Msg, bool IsInfo)>;

class TMMWinControl : public platform::TMessageTarget {
public:
  explicit TMMWinControl(TLogEvent onLog);

  TLogEvent OnLog;
  std::string Name;          // "WaveIn", "WaveOut", "MixerIn" or "MixerOut"
  int32_t DeviceID = -1;     // -1: no device
  uint32_t LastResult = 0;   // result of the most recent platform call
  bool Active = false;       // open and running

  // The window handle that is passed to the platform as notification target.
  HWND WindowHandle() const { return TMessageTarget::Handle(); }

  // Name + ": " + Msg to the log, as an error or as information; nothing when OnLog is empty.
  void LogError(const std::string& Msg) const;
  void LogInfo(const std::string& Msg) const;
  // A failed platform call: LogError of Msg followed by what LastResult means and what to try,
  // and by the driver's native detail of the failure in brackets where there is one.
  void LogFailure(const std::string& Msg) const;

protected:
  // The driver's native detail of the failure that LastResult reports (its *GetNativeError
  // call); empty by default.
  virtual std::string NativeDetail() const { return {}; }
};

// Default rate, width and channels from a device's format mask (four bits per rate, from 11025
// Hz upwards: mono 8, stereo 8, mono 16, stereo 16 bit). Never yields more than 44100 Hz. Only
// nSamplesPerSec, wBitsPerSample and nChannels are written.
void FormatFromCaps(DWORD Formats, WAVEFORMATEX& Format);

// Fills block alignment, byte rate, tag (PCM) and cbSize from rate, width and channels. False
// when the alignment does not fit 16 bits or the byte rate 32 bits (the record is then left
// with the fields it could fill).
bool CompleteFormat(WAVEFORMATEX& Format);

// "Channels=2, Sampling=44100, Bits=16"
std::string FormatDescription(const WAVEFORMATEX& Format);

// A device's whole name from the platform's name call (waveInGetDevName, waveOutGetDevName,
// mixerGetDevName); the capabilities' name, which holds at most 31 characters of it, when that
// call fails.
using TDevNameCall = MMRESULT (*)(UINT_PTR, std::string&);
std::string WholeDeviceName(TDevNameCall GetName, UINT_PTR Device,
                            const char (&Pname)[MAXPNAMELEN]);

} // namespace dravik
