#pragma once
// The buffers queued on one device and the driver's rules for them: capture buffers are filled
// front to back and finish when full; playback buffers are played in queue order, and a loop
// (WHDR_BEGINLOOP on its first header, WHDR_ENDLOOP on its last, dwLoops plays taken from the
// first, 0xFFFFFFFF without end) keeps its headers until its last pass ends. When playback
// reaches the end of the queue inside a loop, the loop stays open and waits (in silence) for its
// last header to be queued; a reset returns its headers.
//
// The queue never touches dwFlags: its owner marks headers queued and done and sends the
// notices. It is not thread-safe; its owner serialises every call.

#include "platform/mmsystem.h"

#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

namespace platform::wave {

// Headers that an operation finished, in the order they must come back.
using TDoneList = std::vector<WAVEHDR*>;

// A run of whole frames inside a queued buffer.
struct TSpan {
  uint8_t* Data = nullptr;
  size_t Frames = 0;
};

constexpr uint64_t UnboundedFrames = std::numeric_limits<uint64_t>::max();

class TWaveQueue {
public:
  explicit TWaveQueue(size_t frameBytes) : FrameBytes(frameBytes) {}

  void Add(WAVEHDR* header);
  size_t Count() const { return Queue.size(); }
  bool Empty() const { return Queue.empty(); }

  // Capture: where the next frames go (full buffers at the front are finished first), and how
  // many frames were written there.
  TSpan FreeSpace(TDoneList& done);
  void Recorded(size_t frames, TDoneList& done);
  // Finishes the front buffer if it holds any data (recording stopped).
  void FinishPartial(TDoneList& done);
  // Frames that the queued capture buffers can still take.
  uint64_t CaptureRoom() const;

  // Playback: the frames to play next (empty when nothing is queued), and how many were played.
  TSpan NextToPlay(TDoneList& done);
  void Played(size_t frames, TDoneList& done);
  // Frames left to play before the queue runs dry; UnboundedFrames inside an endless loop.
  uint64_t PlayableFrames() const;

  // Every queued header, in order (reset).
  void TakeAll(TDoneList& done);

private:
  static constexpr DWORD EndlessLoops = 0xFFFFFFFFu;

  size_t FramesLeft(const WAVEHDR* header, size_t offset) const;
  void FinishCurrent(TDoneList& done);
  void ReleaseFront(size_t count, TDoneList& done);

  size_t FrameBytes;
  std::deque<WAVEHDR*> Queue;
  // Playback position: header index Current (above 0 only inside a loop) and byte Offset.
  size_t Current = 0;
  size_t Offset = 0;
  bool InLoop = false;
  DWORD LoopsLeft = 0;
};

} // namespace platform::wave
