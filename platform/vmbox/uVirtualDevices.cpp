#include "platform/vmbox/uVirtualDevices.h"

#include "platform/vmbox/uCardPacer.h"
#include "platform/vmbox/uVirtualCard.h"
#include "platform/vmbox/uVmboxEnv.h"

#include <algorithm>
#include <exception>
#include <string>

namespace platform::vmbox {
namespace {

constexpr uint32_t MinRate = 8000;

// The classic format groups: four bits each for mono/stereo at 8 and 16 bits.
struct TRateGroup {
  uint32_t Rate;
  DWORD Bits;
};
constexpr TRateGroup RateGroups[] = {
    {11025, 0x0000Fu}, {22050, 0x000F0u}, {44100, 0x00F00u}, {48000, 0x0F000u}, {96000, 0xF0000u},
};

void EnsureSize(std::vector<double>& v, size_t n) {
  if (v.size() < n) v.resize(n);
}

} // namespace

DWORD FormatBitsUpTo(uint32_t maxRate) {
  DWORD bits = 0;
  for (const auto& group : RateGroups) {
    if (group.Rate <= maxRate) bits |= group.Bits;
  }
  return bits;
}

// ---- TVirtualBox ----

TVirtualBox::TVirtualBox(TBoxConfig config)
    : Cfg(std::move(config)), Shorted(Cfg.Circuit.Shorted), OutLevel(Cfg.Card.OutputLevel),
      InLevel{Cfg.Card.InputLevel[0], Cfg.Card.InputLevel[1]} {}

void TVirtualBox::SetShorted(bool shorted) {
  Shorted = shorted;
  if (Simulator) Simulator->SetShorted(shorted);
}

void TVirtualBox::SetOutputLevel(double level) {
  OutLevel = level;
  if (Simulator) Simulator->SetOutputLevel(level);
}

void TVirtualBox::SetInputLevel(int channel, double level) {
  InLevel[channel] = level;
  if (Simulator) Simulator->SetInputLevel(channel, level);
}

// A fresh simulator for a new rate; a box that was idle starts from silence again. A jig that
// cannot be simulated (out of memory) is reported once and records silence.
bool TVirtualBox::PrepareSimulator(uint32_t rate) {
  if (Simulator && SimulatorRate == rate) {
    if (!WasActive) Simulator->Reset();
    return true;
  }
  if (FailedRate == rate) return false;
  try {
    Simulator = std::make_unique<TBoxSimulator>(Cfg, rate);
  } catch (const std::exception& e) {
    Simulator.reset();
    FailedRate = rate;
    ReportProblem("\"" + Cfg.Name + "\" cannot run at " + std::to_string(rate) + " Hz (" + e.what() +
                  "); its input stays silent.");
    return false;
  }
  SimulatorRate = rate;
  Simulator->SetShorted(Shorted);
  Simulator->SetOutputLevel(OutLevel);
  Simulator->SetInputLevel(0, InLevel[0]);
  Simulator->SetInputLevel(1, InLevel[1]);
  return true;
}

void TVirtualBox::PlayOutput(wave::TWaveStream& out, size_t frames, uint64_t t1Ns) {
  EnsureSize(OutStereo, 2 * frames);
  out.Play(OutStereo.data(), frames, t1Ns);
}

void TVirtualBox::Run(uint64_t t0Ns, uint64_t t1Ns) {
  wave::TWaveStream* in = Slots[0].Stream.get();
  wave::TWaveStream* out = Slots[1].Stream.get();
  if (!in && !out) {
    WasActive = false;
    return;
  }
  const auto rate = static_cast<uint32_t>(in ? in->Rate() : out->Rate());
  const bool simulated = PrepareSimulator(rate);
  WasActive = true;
  const size_t inFrames = FramesBetween(t0Ns, t1Ns, rate);
  EnsureSize(InStereo, 2 * inFrames);
  const bool heard = out && static_cast<uint32_t>(out->Rate()) == rate;
  // The output's clock may run apart from the input's (the card model's ppm).
  const size_t outFrames = !out ? 0
                           : !heard ? FramesBetween(t0Ns, t1Ns, static_cast<uint32_t>(out->Rate()))
                           : in && simulated ? Simulator->OutputFramesFor(inFrames)
                                             : inFrames;
  if (out) PlayOutput(*out, outFrames, t1Ns);
  // The jig runs on while the input is not recording; what it would record is thrown away.
  // Whether it records is decided once per step: an input started while the step runs begins
  // with the next one, instead of being handed frames that were never simulated for it.
  double* const recorded = in && in->Demand().Running ? InStereo.data() : nullptr;
  if (!simulated) {
    std::fill_n(InStereo.begin(), 2 * inFrames, 0.0);
  } else if (heard) {
    EnsureSize(OutLeft, outFrames);
    for (size_t i = 0; i < outFrames; ++i) OutLeft[i] = OutStereo[2 * i];
    if (outFrames == inFrames) {
      Simulator->Process(OutLeft.data(), inFrames, recorded);
    } else {
      Simulator->Process(OutLeft.data(), outFrames, recorded, inFrames);
    }
  } else {
    Simulator->Process(nullptr, inFrames, recorded);
  }
  if (in) {
    if (recorded) in->Record(recorded, inFrames, t1Ns);
    in->DeliverDue(t1Ns);
  }
  if (out) out->DeliverDue(t1Ns);
}

// ---- TVirtualPort ----

TVirtualPort::TVirtualPort(TVirtualCard& card, std::shared_ptr<TVirtualBox> box, TPort port)
    : Card(card), Box(std::move(box)), Port(port) {}

bool TVirtualPort::Present() const { return Card.PortPresent(*Box, Port); }

std::string TVirtualPort::Name() const { return Box->Config().DevicesName(); }

DWORD TVirtualPort::Formats() const { return FormatBitsUpTo(Card.MaxRate()); }

DWORD TVirtualPort::Support() const {
  if (Port == TPort::Input) return 0;
  return WAVECAPS_SAMPLEACCURATE | (Card.SynchronousOutput(*Box) ? WAVECAPS_SYNC : 0);
}

MMRESULT TVirtualPort::CheckFormat(const WAVEFORMATEX& format) const {
  const bool channels = format.nChannels == 1 || format.nChannels == 2;
  const bool bits = format.wBitsPerSample == 8 || format.wBitsPerSample == 16;
  const bool rate = format.nSamplesPerSec >= MinRate && format.nSamplesPerSec <= Card.MaxRate();
  return channels && bits && rate ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

TBackendResult TVirtualPort::Attach(const std::shared_ptr<wave::TWaveStream>& stream) {
  return Card.Attach(*Box, Port, stream);
}

void TVirtualPort::Detach(const wave::TWaveStream& stream) { Card.Detach(*Box, Port, stream); }

} // namespace platform::vmbox
