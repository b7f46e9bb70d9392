// A real device whose sound server goes away while it records and plays: every queued buffer
// comes back, later calls answer with an error, closing still works, and nothing hangs. The
// test ends the server, so it runs only in a loopback session of its own (LOOPBACK_MAY_END=1).

#include "platform/tests/real_support.h"

#include <chrono>
#include <thread>

namespace {

using namespace realtest;

TEST(RealVanish, AServerThatGoesAwayReturnsEveryBufferAndAnswersWithErrors) {
  SKIP_WITHOUT_LOOPBACK();
  if (!std::getenv("LOOPBACK_MAY_END")) GTEST_SKIP() << "needs a sound server it may end";
  const int in = FindInput("pulse"), out = FindOutput("pulse");
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  const WAVEFORMATEX format = Pcm16(48000);
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HWAVEIN hin = nullptr;
  HWAVEOUT hout = nullptr;
  ASSERT_EQ(waveInOpen(&hin, in, &format, reinterpret_cast<DWORD_PTR>(event), 0, CALLBACK_EVENT),
            MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutOpen(&hout, out, &format, reinterpret_cast<DWORD_PTR>(event), 0,
                        CALLBACK_EVENT),
            MMSYSERR_NOERROR);
  // More than a minute of buffers each way: none can come back by being used up in time.
  std::vector<std::vector<char>> data(2, std::vector<char>(48000 * 4 * 40));
  WAVEHDR headers[2][2] = {};
  for (int d = 0; d < 2; ++d) {
    for (auto& header : headers[d]) {
      header.lpData = data[static_cast<size_t>(d)].data();
      header.dwBufferLength = static_cast<DWORD>(data[static_cast<size_t>(d)].size() / 2);
    }
  }
  for (auto& h : headers[0]) {
    waveInPrepareHeader(hin, &h, sizeof h);
    waveInAddBuffer(hin, &h, sizeof h);
  }
  for (auto& h : headers[1]) {
    waveOutPrepareHeader(hout, &h, sizeof h);
    waveOutWrite(hout, &h, sizeof h);
  }
  waveInStart(hin);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(Shell("pactl exit"));

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  auto allBack = [&] {
    for (auto& row : headers) {
      for (auto& h : row) {
        if (Flags(h) & WHDR_INQUEUE) return false;
      }
    }
    return true;
  };
  while (!allBack() && std::chrono::steady_clock::now() < deadline) {
    WaitForSingleObject(event, 200);
  }
  EXPECT_TRUE(allBack()) << "queued buffers still held after the server went away";
  // Each handle keeps what the library said of its end.
  EXPECT_EQ(waveInGetNativeError(hin).rfind("PortAudio", 0), 0u) << waveInGetNativeError(hin);
  EXPECT_EQ(waveOutGetNativeError(hout).rfind("PortAudio", 0), 0u) << waveOutGetNativeError(hout);
  MMTIME time{TIME_SAMPLES, {}};
  EXPECT_EQ(waveInGetPosition(hin, &time, sizeof time), MMSYSERR_NODRIVER);
  EXPECT_EQ(waveOutWrite(hout, &headers[1][0], sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
  for (auto& h : headers[0]) EXPECT_EQ(waveInUnprepareHeader(hin, &h, sizeof h), MMSYSERR_NOERROR);
  for (auto& h : headers[1]) EXPECT_EQ(waveOutUnprepareHeader(hout, &h, sizeof h), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(hin), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(hout), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInGetNativeError(hin), "") << "a closed handle keeps nothing";
  // An open of the gone server's device fails with the library's own code and text.
  HWAVEIN again = nullptr;
  const MMRESULT reopened = waveInOpen(&again, in, &format, 0, 0, CALLBACK_NULL);
  const std::string detail = waveInGetNativeError(reinterpret_cast<HWAVEIN>(UINT_PTR(in)));
  std::printf("open after the end: result %u, %s\n", reopened, detail.c_str());
  if (reopened == MMSYSERR_NOERROR) {
    waveInClose(again);
  } else {
    EXPECT_EQ(detail.rfind("PortAudio -", 0), 0u) << detail;
  }
  CloseHandle(event);
}

} // namespace
