#include "dravik/audio/uCommon.h"

#include <cstring>

#include "platform/advice.h"

namespace dravik {

TMMWinControl::TMMWinControl(TLogEvent onLog) : OnLog(std::move(onLog)) {}

void TMMWinControl::LogError(const std::string& Msg) const {
  if (OnLog) OnLog(Name + ": " + Msg, false);
}

void TMMWinControl::LogFailure(const std::string& Msg) const {
  const std::string line = platform::WithAdvice(Msg, LastResult);
  LogError(LastResult == MMSYSERR_NOERROR ? line : platform::WithNativeDetail(line, NativeDetail()));
}

void TMMWinControl::LogInfo(const std::string& Msg) const {
  if (OnLog) OnLog(Name + ": " + Msg, true);
}

void FormatFromCaps(DWORD Formats, WAVEFORMATEX& Format) {
  DWORD mask = Formats;
  DWORD rate = 11025;
  while ((mask >> 4) != 0) {
    mask >>= 4;
    rate *= 2;
    if (rate >= 44100) break;
  }
  WORD bits = 8;
  if ((mask >> 2) != 0) {
    bits = 16;
    mask >>= 2;
  }
  Format.nSamplesPerSec = rate;
  Format.wBitsPerSample = bits;
  Format.nChannels = mask > 1 ? 2 : 1;
}

bool CompleteFormat(WAVEFORMATEX& Format) {
  Format.wFormatTag = WAVE_FORMAT_PCM;
  Format.cbSize = 0;
  const uint64_t align = static_cast<uint64_t>(Format.wBitsPerSample / 8) * Format.nChannels;
  if (align > 0xFFFF) return false;
  Format.nBlockAlign = static_cast<WORD>(align);
  const uint64_t bytesPerSec = static_cast<uint64_t>(Format.nSamplesPerSec) * align;
  if (bytesPerSec > 0xFFFFFFFFull) return false;
  Format.nAvgBytesPerSec = static_cast<DWORD>(bytesPerSec);
  return true;
}

std::string FormatDescription(const WAVEFORMATEX& Format) {
  return "Channels=" + std::to_string(Format.nChannels) +
         ", Sampling=" + std::to_string(Format.nSamplesPerSec) +
         ", Bits=" + std::to_string(Format.wBitsPerSample);
}

std::string WholeDeviceName(TDevNameCall GetName, UINT_PTR Device,
                            const char (&Pname)[MAXPNAMELEN]) {
  std::string name;
  if (GetName(Device, name) == MMSYSERR_NOERROR) return name;
  return std::string(Pname, strnlen(Pname, MAXPNAMELEN));
}

} // namespace dravik
