#include "platform/vmbox/uBoxSimulator.h"

#include "platform/vmbox/uBoxClockBridge.h"
#include "platform/vmbox/uBoxConvolver.h"
#include "platform/vmbox/uBoxFilterDesign.h"
#include "platform/vmbox/uBoxInputChannel.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace platform::vmbox {
namespace {

constexpr size_t ChunkFrames = 4096; // frames carried through the stages at a time

double Finite(double v, double fallback) { return std::isfinite(v) ? v : fallback; }
double NonNegative(double v) { return std::max(Finite(v, 0.0), 0.0); }
double Unit(double v) { return std::clamp(Finite(v, 1.0), 0.0, 1.0); }

// A hand-made configuration that ValidateBox would refuse still runs: every value is brought
// into its range instead.
TBoxConfig Sanitized(TBoxConfig b, double sampleRate) {
  TCircuit& c = b.Circuit;
  c.R = NonNegative(c.R);
  c.L = NonNegative(c.L);
  c.C = NonNegative(c.C);
  c.LeadR = NonNegative(c.LeadR);
  c.LeadL = NonNegative(c.LeadL);
  c.LeadC = NonNegative(c.LeadC);
  if (!(c.Rref > 0) || !std::isfinite(c.Rref)) c.Rref = TCircuit{}.Rref;
  TCardModel& m = b.Card;
  m.OutputLevel = Unit(m.OutputLevel);
  m.SourceImpedance = NonNegative(m.SourceImpedance);
  for (int ch = 0; ch < 2; ++ch) {
    m.InputLevel[ch] = Unit(m.InputLevel[ch]);
    m.Gain[ch] = NonNegative(m.Gain[ch]);
    m.DcOffset[ch] = Finite(m.DcOffset[ch], 0.0);
    m.HighPassHz[ch] = std::min(NonNegative(m.HighPassHz[ch]), 0.1 * sampleRate);
    m.AntiAliasEdge[ch] =
        std::clamp(Finite(m.AntiAliasEdge[ch], 0.45), MinAntiAliasEdge, MaxAntiAliasEdge);
  }
  m.NoiseRms = NonNegative(m.NoiseRms);
  m.InputResistance = NonNegative(m.InputResistance);
  m.InputCapacitance = NonNegative(m.InputCapacitance);
  m.LatencyFrames = std::min(NonNegative(m.LatencyFrames), 10.0 * sampleRate);
  m.ClockPpm = std::clamp(Finite(m.ClockPpm, 0.0), -1000.0, 1000.0);
  if (m.Matched) {
    m.Gain[1] = m.Gain[0];
    m.HighPassHz[1] = m.HighPassHz[0];
    m.AntiAliasEdge[1] = m.AntiAliasEdge[0];
    m.DcOffset[0] = m.DcOffset[1] = 0;
  }
  return b;
}

TInputSettings InputSettings(const TCardModel& m, int ch) {
  TInputSettings s;
  s.HighPassHz = m.HighPassHz[ch];
  s.Gain = m.Gain[ch];
  s.DcOffset = m.DcOffset[ch];
  s.NoiseRms = m.NoiseOn ? m.NoiseRms : 0.0;
  s.Seed = (uint64_t(m.Seed) << 1) | uint64_t(ch); // independent noise per channel
  return s;
}

size_t ConverterDelay(const TCardModel& m) {
  return std::max(AntiAliasHalfWidth(m.AntiAliasEdge[0]), AntiAliasHalfWidth(m.AntiAliasEdge[1]));
}

size_t TotalLatency(const TCardModel& m) {
  const size_t least = ConverterDelay(m) + TClockBridge::MinDelay(m.ClockPpm);
  return std::max(size_t(std::llround(m.LatencyFrames)), least);
}

// The filters are as long as the open jig needs, so that the switch can change position freely.
double JigTimeConstant(TCircuit c, const TCardModel& card) {
  c.Shorted = false;
  return TimeConstant(c, card.SourceImpedance, card.InputLoad());
}

// Longer filters take longer blocks, trading the transforms of every call against the products
// of the partitions (measured best for a few milliseconds of frames a call, as the card runs).
size_t BlockSizeFor(size_t taps) {
  return std::min(taps, std::clamp<size_t>(taps / 64, 256, 8192));
}

} // namespace

struct TBoxSimulator::TImpl {
  TImpl(const TBoxConfig& config, double sampleRate)
      : Config(Sanitized(config, sampleRate)),
        Fs(sampleRate),
        Card(Config.Card),
        Delay(ConverterDelay(Card)),
        Latency(TotalLatency(Card)),
        Taps(FilterTapsFor(JigTimeConstant(Config.Circuit, Card), Fs, Delay)),
        Bridge(Latency - Delay, Card.ClockPpm, Fs),
        Convolver(BlockSizeFor(Taps)),
        Channels{TInputChannel(InputSettings(Card, 0), Fs),
                 TInputChannel(InputSettings(Card, 1), Fs)},
        X(ChunkFrames),
        Left(ChunkFrames),
        Right(ChunkFrames) {
    for (int ch = 0; ch < 2; ++ch) Channels[ch].SetLevel(Card.InputLevel[ch]);
    BuildFilters();
  }

  void BuildFilters() {
    const TJigFilters f =
        DesignJigFilters(Config.Circuit, Card.SourceImpedance, Card.AntiAliasEdge, Fs, Taps, Delay,
                         Card.InputLoad());
    Convolver.SetFilters(f.Left, f.Right);
    FiltersDirty = false;
  }

  void Run(const double* out, size_t outFrames, double* in, size_t inFrames);
  void RunChunk(double* in, size_t frames);

  TBoxConfig Config;
  double Fs;
  TCardModel& Card;
  size_t Delay;   // of the anti-alias filters, inside the jig responses
  size_t Latency; // in all
  size_t Taps;
  TClockBridge Bridge;
  TStereoConvolver Convolver;
  TInputChannel Channels[2];
  bool FiltersDirty = false;
  std::vector<double> X, Left, Right, Discarded;
};

void TBoxSimulator::TImpl::Run(const double* out, size_t outFrames, double* in, size_t inFrames) {
  if (FiltersDirty) BuildFilters();
  if (inFrames == 0) {
    Bridge.Write(out, outFrames, Card.OutputLevel);
    return;
  }
  // Output and input advance together chunk by chunk, so nothing waits in the bridge longer
  // than the latency asks for.
  size_t outDone = 0;
  for (size_t done = 0; done < inFrames;) {
    const size_t frames = std::min(ChunkFrames, inFrames - done);
    done += frames;
    const auto outTarget =
        size_t((long double)outFrames * (long double)done / (long double)inFrames);
    Bridge.Write(out ? out + outDone : nullptr, outTarget - outDone, Card.OutputLevel);
    outDone = outTarget;
    RunChunk(in ? in + 2 * (done - frames) : nullptr, frames);
  }
}

void TBoxSimulator::TImpl::RunChunk(double* in, size_t frames) {
  // Noise is drawn only for frames that are recorded, so a recording's noise does not depend on
  // how long the jig ran before the input started.
  const bool recorded = in != nullptr;
  if (!in) {
    Discarded.resize(2 * ChunkFrames);
    in = Discarded.data();
  }
  Bridge.Read(X.data(), frames);
  Convolver.Process(X.data(), frames, Left.data(), Right.data());
  Channels[0].Process(Left.data(), frames, in, 2, recorded);
  Channels[1].Process(Right.data(), frames, in + 1, 2, recorded);
}

TBoxSimulator::TBoxSimulator(const TBoxConfig& config, double sampleRate)
    : Impl(std::make_unique<TImpl>(config, sampleRate > 0 ? sampleRate : 48000.0)) {}

TBoxSimulator::~TBoxSimulator() = default;

void TBoxSimulator::Process(const double* outLeft, size_t frames, double* inStereo) {
  Impl->Run(outLeft, frames, inStereo, frames);
}

void TBoxSimulator::Process(const double* outLeft, size_t outFrames, double* inStereo,
                            size_t inFrames) {
  Impl->Run(outLeft, outFrames, inStereo, inFrames);
}

size_t TBoxSimulator::OutputFramesFor(size_t inFrames) const {
  return Impl->Bridge.OutputFramesFor(inFrames);
}

void TBoxSimulator::SetOutputLevel(double level) { Impl->Card.OutputLevel = Unit(level); }

void TBoxSimulator::SetInputLevel(int channel, double level) {
  if (channel < 0 || channel > 1) return;
  Impl->Card.InputLevel[channel] = Unit(level);
  Impl->Channels[channel].SetLevel(Impl->Card.InputLevel[channel]);
}

void TBoxSimulator::SetShorted(bool shorted) {
  if (Impl->Config.Circuit.Shorted == shorted) return;
  Impl->Config.Circuit.Shorted = shorted;
  Impl->FiltersDirty = true;
}

void TBoxSimulator::Reset() {
  Impl->Bridge.Reset();
  Impl->Convolver.Reset();
  for (auto& ch : Impl->Channels) ch.Reset();
}

double TBoxSimulator::SampleRate() const { return Impl->Fs; }
size_t TBoxSimulator::LatencyFrames() const { return Impl->Latency; }
size_t TBoxSimulator::FilterTaps() const { return Impl->Taps; }

} // namespace platform::vmbox
