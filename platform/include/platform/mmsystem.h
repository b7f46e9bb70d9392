#pragma once
// The waveform-audio API with the names, values and semantics of the original platform: device
// lists and capabilities, opening with a notification target, prepared headers queued to the
// driver and returned in order, loops, reset and stop, positions, and result codes with texts.
//
// Structure sizes passed to the calls are sizeof of the structures below (not the 32-bit sizes
// of the original platform); any other size is refused with MMSYSERR_INVALPARAM.
//
// Notices: CALLBACK_WINDOW posts MM_WIM_* / MM_WOM_* to an HWND with wParam = the device handle
// and lParam = the returned WAVEHDR* (0 for open and close); CALLBACK_EVENT sets the event HANDLE
// at open, for every returned buffer and at close. A thread that polls dwFlags of a queued header
// while the driver runs should read it with std::atomic_ref<DWORD>, as the driver writes it.

#include "platform/wintypes.h"

#include <string>

// ---- Handles and basic types -------------------------------------------------------------

struct THWaveInTag;
struct THWaveOutTag;
using HWAVEIN = THWaveInTag*;
using HWAVEOUT = THWaveOutTag*;
using LPHWAVEIN = HWAVEIN*;
using LPHWAVEOUT = HWAVEOUT*;
using MMRESULT = UINT;
using MMVERSION = UINT;

constexpr UINT WAVE_MAPPER = 0xFFFFFFFFu;
constexpr UINT MAXPNAMELEN = 32;
constexpr UINT MAXERRORLENGTH = 256;

// ---- Result codes ------------------------------------------------------------------------

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
constexpr MMRESULT MMSYSERR_INVALIDALIAS = 13;
constexpr MMRESULT MMSYSERR_BADDB = 14;
constexpr MMRESULT MMSYSERR_KEYNOTFOUND = 15;
constexpr MMRESULT MMSYSERR_READERROR = 16;
constexpr MMRESULT MMSYSERR_WRITEERROR = 17;
constexpr MMRESULT MMSYSERR_DELETEERROR = 18;
constexpr MMRESULT MMSYSERR_VALNOTFOUND = 19;
constexpr MMRESULT MMSYSERR_NODRIVERCB = 20;
constexpr MMRESULT MMSYSERR_MOREDATA = 21;
constexpr MMRESULT MMSYSERR_LASTERROR = 21;

constexpr MMRESULT WAVERR_BASE = 32;
constexpr MMRESULT WAVERR_BADFORMAT = WAVERR_BASE + 0;
constexpr MMRESULT WAVERR_STILLPLAYING = WAVERR_BASE + 1;
constexpr MMRESULT WAVERR_UNPREPARED = WAVERR_BASE + 2;
constexpr MMRESULT WAVERR_SYNC = WAVERR_BASE + 3;
constexpr MMRESULT WAVERR_LASTERROR = WAVERR_BASE + 3;

// ---- Notices -----------------------------------------------------------------------------

constexpr UINT MM_WOM_OPEN = 0x3BB;
constexpr UINT MM_WOM_CLOSE = 0x3BC;
constexpr UINT MM_WOM_DONE = 0x3BD;
constexpr UINT MM_WIM_OPEN = 0x3BE;
constexpr UINT MM_WIM_CLOSE = 0x3BF;
constexpr UINT MM_WIM_DATA = 0x3C0;

// ---- Open flags --------------------------------------------------------------------------

constexpr DWORD CALLBACK_TYPEMASK = 0x00070000u;
constexpr DWORD CALLBACK_NULL = 0x00000000u;
constexpr DWORD CALLBACK_WINDOW = 0x00010000u;
constexpr DWORD CALLBACK_TASK = 0x00020000u;
constexpr DWORD CALLBACK_THREAD = CALLBACK_TASK;
constexpr DWORD CALLBACK_FUNCTION = 0x00030000u;
constexpr DWORD CALLBACK_EVENT = 0x00050000u;

constexpr DWORD WAVE_FORMAT_QUERY = 0x0001u;
constexpr DWORD WAVE_ALLOWSYNC = 0x0002u;
constexpr DWORD WAVE_MAPPED = 0x0004u;
constexpr DWORD WAVE_FORMAT_DIRECT = 0x0008u;

// ---- Formats -----------------------------------------------------------------------------

constexpr WORD WAVE_FORMAT_PCM = 1;

struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};
using LPWAVEFORMATEX = WAVEFORMATEX*;
using LPCWAVEFORMATEX = const WAVEFORMATEX*;

// Standard format bits of dwFormats: four per rate (mono 8, stereo 8, mono 16, stereo 16 bit),
// rates 11025, 22050, 44100, 48000 and 96000 Hz.
constexpr DWORD WAVE_INVALIDFORMAT = 0x00000000u;
constexpr DWORD WAVE_FORMAT_1M08 = 0x00000001u;
constexpr DWORD WAVE_FORMAT_1S08 = 0x00000002u;
constexpr DWORD WAVE_FORMAT_1M16 = 0x00000004u;
constexpr DWORD WAVE_FORMAT_1S16 = 0x00000008u;
constexpr DWORD WAVE_FORMAT_2M08 = 0x00000010u;
constexpr DWORD WAVE_FORMAT_2S08 = 0x00000020u;
constexpr DWORD WAVE_FORMAT_2M16 = 0x00000040u;
constexpr DWORD WAVE_FORMAT_2S16 = 0x00000080u;
constexpr DWORD WAVE_FORMAT_4M08 = 0x00000100u;
constexpr DWORD WAVE_FORMAT_4S08 = 0x00000200u;
constexpr DWORD WAVE_FORMAT_4M16 = 0x00000400u;
constexpr DWORD WAVE_FORMAT_4S16 = 0x00000800u;
constexpr DWORD WAVE_FORMAT_48M08 = 0x00001000u;
constexpr DWORD WAVE_FORMAT_48S08 = 0x00002000u;
constexpr DWORD WAVE_FORMAT_48M16 = 0x00004000u;
constexpr DWORD WAVE_FORMAT_48S16 = 0x00008000u;
constexpr DWORD WAVE_FORMAT_96M08 = 0x00010000u;
constexpr DWORD WAVE_FORMAT_96S08 = 0x00020000u;
constexpr DWORD WAVE_FORMAT_96M16 = 0x00040000u;
constexpr DWORD WAVE_FORMAT_96S16 = 0x00080000u;

// ---- Capabilities ------------------------------------------------------------------------

constexpr DWORD WAVECAPS_PITCH = 0x0001u;
constexpr DWORD WAVECAPS_PLAYBACKRATE = 0x0002u;
constexpr DWORD WAVECAPS_VOLUME = 0x0004u;
constexpr DWORD WAVECAPS_LRVOLUME = 0x0008u;
constexpr DWORD WAVECAPS_SYNC = 0x0010u;
constexpr DWORD WAVECAPS_SAMPLEACCURATE = 0x0020u;

struct WAVEINCAPSA {
  WORD wMid;
  WORD wPid;
  MMVERSION vDriverVersion;
  char szPname[MAXPNAMELEN];
  DWORD dwFormats;
  WORD wChannels;
  WORD wReserved1;
};

struct WAVEOUTCAPSA {
  WORD wMid;
  WORD wPid;
  MMVERSION vDriverVersion;
  char szPname[MAXPNAMELEN];
  DWORD dwFormats;
  WORD wChannels;
  WORD wReserved1;
  DWORD dwSupport;
};

// ---- Buffers -----------------------------------------------------------------------------

constexpr DWORD WHDR_DONE = 0x00000001u;
constexpr DWORD WHDR_PREPARED = 0x00000002u;
constexpr DWORD WHDR_BEGINLOOP = 0x00000004u;
constexpr DWORD WHDR_ENDLOOP = 0x00000008u;
constexpr DWORD WHDR_INQUEUE = 0x00000010u;

struct WAVEHDR {
  LPSTR lpData;
  DWORD dwBufferLength;
  DWORD dwBytesRecorded;
  DWORD_PTR dwUser;
  DWORD dwFlags;
  DWORD dwLoops; // plays of a loop; 0xFFFFFFFF repeats until reset
  WAVEHDR* lpNext;
  DWORD_PTR reserved;
};
using PWAVEHDR = WAVEHDR*;
using LPWAVEHDR = WAVEHDR*;

// ---- Positions ---------------------------------------------------------------------------

constexpr UINT TIME_MS = 0x0001u;
constexpr UINT TIME_SAMPLES = 0x0002u;
constexpr UINT TIME_BYTES = 0x0004u;
constexpr UINT TIME_SMPTE = 0x0008u;
constexpr UINT TIME_MIDI = 0x0010u;
constexpr UINT TIME_TICKS = 0x0020u;

struct MMTIME {
  UINT wType;
  union {
    DWORD ms;
    DWORD sample;
    DWORD cb;
    DWORD ticks;
    struct {
      BYTE hour;
      BYTE min;
      BYTE sec;
      BYTE frame;
      BYTE fps;
      BYTE dummy;
      BYTE pad[2];
    } smpte;
    struct {
      DWORD songptrpos;
    } midi;
  } u;
};
using LPMMTIME = MMTIME*;

// ---- Capture -----------------------------------------------------------------------------

UINT waveInGetNumDevs();
MMRESULT waveInGetDevCapsA(UINT_PTR deviceId, WAVEINCAPSA* caps, UINT capsSize);
// An extension of this platform: the device's whole name. szPname of the capabilities keeps its
// MAXPNAMELEN characters, so it holds only the first 31 of a longer name (a real card's ends
// with its "(hw:N,M)"). Checked and answered as the capabilities call is (a forced result,
// MMSYSERR_BADDEVICEID, MMSYSERR_NODRIVER); `name` is emptied first.
MMRESULT waveInGetDevName(UINT_PTR deviceId, std::string& name);
// An extension of this platform: the name of the sound card the device belongs to, which the
// devices of one card share (a real card's "hw:N", every box of the virtual card "Virtual
// card"; a device that names no card, such as the sound server's, by its own name). Checked and
// answered as waveInGetDevName is.
MMRESULT waveInGetCardName(UINT_PTR deviceId, std::string& name);
MMRESULT waveInOpen(LPHWAVEIN handle, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags);
MMRESULT waveInClose(HWAVEIN handle);
MMRESULT waveInPrepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT headerSize);
MMRESULT waveInUnprepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT headerSize);
MMRESULT waveInAddBuffer(HWAVEIN handle, LPWAVEHDR header, UINT headerSize);
MMRESULT waveInStart(HWAVEIN handle);
// Stops recording; a partly filled buffer comes back, empty ones stay queued.
MMRESULT waveInStop(HWAVEIN handle);
// Stops recording and returns every queued buffer. The position keeps counting from the open.
MMRESULT waveInReset(HWAVEIN handle);
// Frames since the device opened, counted while recording (also those lost for want of a
// buffer), modulo 2^32.
MMRESULT waveInGetPosition(HWAVEIN handle, LPMMTIME time, UINT timeSize);
MMRESULT waveInGetErrorTextA(MMRESULT error, LPSTR text, UINT textSize);
// An extension of this platform: what the library behind a device last said of a failure, in
// its own terms ("PortAudio -9996: Invalid device"), to follow the result code's text in a
// report; "" when there is none (no failure, a refusal of the platform's own, or a device such as
// the virtual box's that has no library behind it). `device` is an open handle (why it failed
// while open, e.g. went away), or a device number cast to HWAVEIN, as the original platform's
// device messages take it (why its last open failed: a failed open leaves no handle).
std::string waveInGetNativeError(HWAVEIN device);

// ---- Playback ----------------------------------------------------------------------------

UINT waveOutGetNumDevs();
MMRESULT waveOutGetDevCapsA(UINT_PTR deviceId, WAVEOUTCAPSA* caps, UINT capsSize);
// The whole name, as waveInGetDevName gives it for an input.
MMRESULT waveOutGetDevName(UINT_PTR deviceId, std::string& name);
// The card, as waveInGetCardName gives it for an input.
MMRESULT waveOutGetCardName(UINT_PTR deviceId, std::string& name);
MMRESULT waveOutOpen(LPHWAVEOUT handle, UINT deviceId, LPCWAVEFORMATEX format,
                     DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT waveOutClose(HWAVEOUT handle);
MMRESULT waveOutPrepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT headerSize);
MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT headerSize);
// Queues a buffer; playing starts with the first one unless the device is paused.
MMRESULT waveOutWrite(HWAVEOUT handle, LPWAVEHDR header, UINT headerSize);
MMRESULT waveOutPause(HWAVEOUT handle);
MMRESULT waveOutRestart(HWAVEOUT handle);
// Stops playing and returns every queued buffer; a pause is lifted.
MMRESULT waveOutReset(HWAVEOUT handle);
// Frames played since the device opened, modulo 2^32.
MMRESULT waveOutGetPosition(HWAVEOUT handle, LPMMTIME time, UINT timeSize);
MMRESULT waveOutGetErrorTextA(MMRESULT error, LPSTR text, UINT textSize);
// The same for playback devices.
std::string waveOutGetNativeError(HWAVEOUT device);
