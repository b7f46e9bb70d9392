#pragma once
// How long each call into PortAudio may take before the device counts as one that no longer
// answers. A sound server that is stopped (not gone) keeps its sockets open, so the library
// waits for it without a limit; every such call is made with one of these deadlines
// (platform::RunWithin). A call that overruns is abandoned and the device treated as vanished:
// the open stream returns its buffers, later calls answer MMSYSERR_NODRIVER, and the device
// refuses opens until the abandoned call has come back. While any call has not come back, the
// others are not waited for at all: they would only queue behind it for the library's lock, and
// a window that closes two devices would wait twice. Where the server answers, each of these
// calls takes milliseconds, so a slow machine is far from any limit.

#include <chrono>

namespace platform::portaudio {

using namespace std::chrono_literals;

// Abort and close of a stream. Below the 2 s that a program's window may wait for its devices
// as it closes, so a close under a stopped server still ends within that wait; far above the
// milliseconds a close takes where the server answers.
constexpr std::chrono::milliseconds CloseLimit = 1500ms;
// Open and start of a stream, and the library's format check (an open of the device too): the
// user waits for Start or the device list no longer than for a close, with room for a server
// that starts its sink on the first open.
constexpr std::chrono::milliseconds OpenLimit = 2000ms;
// The watchdog's question whether a stream still runs (no server round trip): it waits only
// for the library's lock. Longer than any open or close may hold that lock while its server
// answers, so only a call that is stuck itself makes the watchdog give up; the watchdog is no
// window's thread, so the longer wait freezes nothing.
constexpr std::chrono::milliseconds WatchLimit = OpenLimit + 1000ms;
// Starting the library (it lists every card and asks the sound server), once per program: a
// stopped server at start-up leaves the program with the virtual boxes alone.
constexpr std::chrono::milliseconds StartLimit = 5000ms;

} // namespace platform::portaudio
