#include "platform/src/uWaveQueue.h"

namespace platform::wave {

void TWaveQueue::Add(WAVEHDR* header) {
  header->dwBytesRecorded = 0;
  Queue.push_back(header);
}

size_t TWaveQueue::FramesLeft(const WAVEHDR* header, size_t offset) const {
  // A program may shorten a queued buffer; never count past its current end.
  return header->dwBufferLength > offset ? (header->dwBufferLength - offset) / FrameBytes : 0;
}

// ---- Capture ----

TSpan TWaveQueue::FreeSpace(TDoneList& done) {
  while (!Queue.empty()) {
    WAVEHDR* front = Queue.front();
    const size_t room = FramesLeft(front, front->dwBytesRecorded);
    if (room) return {reinterpret_cast<uint8_t*>(front->lpData) + front->dwBytesRecorded, room};
    ReleaseFront(1, done);
  }
  return {};
}

void TWaveQueue::Recorded(size_t frames, TDoneList& done) {
  WAVEHDR* front = Queue.front();
  front->dwBytesRecorded += static_cast<DWORD>(frames * FrameBytes);
  if (FramesLeft(front, front->dwBytesRecorded) == 0) ReleaseFront(1, done);
}

void TWaveQueue::FinishPartial(TDoneList& done) {
  if (!Queue.empty() && Queue.front()->dwBytesRecorded > 0) ReleaseFront(1, done);
}

uint64_t TWaveQueue::CaptureRoom() const {
  uint64_t room = 0;
  for (const WAVEHDR* header : Queue) room += FramesLeft(header, header->dwBytesRecorded);
  return room;
}

// ---- Playback ----

TSpan TWaveQueue::NextToPlay(TDoneList& done) {
  for (;;) {
    if (Current >= Queue.size()) return {};
    WAVEHDR* header = Queue[Current];
    if (Offset == 0 && !InLoop && (header->dwFlags & WHDR_BEGINLOOP)) {
      InLoop = true;
      LoopsLeft = header->dwLoops ? header->dwLoops : 1;
    }
    const size_t frames = FramesLeft(header, Offset);
    if (frames) return {reinterpret_cast<uint8_t*>(header->lpData) + Offset, frames};
    // Nothing playable in it: finish it and end any loop, so a loop of empty buffers can
    // never spin.
    if (InLoop) {
      ReleaseFront(Current + 1, done);
    } else {
      ReleaseFront(1, done);
    }
  }
}

void TWaveQueue::Played(size_t frames, TDoneList& done) {
  Offset += frames * FrameBytes;
  if (FramesLeft(Queue[Current], Offset) == 0) FinishCurrent(done);
}

void TWaveQueue::FinishCurrent(TDoneList& done) {
  const WAVEHDR* header = Queue[Current];
  Offset = 0;
  if (!InLoop) {
    ReleaseFront(1, done);
    return;
  }
  if (!(header->dwFlags & WHDR_ENDLOOP)) {
    ++Current;
    return;
  }
  if (LoopsLeft == EndlessLoops || LoopsLeft > 1) {
    if (LoopsLeft != EndlessLoops) --LoopsLeft;
    Current = 0;
    return;
  }
  ReleaseFront(Current + 1, done);
}

uint64_t TWaveQueue::PlayableFrames() const {
  // Walks the queue as playback will: the current pass, then the further passes of a loop.
  bool inLoop = InLoop;
  DWORD loops = LoopsLeft;
  size_t loopStart = 0;
  uint64_t frames = 0;
  for (size_t i = Current; i < Queue.size(); ++i) {
    const WAVEHDR* header = Queue[i];
    const bool fresh = i != Current || Offset == 0;
    if (!inLoop && fresh && (header->dwFlags & WHDR_BEGINLOOP)) {
      inLoop = true;
      loops = header->dwLoops ? header->dwLoops : 1;
      loopStart = i;
    }
    frames += FramesLeft(header, i == Current ? Offset : 0);
    if (!inLoop || !(header->dwFlags & WHDR_ENDLOOP)) continue;
    if (loops == EndlessLoops) return UnboundedFrames;
    uint64_t pass = 0;
    for (size_t j = loopStart; j <= i; ++j) pass += FramesLeft(Queue[j], 0);
    frames += pass * (loops - 1);
    inLoop = false;
  }
  return frames;
}

void TWaveQueue::TakeAll(TDoneList& done) { ReleaseFront(Queue.size(), done); }

void TWaveQueue::ReleaseFront(size_t count, TDoneList& done) {
  for (size_t i = 0; i < count; ++i) {
    done.push_back(Queue.front());
    Queue.pop_front();
  }
  Current = 0;
  Offset = 0;
  InLoop = false;
  LoopsLeft = 0;
}

} // namespace platform::wave
