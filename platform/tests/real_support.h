#pragma once
// Shared by the tests of the real sound-card back ends. They run only on the private sound
// server of scripts/loopback.sh (which names its sink in LOOPBACK_SINK): what its default
// output plays comes back on its default input. Elsewhere, and in the ordinary suite
// (VMBOX_ONLY=1), they skip.

#include "platform/kernel.h"
#include "platform/mmsystem.h"
#include "platform/src/uPcm.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace realtest {

// The loopback sink's name, or empty when the tests are not on the loopback server.
inline std::string LoopbackSink() {
  const char* only = std::getenv("VMBOX_ONLY");
  const char* sink = std::getenv("LOOPBACK_SINK");
  if ((only && std::strcmp(only, "1") == 0) || !sink) return {};
  return sink;
}

#define SKIP_WITHOUT_LOOPBACK()                                                                   \
  if (realtest::LoopbackSink().empty()) GTEST_SKIP() << "no loopback sound server"

// Runs a shell command; true when it succeeded.
inline bool Shell(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The number of the first device of a direction whose name is `name`; -1 when there is none.
inline int FindInput(const char* name) {
  for (UINT i = 0; i < waveInGetNumDevs(); ++i) {
    WAVEINCAPSA caps{};
    if (waveInGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR &&
        std::strcmp(caps.szPname, name) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

inline int FindOutput(const char* name) {
  for (UINT i = 0; i < waveOutGetNumDevs(); ++i) {
    WAVEOUTCAPSA caps{};
    if (waveOutGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR &&
        std::strcmp(caps.szPname, name) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

inline WAVEFORMATEX Pcm16(DWORD rate) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 2;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = 16;
  f.nBlockAlign = 4;
  f.nAvgBytesPerSec = rate * 4;
  return f;
}

// The loopback server stopped (SIGSTOP: not gone, but answering nothing) for the object's life;
// it resumes at the end in every case, so the session ends cleanly. Only in a loopback session
// that allows it (LOOPBACK_MAY_STOP=1, the server's process in LOOPBACK_DAEMON_PID).
class TStoppedServer {
public:
  static pid_t Pid() {
    const char* may = std::getenv("LOOPBACK_MAY_STOP");
    const char* pid = std::getenv("LOOPBACK_DAEMON_PID");
    if (!may || std::strcmp(may, "1") != 0 || !pid) return 0;
    return static_cast<pid_t>(std::atol(pid));
  }
  TStoppedServer() : Server(Pid()) {
    if (Server > 0) Stopped = ::kill(Server, SIGSTOP) == 0;
  }
  ~TStoppedServer() { Resume(); }
  TStoppedServer(const TStoppedServer&) = delete;
  TStoppedServer& operator=(const TStoppedServer&) = delete;
  bool Stopped = false;
  void Resume() {
    if (Stopped) ::kill(Server, SIGCONT);
    Stopped = false;
  }

private:
  const pid_t Server;
};

// After the server has resumed: true once input `in` opens again (the calls given up on while it
// was stopped have come back) within `limit`.
inline bool InputOpensAgain(int in, std::chrono::milliseconds limit) {
  const WAVEFORMATEX format = Pcm16(48000);
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    HWAVEIN handle = nullptr;
    if (waveInOpen(&handle, static_cast<UINT>(in), &format, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR) {
      return waveInClose(handle) == MMSYSERR_NOERROR;
    }
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

#define SKIP_WITHOUT_STOPPABLE_SERVER()                                                          \
  SKIP_WITHOUT_LOOPBACK();                                                                        \
  if (realtest::TStoppedServer::Pid() <= 0) GTEST_SKIP() << "needs a sound server it may stop"

inline DWORD Flags(WAVEHDR& header) {
  return std::atomic_ref<DWORD>(header.dwFlags).load(std::memory_order_acquire);
}

// The complex amplitude of a tone of `period` frames in one channel of whole periods.
inline std::complex<double> ToneAmplitude(const std::vector<double>& stereo, size_t first,
                                          size_t frames, int channel, size_t period) {
  std::complex<double> sum;
  for (size_t i = 0; i < frames; ++i) {
    const double phase = 2 * std::numbers::pi * static_cast<double>(i % period) / period;
    sum += stereo[2 * (first + i) + channel] * std::polar(1.0, -phase);
  }
  return 2.0 * sum / static_cast<double>(frames);
}

} // namespace realtest
