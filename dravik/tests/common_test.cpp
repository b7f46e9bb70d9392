#include "dravik/audio/uCommon.h"
#include "dravik/audio/uPcmCodes.h"

#include <gtest/gtest.h>

#include <vector>

namespace dravik {
namespace {

class TNamedControl : public TMMWinControl {
public:
  using TMMWinControl::TMMWinControl;

protected:
  void HandleMessage(UINT, WPARAM, LPARAM) override {}
};

TEST(MMWinControl, LinesCarryTheNameAndTheErrorFlag) {
  std::vector<std::pair<std::string, bool>> lines;
  TNamedControl control([&](const std::string& msg, bool info) { lines.emplace_back(msg, info); });
  control.LogInfo("Creating ...");
  control.Name = "WaveIn";
  control.LogError("Open: bad");
  control.LogInfo("Stop.");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], std::make_pair(std::string(": Creating ..."), true));
  EXPECT_EQ(lines[1], std::make_pair(std::string("WaveIn: Open: bad"), false));
  EXPECT_EQ(lines[2], std::make_pair(std::string("WaveIn: Stop."), true));

  TNamedControl silent(nullptr);
  silent.LogError("nothing happens"); // no callback: no crash, no line
}

TEST(PcmFormat, FormatFromCapsFollowsTheMaskGroups) {
  struct Case { DWORD mask; DWORD rate; WORD bits; WORD channels; };
  const Case cases[] = {
      {0x0, 11025, 8, 1},    {0x1, 11025, 8, 1},   {0x2, 11025, 8, 2},  {0x3, 11025, 8, 2},
      {0x4, 11025, 16, 1},   {0x8, 11025, 16, 2},  {0x10, 22050, 8, 1}, {0x80, 22050, 16, 2},
      {0xFFF, 44100, 16, 2}, {0x400, 44100, 16, 1}, {0xFFFFF, 44100, 16, 2},
  };
  for (const auto& c : cases) {
    WAVEFORMATEX f{};
    FormatFromCaps(c.mask, f);
    EXPECT_EQ(f.nSamplesPerSec, c.rate) << std::hex << c.mask;
    EXPECT_EQ(f.wBitsPerSample, c.bits) << std::hex << c.mask;
    EXPECT_EQ(f.nChannels, c.channels) << std::hex << c.mask;
  }
}

TEST(PcmFormat, CompleteFormatDerivesAlignmentAndRate) {
  WAVEFORMATEX f{};
  f.nChannels = 2;
  f.wBitsPerSample = 16;
  f.nSamplesPerSec = 44100;
  ASSERT_TRUE(CompleteFormat(f));
  EXPECT_EQ(f.nBlockAlign, 4);
  EXPECT_EQ(f.nAvgBytesPerSec, 4u * 44100);
  EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(f.cbSize, 0);
  EXPECT_EQ(FormatDescription(f), "Channels=2, Sampling=44100, Bits=16");

  f.nChannels = 0xFFFF; // alignment beyond 16 bits
  EXPECT_FALSE(CompleteFormat(f));
}

TEST(PcmCodes, ValuesAndCodesConvertBothWays) {
  struct Case { long double v; bool ok8; int code8; bool ok16; int code16; };
  const Case cases[] = {
      {0.0L, true, 128, true, 0},        {1.0L, true, 255, false, 0},
      {-1.0L, true, 0, true, -32768},    {0.45L, true, 185, true, 14745},
      {1.01L, false, 0, false, 0},       {-1.01L, false, 0, false, 0},
  };
  for (const auto& c : cases) {
    uint8_t b = 0;
    int16_t w = 0;
    EXPECT_EQ(ValueToPcm8(c.v, b), c.ok8) << static_cast<double>(c.v);
    if (c.ok8) {
      EXPECT_EQ(b, c.code8);
    }
    EXPECT_EQ(ValueToPcm16(c.v, w), c.ok16) << static_cast<double>(c.v);
    if (c.ok16) {
      EXPECT_EQ(w, c.code16);
    }
  }
  EXPECT_NEAR(static_cast<double>(Pcm8ToValue(128)), 0.00392, 1e-5);
  EXPECT_EQ(Pcm8ToValue(0), -1.0L);
  EXPECT_EQ(Pcm8ToValue(255), 1.0L);
  EXPECT_GT(Pcm16ToValue(32767), 0.99L);

  const uint8_t le[2] = {0x01, 0x80}; // -32767 little-endian
  EXPECT_EQ(ReadPcm16(le), Pcm16ToValue(-32767));
  uint8_t out[2] = {};
  ASSERT_TRUE(WritePcm16(Pcm16ToValue(-32767), out));
  EXPECT_EQ(out[0], 0x01);
  EXPECT_EQ(out[1], 0x80);
  EXPECT_EQ(InputReader(8), &ReadPcm8);
  EXPECT_EQ(InputReader(24), &ReadPcm16);
  EXPECT_EQ(OutputWriter(16), &WritePcm16);
  EXPECT_EQ(OutputWriter(24), &WritePcm8);
}

} // namespace
} // namespace dravik
