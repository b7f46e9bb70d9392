#pragma once
// Shared by the signal-chain tests: the lines a chain reports itself (as opposed to the lines of
// its parts), where a line stands in the log, and the mixer controls the chains move on a box.

#include "dravik/tests/audio_support.h"
#include "platform/mixer.h"
#include "platform/vmbox.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace signaltest {

using TLine = std::pair<std::string, bool>;

// The lines of the log that are one of `texts`, in log order.
inline std::vector<TLine> OwnLines(const audiotest::TLogLines& log,
                                   const std::set<std::string>& texts) {
  std::vector<TLine> own;
  for (const auto& line : log.Lines) {
    if (texts.count(line.first)) own.push_back(line);
  }
  return own;
}

inline std::vector<TLine> InfoLines(const std::vector<std::string>& texts) {
  std::vector<TLine> lines;
  for (const auto& text : texts) lines.emplace_back(text, true);
  return lines;
}

// Index of the first line that starts with `prefix` (from `from` on); the line count if none.
inline size_t FirstLine(const audiotest::TLogLines& log, const std::string& prefix,
                        size_t from = 0) {
  for (size_t i = from; i < log.Lines.size(); ++i) {
    if (log.Lines[i].first.rfind(prefix, 0) == 0) return i;
  }
  return log.Lines.size();
}

// The volume of the source line a chain's mixer routes on the box: the recording line in, or
// the wave output on the speakers.
inline DWORD LineVolumeId(size_t box) {
  return platform::vmbox::MixerControlId(box, MIXERLINE_COMPONENTTYPE_DST_WAVEIN,
                                         MIXERLINE_COMPONENTTYPE_SRC_LINE,
                                         MIXERCONTROL_CONTROLTYPE_VOLUME);
}
inline DWORD WaveVolumeId(size_t box) {
  return platform::vmbox::MixerControlId(box, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                                         MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
                                         MIXERCONTROL_CONTROLTYPE_VOLUME);
}

} // namespace signaltest
