#include "dravik/mixer/uMixerLog.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace dravik {
namespace {

using TTag = std::pair<uint32_t, const char*>;

constexpr TTag TargetTags[] = {
    {0, "[UNDEFINED]"}, {1, "[WAVEOUT]"}, {2, "[WAVEIN]"},
    {3, "[MIDIOUT]"},   {4, "[MIDIIN]"},  {5, "[AUX]"},
};

constexpr TTag ComponentTags[] = {
    {0x0000, "<DST_UNDEFINED>"},   {0x0001, "<DST_DIGITAL>"},     {0x0002, "<DST_LINE>"},
    {0x0003, "<DST_MONITOR>"},     {0x0004, "<DST_SPEAKERS>"},    {0x0005, "<DST_HEADPHONES>"},
    {0x0006, "<DST_TELEPHONE>"},   {0x0007, "<DST_WAVEIN>"},      {0x0008, "<DST_VOICEIN>"},
    {0x1000, "<SRC_UNDEFINED>"},   {0x1001, "<SRC_DIGITAL>"},     {0x1002, "<SRC_LINE>"},
    {0x1003, "<SRC_MICROPHONE>"},  {0x1004, "<SRC_SYNTHESIZER>"}, {0x1005, "<SRC_COMPACTDISC>"},
    {0x1006, "<SRC_TELEPHONE>"},   {0x1007, "<SRC_PCSPEAKER>"},   {0x1008, "<SRC_WAVEOUT>"},
    {0x1009, "<SRC_AUXILIARY>"},   {0x100A, "<SRC_ANALOG>"},
};

constexpr TTag ControlTags[] = {
    {0x00000000, "<CUSTOM>"},        {0x10010000, "<BOOLEANMETER>"},
    {0x10020000, "<SIGNEDMETER>"},   {0x10020001, "<PEAKMETER>"},
    {0x10030000, "<UNSIGNEDMETER>"}, {0x20010000, "<BOOLEAN>"},
    {0x20010001, "<ONOFF>"},         {0x20010002, "<MUTE>"},
    {0x20010003, "<MONO>"},          {0x20010004, "<LOUDNESS>"},
    {0x20010005, "<STEREOENH>"},     {0x21010000, "<BUTTON>"},
    {0x30020000, "<SIGNED>"},        {0x30030000, "<UNSIGNED>"},
    {0x30040000, "<DECIBELS>"},      {0x30050000, "<PERCENT>"},
    {0x40020000, "<SLIDER>"},        {0x40020001, "<PAN>"},
    {0x40020002, "<QSOUNDPAN>"},     {0x50030000, "<FADER>"},
    {0x50030001, "<VOLUME>"},        {0x50030002, "<BASS>"},
    {0x50030003, "<TREBLE>"},        {0x50030004, "<EQUALIZER>"},
    {0x60030000, "<MICROTIME>"},     {0x61030000, "<MILLITIME>"},
    {0x70010000, "<SINGLESELECT>"},  {0x70010001, "<MUX>"},
    {0x71010000, "<MULTIPLESELECT>"}, {0x71010001, "<MIXER>"},
};

// The tag of a value, or nothing for a value the table does not know.
template <size_t N>
std::string TagOf(const TTag (&table)[N], uint32_t value) {
  for (const auto& [key, tag] : table) {
    if (key == value) return tag;
  }
  return {};
}

// A fixed-size name field up to its first NUL; a field filled to the end is taken whole.
template <size_t N>
std::string NameOf(const char (&field)[N]) {
  constexpr size_t limit = N < 64 ? N : 64;
  return std::string(field, strnlen(field, limit));
}

} // namespace

std::string LineText(const MIXERLINEA& Line) {
  return "\"" + NameOf(Line.szName) + "\": " + TagOf(TargetTags, Line.Target.dwType) + " " +
         TagOf(ComponentTags, Line.dwComponentType) + " Ch= " + std::to_string(Line.cChannels) +
         " Ctrls= " + std::to_string(Line.cControls);
}

std::string ControlText(const MIXERCONTROLA& Control) {
  std::string flags;
  if (Control.fdwControl & MIXERCONTROL_CONTROLF_DISABLED) flags += " DISABLED ";
  if (Control.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) flags += " MULTIPLE ";
  if (Control.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM) flags += " UNIFORM ";
  return "\"" + NameOf(Control.szName) + "\" " + TagOf(ControlTags, Control.dwControlType) +
         " |" + flags + "| Multi= " + std::to_string(Control.cMultipleItems) +
         " ID= " + std::to_string(Control.dwControlID);
}

} // namespace dravik
