#pragma once
// The audio mixer API with the names, values and semantics of the original platform: mixer
// devices and their capabilities, destination and source lines, the controls of a line, control
// values per channel and item, selector item texts, and change notices to window targets.
//
// Structure sizes passed in cbStruct, cbmxcaps, cbmxctrl and cbDetails are sizeof of the
// structures below (not the 32-bit sizes of the original platform); any other size is refused
// with MMSYSERR_INVALPARAM. cbDetails is sizeof(MIXERCONTROLDETAILS_UNSIGNED) (4) for values and
// sizeof(MIXERCONTROLDETAILS_LISTTEXTA) for list texts.
//
// A mixer object (HMIXEROBJ) is chosen by the MIXER_OBJECTF_* part of the flags: a mixer device
// number or an open HMIXER (MIXER_OBJECTF_MIXER also accepts an open HMIXER, as the original
// platform does), or a waveform device number or open handle whose mixer is meant.
//
// Values: volumes run from 0 to 65535 (Bounds.dwMinimum .. dwMaximum), Booleans are 0 or 1.
// A control with MIXERCONTROL_CONTROLF_UNIFORM has one value for all channels and is read and
// written with cChannels 1; otherwise cChannels is either 1 (the same value for every channel)
// or the line's cChannels. A control with MIXERCONTROL_CONTROLF_MULTIPLE has cMultipleItems
// values per channel; the value of channel c, item i lies at c * cMultipleItems + i. A
// single-select control (MUX) holds exactly one item set.
//
// Notices: every open handle of a mixer that was opened with CALLBACK_WINDOW receives
// MM_MIXM_CONTROL_CHANGE (wParam = that HMIXER, lParam = the control id) whenever a value of the
// control changes, whoever changed it (this program, another handle, another program), in the
// order of the changes. A write that leaves every value as it was posts nothing. The lines of
// the mixers offered never change, so MM_MIXM_LINE_CHANGE is not sent.
//
// Failed calls return MMSYSERR_* or MIXERR_* codes and change nothing; no call crashes on a
// made-up or closed handle.

#include "platform/mmsystem.h"

#include <string>

// ---- Handles -----------------------------------------------------------------------------

struct THMixerTag;
struct THMixerObjTag;
using HMIXER = THMixerTag*;
using HMIXEROBJ = THMixerObjTag*;
using LPHMIXER = HMIXER*;

constexpr UINT MIXER_SHORT_NAME_CHARS = 16;
constexpr UINT MIXER_LONG_NAME_CHARS = 64;

// ---- Result codes and notices ------------------------------------------------------------

constexpr MMRESULT MIXERR_BASE = 1024;
constexpr MMRESULT MIXERR_INVALLINE = MIXERR_BASE + 0;
constexpr MMRESULT MIXERR_INVALCONTROL = MIXERR_BASE + 1;
constexpr MMRESULT MIXERR_INVALVALUE = MIXERR_BASE + 2;
constexpr MMRESULT MIXERR_LASTERROR = MIXERR_BASE + 2;

constexpr UINT MM_MIXM_LINE_CHANGE = 0x3D0;
constexpr UINT MM_MIXM_CONTROL_CHANGE = 0x3D1;

// ---- Mixer objects (flags of every call that takes an HMIXEROBJ) --------------------------

constexpr DWORD MIXER_OBJECTF_HANDLE = 0x80000000u;
constexpr DWORD MIXER_OBJECTF_MIXER = 0x00000000u;
constexpr DWORD MIXER_OBJECTF_HMIXER = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_MIXER;
constexpr DWORD MIXER_OBJECTF_WAVEOUT = 0x10000000u;
constexpr DWORD MIXER_OBJECTF_HWAVEOUT = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_WAVEOUT;
constexpr DWORD MIXER_OBJECTF_WAVEIN = 0x20000000u;
constexpr DWORD MIXER_OBJECTF_HWAVEIN = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_WAVEIN;
constexpr DWORD MIXER_OBJECTF_MIDIOUT = 0x30000000u;
constexpr DWORD MIXER_OBJECTF_HMIDIOUT = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_MIDIOUT;
constexpr DWORD MIXER_OBJECTF_MIDIIN = 0x40000000u;
constexpr DWORD MIXER_OBJECTF_HMIDIIN = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_MIDIIN;
constexpr DWORD MIXER_OBJECTF_AUX = 0x50000000u;

// ---- Capabilities ------------------------------------------------------------------------

struct MIXERCAPSA {
  WORD wMid;
  WORD wPid;
  MMVERSION vDriverVersion;
  char szPname[MAXPNAMELEN];
  DWORD fdwSupport;
  DWORD cDestinations;
};
using LPMIXERCAPSA = MIXERCAPSA*;

// ---- Lines -------------------------------------------------------------------------------

constexpr DWORD MIXERLINE_LINEF_ACTIVE = 0x00000001u;
constexpr DWORD MIXERLINE_LINEF_DISCONNECTED = 0x00008000u;
constexpr DWORD MIXERLINE_LINEF_SOURCE = 0x80000000u;

constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_FIRST = 0x00000000u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_UNDEFINED = 0x00000000u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_DIGITAL = 0x00000001u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_LINE = 0x00000002u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_MONITOR = 0x00000003u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 0x00000004u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_HEADPHONES = 0x00000005u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_TELEPHONE = 0x00000006u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 0x00000007u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_VOICEIN = 0x00000008u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_LAST = 0x00000008u;

constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_FIRST = 0x00001000u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x00001000u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_DIGITAL = 0x00001001u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x00001002u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x00001003u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER = 0x00001004u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC = 0x00001005u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE = 0x00001006u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER = 0x00001007u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x00001008u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY = 0x00001009u;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_ANALOG = 0x0000100Au;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_LAST = 0x0000100Au;

constexpr DWORD MIXERLINE_TARGETTYPE_UNDEFINED = 0;
constexpr DWORD MIXERLINE_TARGETTYPE_WAVEOUT = 1;
constexpr DWORD MIXERLINE_TARGETTYPE_WAVEIN = 2;
constexpr DWORD MIXERLINE_TARGETTYPE_MIDIOUT = 3;
constexpr DWORD MIXERLINE_TARGETTYPE_MIDIIN = 4;
constexpr DWORD MIXERLINE_TARGETTYPE_AUX = 5;

struct MIXERLINEA {
  DWORD cbStruct;
  DWORD dwDestination;
  DWORD dwSource;
  DWORD dwLineID;
  DWORD fdwLine;
  DWORD_PTR dwUser;
  DWORD dwComponentType;
  DWORD cChannels;
  DWORD cConnections;
  DWORD cControls;
  char szShortName[MIXER_SHORT_NAME_CHARS];
  char szName[MIXER_LONG_NAME_CHARS];
  struct {
    DWORD dwType;
    DWORD dwDeviceID;
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    char szPname[MAXPNAMELEN];
  } Target;
};
using LPMIXERLINEA = MIXERLINEA*;

// mixerGetLineInfoA: which line is meant. DESTINATION: dwDestination; SOURCE: dwDestination and
// dwSource; LINEID: dwLineID; COMPONENTTYPE: the first line of dwComponentType.
constexpr DWORD MIXER_GETLINEINFOF_DESTINATION = 0x00000000u;
constexpr DWORD MIXER_GETLINEINFOF_SOURCE = 0x00000001u;
constexpr DWORD MIXER_GETLINEINFOF_LINEID = 0x00000002u;
constexpr DWORD MIXER_GETLINEINFOF_COMPONENTTYPE = 0x00000003u;
constexpr DWORD MIXER_GETLINEINFOF_TARGETTYPE = 0x00000004u;
constexpr DWORD MIXER_GETLINEINFOF_QUERYMASK = 0x0000000Fu;

// ---- Controls ----------------------------------------------------------------------------

constexpr DWORD MIXERCONTROL_CONTROLF_UNIFORM = 0x00000001u;
constexpr DWORD MIXERCONTROL_CONTROLF_MULTIPLE = 0x00000002u;
constexpr DWORD MIXERCONTROL_CONTROLF_DISABLED = 0x80000000u;

constexpr DWORD MIXERCONTROL_CT_CLASS_MASK = 0xF0000000u;
constexpr DWORD MIXERCONTROL_CT_CLASS_CUSTOM = 0x00000000u;
constexpr DWORD MIXERCONTROL_CT_CLASS_METER = 0x10000000u;
constexpr DWORD MIXERCONTROL_CT_CLASS_SWITCH = 0x20000000u;
constexpr DWORD MIXERCONTROL_CT_CLASS_NUMBER = 0x30000000u;
constexpr DWORD MIXERCONTROL_CT_CLASS_SLIDER = 0x40000000u;
constexpr DWORD MIXERCONTROL_CT_CLASS_FADER = 0x50000000u;
constexpr DWORD MIXERCONTROL_CT_CLASS_TIME = 0x60000000u;
constexpr DWORD MIXERCONTROL_CT_CLASS_LIST = 0x70000000u;

constexpr DWORD MIXERCONTROL_CONTROLTYPE_CUSTOM = 0x00000000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_BOOLEANMETER = 0x10010000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_SIGNEDMETER = 0x10020000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_PEAKMETER = 0x10020001u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_UNSIGNEDMETER = 0x10030000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_BOOLEAN = 0x20010000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_ONOFF = 0x20010001u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_MONO = 0x20010003u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_LOUDNESS = 0x20010004u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_STEREOENH = 0x20010005u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_BUTTON = 0x21010000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_SIGNED = 0x30020000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_UNSIGNED = 0x30030000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_DECIBELS = 0x30040000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_PERCENT = 0x30050000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_SLIDER = 0x40020000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_PAN = 0x40020001u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_QSOUNDPAN = 0x40020002u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_FADER = 0x50030000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_BASS = 0x50030002u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_TREBLE = 0x50030003u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_EQUALIZER = 0x50030004u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_MICROTIME = 0x60030000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_MILLITIME = 0x61030000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_SINGLESELECT = 0x70010000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_MUX = 0x70010001u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT = 0x71010000u;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_MIXER = 0x71010001u;

struct MIXERCONTROLA {
  DWORD cbStruct;
  DWORD dwControlID;
  DWORD dwControlType;
  DWORD fdwControl;
  DWORD cMultipleItems; // items per channel of a MULTIPLE control, else 0
  char szShortName[MIXER_SHORT_NAME_CHARS];
  char szName[MIXER_LONG_NAME_CHARS];
  union {
    struct {
      LONG lMinimum;
      LONG lMaximum;
    };
    struct {
      DWORD dwMinimum;
      DWORD dwMaximum;
    };
    DWORD dwReserved[6];
  } Bounds;
  union {
    DWORD cSteps;
    DWORD cbCustomData;
    DWORD dwReserved[6];
  } Metrics;
};
using LPMIXERCONTROLA = MIXERCONTROLA*;

// mixerGetLineControlsA: ALL: the line's cControls controls, in the line's order; ONEBYID: the
// control dwControlID (dwLineID is set to its line); ONEBYTYPE: the line's first control of
// dwControlType. pamxctrl points at cControls records of cbmxctrl bytes (1 for the ONEBY*).
constexpr DWORD MIXER_GETLINECONTROLSF_ALL = 0x00000000u;
constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYID = 0x00000001u;
constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYTYPE = 0x00000002u;
constexpr DWORD MIXER_GETLINECONTROLSF_QUERYMASK = 0x0000000Fu;

struct MIXERLINECONTROLSA {
  DWORD cbStruct;
  DWORD dwLineID;
  union {
    DWORD dwControlID;
    DWORD dwControlType;
  };
  DWORD cControls;
  DWORD cbmxctrl;
  LPMIXERCONTROLA pamxctrl;
};
using LPMIXERLINECONTROLSA = MIXERLINECONTROLSA*;

// ---- Control details ---------------------------------------------------------------------

constexpr DWORD MIXER_GETCONTROLDETAILSF_VALUE = 0x00000000u;
constexpr DWORD MIXER_GETCONTROLDETAILSF_LISTTEXT = 0x00000001u;
constexpr DWORD MIXER_GETCONTROLDETAILSF_QUERYMASK = 0x0000000Fu;
constexpr DWORD MIXER_SETCONTROLDETAILSF_VALUE = 0x00000000u;
constexpr DWORD MIXER_SETCONTROLDETAILSF_CUSTOM = 0x00000001u;
constexpr DWORD MIXER_SETCONTROLDETAILSF_QUERYMASK = 0x0000000Fu;

struct MIXERCONTROLDETAILS {
  DWORD cbStruct;
  DWORD dwControlID;
  DWORD cChannels;
  union {
    HWND hwndOwner;
    DWORD cMultipleItems; // the control's cMultipleItems for a MULTIPLE control, else 0
  };
  DWORD cbDetails;
  LPVOID paDetails;
};
using LPMIXERCONTROLDETAILS = MIXERCONTROLDETAILS*;

struct MIXERCONTROLDETAILS_LISTTEXTA {
  DWORD dwParam1; // for a selector item: the dwLineID of the source line it routes
  DWORD dwParam2; // for a selector item: that line's dwComponentType
  char szName[MIXER_LONG_NAME_CHARS];
};
struct MIXERCONTROLDETAILS_BOOLEAN {
  LONG fValue;
};
struct MIXERCONTROLDETAILS_SIGNED {
  LONG lValue;
};
struct MIXERCONTROLDETAILS_UNSIGNED {
  DWORD dwValue;
};
using LPMIXERCONTROLDETAILS_LISTTEXTA = MIXERCONTROLDETAILS_LISTTEXTA*;
using LPMIXERCONTROLDETAILS_BOOLEAN = MIXERCONTROLDETAILS_BOOLEAN*;
using LPMIXERCONTROLDETAILS_SIGNED = MIXERCONTROLDETAILS_SIGNED*;
using LPMIXERCONTROLDETAILS_UNSIGNED = MIXERCONTROLDETAILS_UNSIGNED*;

// ---- Functions ---------------------------------------------------------------------------

// Mixer device numbers run from 0 to mixerGetNumDevs() - 1.
UINT mixerGetNumDevs();
// The mixer device number that serves a mixer object (e.g. a waveform device number with
// MIXER_OBJECTF_WAVEIN). MMSYSERR_NODRIVER, with *mixerId = 0xFFFFFFFF, when none serves it.
MMRESULT mixerGetID(HMIXEROBJ object, UINT* mixerId, DWORD flags);
MMRESULT mixerGetDevCapsA(UINT_PTR mixerId, LPMIXERCAPSA caps, UINT capsSize);
// An extension of this platform: the mixer's whole name, of which szPname of the capabilities
// holds the first 31 characters (see waveInGetDevName). Checked and answered as
// mixerGetDevCapsA is; `name` is emptied first.
MMRESULT mixerGetDevName(UINT_PTR mixerId, std::string& name);
// Opens a mixer (the object part of flags chooses what mixerId names). Only CALLBACK_NULL and
// CALLBACK_WINDOW (callback = the HWND) are offered; other callback kinds are refused.
MMRESULT mixerOpen(LPHMIXER handle, UINT mixerId, DWORD_PTR callback, DWORD_PTR instance,
                   DWORD flags);
MMRESULT mixerClose(HMIXER handle);
MMRESULT mixerGetLineInfoA(HMIXEROBJ object, LPMIXERLINEA line, DWORD flags);
MMRESULT mixerGetLineControlsA(HMIXEROBJ object, LPMIXERLINECONTROLSA controls, DWORD flags);
MMRESULT mixerGetControlDetailsA(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD flags);
// A write the mixer refuses (a sound card's driver may refuse any write) answers with its result
// code, MMSYSERR_ERROR where the cause has no code of its own, and changes nothing the driver did
// not change: reading the control back tells what it holds.
MMRESULT mixerSetControlDetails(HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD flags);
// An extension of this platform: what the library behind a mixer said of the last call that
// reached it, in its own terms ("ALSA -5: Input/output error"), to follow the result code's text
// in a report; "" when that call succeeded or failed without one. `object` and the object part of
// `flags` name the mixer as for the calls above: an open handle has a detail of its own (its
// last call), a mixer number or a waveform object gives the mixer's (its last call through any
// object).
std::string mixerGetNativeError(HMIXEROBJ object, DWORD flags);
