// The waveform-audio API. Every call is checked here once (forced results, handle, pointers and
// sizes, flags, device number, format) before it reaches the open device's stream or a back
// end, which then only deal with the normal case.

#include "platform/mmsystem.h"
#include "platform/src/uWaveBackend.h"
#include "platform/src/uWaveErrors.h"
#include "platform/src/uWaveFaults.h"
#include "platform/src/uWaveRegistry.h"
#include "platform/src/uWaveStream.h"

#include <algorithm>
#include <cstring>

namespace platform::wave {
namespace {

constexpr DWORD KnownOpenFlags =
    CALLBACK_TYPEMASK | WAVE_FORMAT_QUERY | WAVE_ALLOWSYNC | WAVE_MAPPED | WAVE_FORMAT_DIRECT;

std::shared_ptr<TWaveDevice> FindDevice(TDirection direction, UINT_PTR id) {
  auto devices = AllDevices(direction);
  if (id == WAVE_MAPPER) id = 0; // the mapper plays through the first device
  return id < devices.size() ? devices[id] : nullptr;
}

MMRESULT CheckPcm(const WAVEFORMATEX& f) {
  if (f.wFormatTag != WAVE_FORMAT_PCM || f.nChannels == 0 || f.nSamplesPerSec == 0) {
    return WAVERR_BADFORMAT;
  }
  if (f.wBitsPerSample == 0 || f.wBitsPerSample % 8 != 0) return WAVERR_BADFORMAT;
  const uint64_t align = uint64_t{f.nChannels} * (f.wBitsPerSample / 8);
  if (f.nBlockAlign != align || f.nAvgBytesPerSec != align * f.nSamplesPerSec) {
    return WAVERR_BADFORMAT;
  }
  return MMSYSERR_NOERROR;
}

MMRESULT CheckHeader(const WAVEHDR* header, UINT size) {
  return header && size == sizeof(WAVEHDR) ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
}

// The device that a capabilities or name call asks about, if it is there.
MMRESULT PresentDevice(TDirection direction, UINT_PTR id, std::shared_ptr<TWaveDevice>& device) {
  device = FindDevice(direction, id);
  if (!device) return MMSYSERR_BADDEVICEID;
  return device->Present() ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
}

// Fills the fields that input and output capabilities share.
template <class TCaps>
MMRESULT FillCaps(TDirection direction, UINT_PTR id, TCaps* caps, UINT size,
                  std::shared_ptr<TWaveDevice>& device) {
  if (!caps || size != sizeof(TCaps)) return MMSYSERR_INVALPARAM;
  if (const MMRESULT result = PresentDevice(direction, id, device)) return result;
  std::memset(caps, 0, sizeof(TCaps));
  caps->wMid = 0xFFFF; // no manufacturer registration
  caps->wPid = direction == TDirection::In ? 1 : 2;
  caps->vDriverVersion = 0x0100;
  const std::string name = device->Name();
  std::memcpy(caps->szPname, name.data(), std::min<size_t>(name.size(), MAXPNAMELEN - 1));
  caps->dwFormats = device->Formats();
  caps->wChannels = device->Channels();
  return MMSYSERR_NOERROR;
}

template <class THandle>
MMRESULT Open(TDirection direction, THandle* handle, UINT id, const WAVEFORMATEX* format,
              DWORD_PTR callback, DWORD flags) {
  if (flags & ~KnownOpenFlags) return MMSYSERR_INVALFLAG;
  const bool query = flags & WAVE_FORMAT_QUERY;
  if (!format || (!query && !handle)) return MMSYSERR_INVALPARAM;
  const auto device = FindDevice(direction, id);
  if (!device) return MMSYSERR_BADDEVICEID;
  device->LastOpen.Note({});
  if (!device->Present()) return MMSYSERR_NODRIVER;
  TNotifier notifier;
  if (!query) {
    if (const MMRESULT result = TNotifier::Make(flags, callback, direction, notifier)) return result;
  }
  if (const MMRESULT result = CheckPcm(*format)) return result;
  if (const MMRESULT result = device->CheckFormat(*format)) return result;
  if (direction == TDirection::Out && (device->Support() & WAVECAPS_SYNC) &&
      !(flags & WAVE_ALLOWSYNC)) {
    return WAVERR_SYNC;
  }
  if (query) return MMSYSERR_NOERROR;
  void* const newHandle = NewWaveHandle();
  auto stream = std::make_shared<TWaveStream>(direction, *format, notifier, newHandle);
  const TBackendResult attached = device->Attach(stream);
  if (attached.Code) {
    device->LastOpen.Note(attached.Detail);
    return attached.Code;
  }
  AddOpenDevice(newHandle, {stream, device});
  *handle = static_cast<THandle>(newHandle); // before the open notice, which may wake another thread
  stream->Open();
  return MMSYSERR_NOERROR;
}

MMRESULT Close(TDirection direction, void* handle) {
  const TOpenDevice open = FindOpenDevice(handle, direction);
  if (!open) return MMSYSERR_INVALHANDLE;
  if (const MMRESULT result = open.Stream->Close()) return result;
  open.Device->Detach(*open.Stream);
  RemoveOpenDevice(handle);
  return MMSYSERR_NOERROR;
}

// A call on an open device: the forced result, then the handle, then the operation.
template <class TOperation>
MMRESULT WithStream(const char* call, TDirection direction, void* handle, TOperation operation) {
  if (const MMRESULT forced = TakeForcedResult(call)) return forced;
  const TOpenDevice open = FindOpenDevice(handle, direction);
  if (!open) return MMSYSERR_INVALHANDLE;
  return operation(*open.Stream);
}

template <class TOperation>
MMRESULT WithHeader(const char* call, TDirection direction, void* handle, WAVEHDR* header,
                    UINT size, TOperation operation) {
  return WithStream(call, direction, handle, [&](TWaveStream& stream) {
    if (const MMRESULT result = CheckHeader(header, size)) return result;
    return operation(stream, header);
  });
}

MMRESULT Position(const char* call, TDirection direction, void* handle, MMTIME* time,
                  UINT size) {
  return WithStream(call, direction, handle, [&](TWaveStream& stream) {
    if (!time || size != sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
    return stream.Position(*time);
  });
}

MMRESULT DeviceName(const char* call, TDirection direction, UINT_PTR id, std::string& name,
                    bool card = false) {
  name.clear();
  if (const MMRESULT forced = TakeForcedResult(call)) return forced;
  std::shared_ptr<TWaveDevice> device;
  if (const MMRESULT result = PresentDevice(direction, id, device)) return result;
  name = card ? device->CardName() : device->Name();
  return MMSYSERR_NOERROR;
}

// An open handle's own detail; else, for a device number, that of the device's last open.
std::string NativeError(TDirection direction, void* device) {
  if (const TOpenDevice open = FindOpenDevice(device, direction)) return open.Stream->NativeDetail();
  const auto found = FindDevice(direction, reinterpret_cast<UINT_PTR>(device));
  return found ? found->LastOpen.Get() : std::string{};
}

MMRESULT ErrorText(const char* call, MMRESULT error, LPSTR text, UINT size) {
  if (const MMRESULT forced = TakeForcedResult(call)) return forced;
  return CopyErrorText(error, text, size);
}

constexpr auto In = TDirection::In;
constexpr auto Out = TDirection::Out;

} // namespace
} // namespace platform::wave

using namespace platform::wave;

// ---- Capture ----

UINT waveInGetNumDevs() { return static_cast<UINT>(AllDevices(In).size()); }

MMRESULT waveInGetDevCapsA(UINT_PTR deviceId, WAVEINCAPSA* caps, UINT capsSize) {
  if (const MMRESULT forced = TakeForcedResult("waveInGetDevCapsA")) return forced;
  std::shared_ptr<TWaveDevice> device;
  return FillCaps(In, deviceId, caps, capsSize, device);
}

MMRESULT waveInGetDevName(UINT_PTR deviceId, std::string& name) {
  return DeviceName("waveInGetDevName", In, deviceId, name);
}

MMRESULT waveInGetCardName(UINT_PTR deviceId, std::string& name) {
  return DeviceName("waveInGetCardName", In, deviceId, name, true);
}

MMRESULT waveInOpen(LPHWAVEIN handle, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback,
                    DWORD_PTR /*instance*/, DWORD flags) {
  if (const MMRESULT forced = TakeForcedResult("waveInOpen")) return forced;
  return Open(In, handle, deviceId, format, callback, flags);
}

MMRESULT waveInClose(HWAVEIN handle) {
  if (const MMRESULT forced = TakeForcedResult("waveInClose")) return forced;
  return Close(In, handle);
}

MMRESULT waveInPrepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT headerSize) {
  return WithHeader("waveInPrepareHeader", In, handle, header, headerSize,
                    [](TWaveStream& s, WAVEHDR* h) { return s.Prepare(h); });
}

MMRESULT waveInUnprepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT headerSize) {
  return WithHeader("waveInUnprepareHeader", In, handle, header, headerSize,
                    [](TWaveStream& s, WAVEHDR* h) { return s.Unprepare(h); });
}

MMRESULT waveInAddBuffer(HWAVEIN handle, LPWAVEHDR header, UINT headerSize) {
  return WithHeader("waveInAddBuffer", In, handle, header, headerSize,
                    [](TWaveStream& s, WAVEHDR* h) { return s.Add(h); });
}

MMRESULT waveInStart(HWAVEIN handle) {
  return WithStream("waveInStart", In, handle, [](TWaveStream& s) { return s.Start(); });
}

MMRESULT waveInStop(HWAVEIN handle) {
  return WithStream("waveInStop", In, handle, [](TWaveStream& s) { return s.Stop(); });
}

MMRESULT waveInReset(HWAVEIN handle) {
  return WithStream("waveInReset", In, handle, [](TWaveStream& s) { return s.Reset(); });
}

MMRESULT waveInGetPosition(HWAVEIN handle, LPMMTIME time, UINT timeSize) {
  return Position("waveInGetPosition", In, handle, time, timeSize);
}

MMRESULT waveInGetErrorTextA(MMRESULT error, LPSTR text, UINT textSize) {
  return ErrorText("waveInGetErrorTextA", error, text, textSize);
}

std::string waveInGetNativeError(HWAVEIN device) { return NativeError(In, device); }

// ---- Playback ----

UINT waveOutGetNumDevs() { return static_cast<UINT>(AllDevices(Out).size()); }

MMRESULT waveOutGetDevCapsA(UINT_PTR deviceId, WAVEOUTCAPSA* caps, UINT capsSize) {
  if (const MMRESULT forced = TakeForcedResult("waveOutGetDevCapsA")) return forced;
  std::shared_ptr<TWaveDevice> device;
  const MMRESULT result = FillCaps(Out, deviceId, caps, capsSize, device);
  if (result == MMSYSERR_NOERROR) caps->dwSupport = device->Support();
  return result;
}

MMRESULT waveOutGetDevName(UINT_PTR deviceId, std::string& name) {
  return DeviceName("waveOutGetDevName", Out, deviceId, name);
}

MMRESULT waveOutGetCardName(UINT_PTR deviceId, std::string& name) {
  return DeviceName("waveOutGetCardName", Out, deviceId, name, true);
}

MMRESULT waveOutOpen(LPHWAVEOUT handle, UINT deviceId, LPCWAVEFORMATEX format,
                     DWORD_PTR callback, DWORD_PTR /*instance*/, DWORD flags) {
  if (const MMRESULT forced = TakeForcedResult("waveOutOpen")) return forced;
  return Open(Out, handle, deviceId, format, callback, flags);
}

MMRESULT waveOutClose(HWAVEOUT handle) {
  if (const MMRESULT forced = TakeForcedResult("waveOutClose")) return forced;
  return Close(Out, handle);
}

MMRESULT waveOutPrepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT headerSize) {
  return WithHeader("waveOutPrepareHeader", Out, handle, header, headerSize,
                    [](TWaveStream& s, WAVEHDR* h) { return s.Prepare(h); });
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT headerSize) {
  return WithHeader("waveOutUnprepareHeader", Out, handle, header, headerSize,
                    [](TWaveStream& s, WAVEHDR* h) { return s.Unprepare(h); });
}

MMRESULT waveOutWrite(HWAVEOUT handle, LPWAVEHDR header, UINT headerSize) {
  return WithHeader("waveOutWrite", Out, handle, header, headerSize,
                    [](TWaveStream& s, WAVEHDR* h) { return s.Add(h); });
}

MMRESULT waveOutPause(HWAVEOUT handle) {
  return WithStream("waveOutPause", Out, handle, [](TWaveStream& s) { return s.Pause(); });
}

MMRESULT waveOutRestart(HWAVEOUT handle) {
  return WithStream("waveOutRestart", Out, handle, [](TWaveStream& s) { return s.Restart(); });
}

MMRESULT waveOutReset(HWAVEOUT handle) {
  return WithStream("waveOutReset", Out, handle, [](TWaveStream& s) { return s.Reset(); });
}

MMRESULT waveOutGetPosition(HWAVEOUT handle, LPMMTIME time, UINT timeSize) {
  return Position("waveOutGetPosition", Out, handle, time, timeSize);
}

MMRESULT waveOutGetErrorTextA(MMRESULT error, LPSTR text, UINT textSize) {
  return ErrorText("waveOutGetErrorTextA", error, text, textSize);
}

std::string waveOutGetNativeError(HWAVEOUT device) { return NativeError(Out, device); }
