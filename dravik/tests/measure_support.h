#pragma once
// One measurement through Dravik's devices and analysis, without the window: the playback
// device loops the multi-tone table, the capture device hands blocks of one table length to the
// analysis, and the fits of the results are collected.

#include "dravik/audio/uWaveIn.h"
#include "dravik/audio/uWaveOut.h"
#include "dravik/measure/uLCRAnalysis.h"
#include "dravik/tests/audio_support.h"

#include <chrono>
#include <vector>

namespace audiotest {

// Plays on `outDevice`, captures on `inDevice` and returns the fits of `count` results after the
// first one (whose second of blocks may still hold the start of the sound). Both devices must
// run at `expectedRate` unless it is 0.
inline std::vector<dravik::TLCRFitResult> MeasureFits(int inDevice, int outDevice, int count,
                                                      std::chrono::milliseconds limit,
                                                      uint32_t expectedRate = 0) {
  using namespace dravik;
  TLogLines log;
  bool ok = false;
  TWaveOut out(log.Event(), ok);
  TWaveIn in(nullptr, log.Event(), ok);
  out.SelectDevice(outDevice);
  in.SelectDevice(inDevice);
  if (expectedRate) {
    EXPECT_EQ(out.SampleRate(), expectedRate);
    EXPECT_EQ(in.SampleRate(), expectedRate);
  }
  out.MultiSin(9, 1, 1024);
  in.SetBlockSize(static_cast<uint32_t>(out.BufferFrames()));
  dravik::TNoAnalysisOutput display;
  TLCRAnalysis analysis(display);
  std::vector<TLCRFitResult> fits;
  int results = 0;
  in.OnData = [&](TDataMatrix& block) {
    const platform::TDateTime before = analysis.LastResultTime();
    analysis.AnalyseBlock(block, in.SampleRate(), in.BlockSize);
    if (analysis.LastResultTime() != before && results++ > 0) fits.push_back(analysis.LastFit());
    return static_cast<int>(fits.size()) >= count;
  };
  in.Open();
  EXPECT_TRUE(PumpUntil([&] { return !in.Active && static_cast<int>(fits.size()) >= count; }, limit));
  out.Stop();
  EXPECT_TRUE(PumpUntil([&] { return !out.Active; }));
  EXPECT_EQ(log.Errors(), 0u);
  return fits;
}

} // namespace audiotest
