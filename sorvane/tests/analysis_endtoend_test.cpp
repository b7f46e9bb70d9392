// The measuring core end to end on the virtual card in fast mode: level check and calibration
// on the shorted box of a card whose inputs differ in gain and AC coupling, then measurements on
// its component boxes, compared with each box's true circuit.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "sorvane/tests/analysis_support.h"

namespace sorvane {
namespace {

using namespace analysistest;

std::vector<vmbox::TBoxConfig> Boxes() {
  vmbox::TCardModel card; // the default card: gains 1 / 0.985, AC coupling 3.2 / 3.6 Hz, noise
  if (getenv("HP0")) card.HighPassHz[0] = atof(getenv("HP0"));
  if (getenv("HP1")) card.HighPassHz[1] = atof(getenv("HP1"));
  if (getenv("AA1")) card.AntiAliasEdge[1] = atof(getenv("AA1"));
  std::vector<vmbox::TBoxConfig> boxes(4);
  const vmbox::TCircuit circuits[] = {{3.3, 1e-3, 0, 10, false}, {0.2, 0, 10e-6, 10, false},
                                      {47, 0, 0, 10, false}, {0, 0, 0, 10, true}};
  for (size_t i = 0; i < boxes.size(); ++i) {
    boxes[i].Circuit = circuits[i];
    boxes[i].Card = card;
    boxes[i].Name = vmbox::BoxName(circuits[i]);
  }
  return boxes;
}

TEST(Explore, Figures) {
  vmbox::Reinitialise(Boxes(), vmbox::TSpeed::Fast);
  const auto boxes = Boxes();
  TMeter meter;
  meter.UseBox(3);
  meter.StartLevelCheck();
  ASSERT_TRUE(meter.Start());
  ASSERT_TRUE(WaitUntil([&] { return meter.Blocks.size() >= 4; }));
  for (auto& s : meter.Statuses) printf("status: %s\n", s.c_str());
  for (auto& b : meter.Blocks) { double o=0; for (int k=1;k<1023;++k) if(k!=19) o+=std::norm(Bin(b[0],k)); printf("blk bin19 %g %g other %g len %zu\n", b[0][38], b[0][39], o, b[0].size()); }
  printf("saturation %g %g\n", meter.In.Saturation[0], meter.In.Saturation[1]);
  meter.ContinueToCalibration();
  meter.LastChangeBlock = meter.Blocks.size();
  ASSERT_TRUE(meter.RunSettled(6));
  meter.Stop();
  printf("level %g changes %d last status %s\n", meter.Level, meter.LevelChanges, meter.Statuses.back().c_str());
  const TCalibrationPolys calibrated = meter.In.Poly;
  {
    vmbox::TCardModel card = Boxes()[0].Card;
    auto hp = [&](int c, double f) { const double k = std::tan(M_PI * card.HighPassHz[c] / 48000); const double G = 1/(1+k), A = (1-k)/(1+k);
      const Complex z = std::polar(1.0, -2*M_PI*f/48000); return card.HighPassHz[c] > 0 ? G*(1.0 - z)/(1.0 - A*z) : Complex(1); };
    double wf = 0, wm = 0, sm = 0; int kf = 0;
    const TWaveData& cb = meter.Blocks.back();
    for (int k = 1; k <= 939; ++k) { const double f = k * 48000.0/2048; const Complex r = std::conj(card.Gain[0]/card.Gain[1]*hp(0,f)/hp(1,f));
      const double ef = std::abs(Complex(meter.In.Calibration[k].Re, meter.In.Calibration[k].Im) - r)/std::abs(r);
      const double em = std::abs(Bin(cb[0], k) - r)/std::abs(r);
      if (ef > wf) wf = ef, kf = k; wm = std::max(wm, em); sm += em*em; }
    printf("calibration fit vs truth worst %.2e at %d; measured ratio vs truth worst %.2e rms %.2e\n", wf, kf, wm, std::sqrt(sm/939));
  }
  struct R { size_t box; double lo, hi; };
  const R ranges[] = {{0, 20, 22000}, {0, 200, 22000}, {0, 500, 22000}, {0, 1000, 22000}, {1, 20, 22000}, {1, 20, 5000}, {1, 200, 5000}, {1, 1000, 10000}, {1, 500, 22000}, {1, 2000, 22000}, {2, 20, 22000}, {2, 50, 22000}};
  for (int withCal = 1; withCal >= 0; --withCal) {
    meter.In.Poly = withCal ? calibrated : IdentityCalibration();
    for (const R& r : ranges) {
      const size_t b = r.box;
      meter.UseBox(b);
      meter.Blocks.clear(); meter.LastChangeBlock = 0; meter.Texts.clear();
      meter.StartMeasurement(TTask::Impedance, r.lo, r.hi);
      ASSERT_TRUE(meter.Start());
      ASSERT_TRUE(meter.RunSettled(4));
      meter.Stop();
      const TWaveData& blk = meter.Blocks.back();
      const double df = 48000.0 / 2048;
      double worst = 0; int wk = 0;
      const int klo = FrequencyToBin(2048, r.lo, 48000), khi = FrequencyToBin(2048, r.hi, 48000);
      for (int k = klo; k <= khi; ++k) {
        const Complex want = TrueImpedance(boxes[b].Circuit, k * df);
        const double e = std::abs(Bin(blk[0], k) - want) / std::abs(want);
        if (e > worst) worst = e, wk = k;
      }
      std::string t = meter.Texts.back(); for (auto& c : t) if (c == '\r' || c == '\n') c = ' ';
      printf("cal %d box %zu %5.0f..%5.0f worst %.2e at %4d | R %.5g model %.5g | %s\n", withCal, b, r.lo, r.hi, worst, wk, blk[1][2*klo], 0.0, t.c_str());
    }
  }
}

} // namespace
} // namespace sorvane
