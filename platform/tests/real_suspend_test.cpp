// A real device whose sound server is stopped (SIGSTOP: not gone, it just answers nothing) while
// it records and plays: the library would wait for it for ever. Every call returns within its
// limit, the devices count as vanished, and once the server resumes the device opens again.
// The test stops the server, so it runs only in a loopback session that allows it
// (LOOPBACK_MAY_STOP=1); it resumes the server in every case.

#include "platform/cards/uPaLimits.h"
#include "platform/tests/real_support.h"

#include <chrono>
#include <functional>
#include <thread>

namespace {

using namespace realtest;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace limits = platform::portaudio;

// A loaded machine's delay on top of a limit.
constexpr auto Slack = 1000ms;

struct TTimedCall {
  const char* Name;
  std::function<MMRESULT()> Call;
  MMRESULT Expected;
  std::chrono::milliseconds Limit;
};

void RunTimed(const std::vector<TTimedCall>& calls) {
  for (const auto& c : calls) {
    const auto start = Clock::now();
    const MMRESULT result = c.Call();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    std::printf("%s under a stopped server: result %u in %lld ms\n", c.Name, result,
                static_cast<long long>(took.count()));
    EXPECT_EQ(result, c.Expected) << c.Name;
    EXPECT_LT(took, c.Limit + Slack) << c.Name << " waited past its limit";
  }
}

// Two buffers of a second each way, queued and running.
struct TRunningPair {
  HANDLE Event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HWAVEIN In = nullptr;
  HWAVEOUT Out = nullptr;
  std::vector<char> Data = std::vector<char>(48000 * 4 * 4);
  WAVEHDR Headers[2][2] = {};

  MMRESULT Open(int in, int out) {
    const WAVEFORMATEX format = Pcm16(48000);
    const auto callback = reinterpret_cast<DWORD_PTR>(Event);
    if (const MMRESULT r = waveInOpen(&In, in, &format, callback, 0, CALLBACK_EVENT)) return r;
    if (const MMRESULT r = waveOutOpen(&Out, out, &format, callback, 0, CALLBACK_EVENT)) return r;
    for (int d = 0; d < 2; ++d) {
      for (int b = 0; b < 2; ++b) {
        WAVEHDR& h = Headers[d][b];
        h.lpData = Data.data() + (2 * d + b) * Data.size() / 4;
        h.dwBufferLength = static_cast<DWORD>(Data.size() / 4);
        if (d == 0) {
          waveInPrepareHeader(In, &h, sizeof h);
          waveInAddBuffer(In, &h, sizeof h);
        } else {
          waveOutPrepareHeader(Out, &h, sizeof h);
          waveOutWrite(Out, &h, sizeof h);
        }
      }
    }
    return waveInStart(In);
  }
  bool Back(int direction) {
    for (auto& h : Headers[direction]) {
      if (Flags(h) & WHDR_INQUEUE) return false;
    }
    return true;
  }
  MMRESULT UnprepareIn() {
    MMRESULT r = MMSYSERR_NOERROR;
    for (auto& h : Headers[0]) r = std::max(r, waveInUnprepareHeader(In, &h, sizeof h));
    return r;
  }
  MMRESULT UnprepareOut() {
    MMRESULT r = MMSYSERR_NOERROR;
    for (auto& h : Headers[1]) r = std::max(r, waveOutUnprepareHeader(Out, &h, sizeof h));
    return r;
  }
  ~TRunningPair() { CloseHandle(Event); }
};

TEST(RealSuspend, EveryCallOnAStoppedServerReturnsWithinItsLimitAsOnAVanishedDevice) {
  SKIP_WITHOUT_STOPPABLE_SERVER();
  const int in = FindInput("pulse"), out = FindOutput("pulse");
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  TRunningPair pair;
  ASSERT_EQ(pair.Open(in, out), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(500ms);
  TStoppedServer server;
  ASSERT_TRUE(server.Stopped);

  // Stop and close the input at once, as a window's Stop does: the reset never asks the device,
  // the close gives up on it.
  RunTimed({
      {"waveInReset", [&] { return waveInReset(pair.In); }, MMSYSERR_NOERROR, 0ms},
      {"waveInUnprepareHeader", [&] { return pair.UnprepareIn(); }, MMSYSERR_NOERROR, 0ms},
      {"waveInClose", [&] { return waveInClose(pair.In); }, MMSYSERR_NOERROR, limits::CloseLimit},
  });
  EXPECT_TRUE(pair.Back(0));

  // The output is left running: the watchdog, which the input's stuck close must not block,
  // finds that the device no longer serves it, and it vanishes.
  const auto vanishLimit = std::chrono::seconds(5) + limits::WatchLimit + Slack;
  const auto start = Clock::now();
  while (!pair.Back(1) && Clock::now() - start < vanishLimit) WaitForSingleObject(pair.Event, 100);
  std::printf("output vanished after %lld ms: %s\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         Clock::now() - start).count()),
              waveOutGetNativeError(pair.Out).c_str());
  ASSERT_TRUE(pair.Back(1)) << "the output's buffers still held under a stopped server";
  EXPECT_EQ(waveOutGetNativeError(pair.Out).rfind("PortAudio", 0), 0u);

  HWAVEIN again = nullptr;
  const WAVEFORMATEX format = Pcm16(48000);
  RunTimed({
      {"waveOutReset", [&] { return waveOutReset(pair.Out); }, MMSYSERR_NODRIVER, 0ms},
      {"waveOutUnprepareHeader", [&] { return pair.UnprepareOut(); }, MMSYSERR_NOERROR, 0ms},
      {"waveOutClose", [&] { return waveOutClose(pair.Out); }, MMSYSERR_NOERROR, limits::CloseLimit},
      {"waveInOpen", [&] { return waveInOpen(&again, in, &format, 0, 0, CALLBACK_NULL); },
       MMSYSERR_NODRIVER, limits::OpenLimit},
  });
  const std::string detail = waveInGetNativeError(reinterpret_cast<HWAVEIN>(UINT_PTR(in)));
  EXPECT_EQ(detail.rfind("PortAudio", 0), 0u) << detail;

  // Once the server answers again, the abandoned calls come back and the device opens.
  server.Resume();
  EXPECT_TRUE(InputOpensAgain(in, 15s)) << "the device never came back after the server resumed";
}

} // namespace
