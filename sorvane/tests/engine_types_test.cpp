// The frequency-to-bin mapping, the size of the device buffers and the block copy.

#include "sorvane/engine/uWaveControl.h"

#include <gtest/gtest.h>

#include <cmath>

namespace sorvane {
namespace {

TEST(FrequencyToBin, RoundsHalfToEvenAndStaysInsideTheUsableBins) {
  struct TCase {
    int n;
    double f, fs;
    int bin;
  };
  for (const TCase& c : {TCase{2048, 20, 48000, 1}, {2048, 0, 48000, 1}, {2048, 440, 48000, 19},
                         {2048, 22000, 48000, 939}, {2048, 30000, 48000, 1023},
                         {2048, 2.5 * 48000 / 2048, 48000, 2}, {2048, 3.5 * 48000 / 2048, 48000, 4},
                         {4096, 440, 96000, 19}, {2048, std::nan(""), 48000, 1}, {2048, 440, 0, 1}}) {
    EXPECT_EQ(FrequencyToBin(c.n, c.f, c.fs), c.bin) << c.n << " " << c.f << " " << c.fs;
  }
}

TEST(WaveControl, BuffersHoldAboutATenthOfASecondInWholePages) {
  struct TCase {
    DWORD rate, page, bytes;
  };
  for (const TCase& c : {TCase{48000, 4096, 16384}, {96000, 4096, 36864}, {192000, 4096, 73728},
                         {8000, 4096, 4096}, {48000, 65536, 65536}}) {
    EXPECT_EQ(TWaveControl::BufferBytes(c.rate, 4, c.page), c.bytes) << c.rate << " " << c.page;
  }
}

TEST(WaveBlocks, CopyWaveNeverWritesPastTheDestination) {
  TWaveData dest{TChannelData(3, 9), TChannelData(5, 9)};
  CopyWave(TWaveData{TChannelData{1, 2, 3, 4}, TChannelData{5, 6}}, dest);
  EXPECT_EQ(dest[0], (TChannelData{1, 2, 3}));
  EXPECT_EQ(dest[1], (TChannelData{5, 6, 9, 9, 9}));
}

} // namespace
} // namespace sorvane
