// The test and fault-injection interface of the virtual card (platform/vmbox.h).

#include "platform/vmbox.h"

#include "platform/src/uWaveFaults.h"
#include "platform/vmbox/uVirtualCard.h"
#include "platform/vmbox/uVirtualMixers.h"
#include "platform/vmbox/uVmboxEnv.h"

namespace platform::vmbox {
namespace {

TVirtualCard& Card() { return TVirtualCard::Instance(); }
TVirtualMixers& Mixers() { return TVirtualMixers::Instance(); }

// Runs `action` on a box's mixer; false for an unknown box.
template <class TAction>
bool WithMixer(size_t box, TAction action) {
  const auto mixer = Mixers().Mixer(box);
  if (mixer) action(*mixer);
  return mixer != nullptr;
}

} // namespace

// The old card's mixers let go of their boxes before the card is rebuilt; the new boxes get
// fresh mixers.
void Reinitialise(const std::vector<TBoxConfig>& boxes, TSpeed speed) {
  Mixers().RemoveAll();
  Card().Reinitialise(boxes, speed);
  Mixers().Rebuild();
}

void ReinitialiseFromEnvironment() {
  TVmboxSettings settings = SettingsFromEnvironment();
  Reinitialise(settings.Boxes, settings.Speed);
}

TSpeed Speed() { return Card().Speed(); }

size_t BoxCount() { return Card().BoxCount(); }

std::string BoxName(size_t box) {
  std::string name;
  Card().WithBox(box, [&](TVirtualBox& b) { name = b.Config().DevicesName(); });
  return name;
}

double ReferenceResistance(size_t box) {
  double rref = 0;
  Card().WithBox(box, [&](TVirtualBox& b) { rref = b.Config().Circuit.Rref; });
  return rref;
}

TCircuit BoxCircuit(size_t box) {
  TCircuit circuit;
  Card().WithBox(box, [&](TVirtualBox& b) { circuit = b.Config().Circuit; });
  return circuit;
}

UINT DeviceId(size_t box, TPort port) {
  const size_t boxes = BoxCount();
  if (box >= boxes) return WAVE_MAPPER;
  const UINT devices = port == TPort::Input ? waveInGetNumDevs() : waveOutGetNumDevs();
  return static_cast<UINT>(devices - boxes + box);
}

double AudioSeconds() { return Card().AudioSeconds(); }

void SetShorted(size_t box, bool shorted) {
  Card().WithBox(box, [&](TVirtualBox& b) { b.SetShorted(shorted); });
}

void SetOutputLevel(size_t box, double level) {
  WithMixer(box, [&](TVirtualMixer& m) { m.SetCardOutputLevel(level); });
}

void SetInputLevel(size_t box, int channel, double level) {
  if (channel != 0 && channel != 1) return;
  WithMixer(box, [&](TVirtualMixer& m) { m.SetCardInputLevel(channel, level); });
}

double OutputLevel(size_t box) {
  double level = 0;
  WithMixer(box, [&](TVirtualMixer& m) { level = m.CardOutputLevel(); });
  return level;
}

double InputLevel(size_t box, int channel) {
  double level = 0;
  if (channel != 0 && channel != 1) return level;
  WithMixer(box, [&](TVirtualMixer& m) { level = m.CardInputLevel(channel); });
  return level;
}

double AppliedOutputLevel(size_t box) {
  double level = 0;
  Card().WithBox(box, [&](TVirtualBox& b) { level = b.OutputLevel(); });
  return level;
}

double AppliedInputLevel(size_t box, int channel) {
  double level = 0;
  if (channel != 0 && channel != 1) return level;
  Card().WithBox(box, [&](TVirtualBox& b) { level = b.InputLevel(channel); });
  return level;
}

// ---- Mixers ----

UINT MixerId(size_t box) {
  const auto mixer = Mixers().Mixer(box);
  return mixer ? mixer::MixerNumber(*mixer) : 0xFFFFFFFFu;
}

DWORD MixerControlId(size_t box, DWORD destinationType, DWORD sourceType, DWORD controlType) {
  DWORD id = 0xFFFFFFFFu;
  WithMixer(box, [&](TVirtualMixer& m) {
    id = FindControlId(m.Topology(), destinationType, sourceType, controlType);
  });
  return id;
}

std::vector<DWORD> MixerValues(size_t box, DWORD controlId) {
  std::vector<DWORD> values;
  WithMixer(box, [&](TVirtualMixer& m) { values = m.ValuesOf(controlId); });
  return values;
}

MMRESULT ChangeMixerControl(size_t box, DWORD controlId, const std::vector<DWORD>& values) {
  MMRESULT result = MMSYSERR_BADDEVICEID;
  WithMixer(box, [&](TVirtualMixer& m) { result = m.ChangeFromOutside(controlId, values); });
  return result;
}

bool HoldMixerControl(size_t box, DWORD controlId) {
  bool held = false;
  WithMixer(box, [&](TVirtualMixer& m) { held = m.Hold(controlId); });
  return held;
}

void ReleaseMixerControl(size_t box, DWORD controlId) {
  WithMixer(box, [&](TVirtualMixer& m) { m.Release(controlId); });
}

void ResetMixers() {
  for (size_t box = 0; WithMixer(box, [](TVirtualMixer& m) { m.Reset(); }); ++box) {
  }
}

void FailCall(const std::string& call, MMRESULT code, unsigned count) {
  wave::ForceResult(call, code, count);
}

void FailNextOpen(TPort port, MMRESULT code) {
  wave::ForceResult(port == TPort::Input ? "waveInOpen" : "waveOutOpen", code, 1);
}

void LoseSamples(size_t box, uint32_t frames) {
  Card().WithBox(box, [&](TVirtualBox& b) {
    const auto& stream = b.Slot(TPort::Input).Stream;
    if (stream) {
      stream->LoseFrames(frames);
    } else {
      b.PendingLoss += frames;
    }
  });
}

void Vanish(size_t box, TPort port) {
  Card().WithBox(box, [&](TVirtualBox& b) {
    TPortSlot& slot = b.Slot(port);
    slot.Vanished = true;
    if (slot.Stream) slot.Stream->Vanish();
    slot.Stream.reset();
  });
}

void SetReturnDelay(size_t box, TPort port, unsigned milliseconds) {
  Card().WithBox(box, [&](TVirtualBox& b) {
    TPortSlot& slot = b.Slot(port);
    slot.ReturnDelayNs = uint64_t{milliseconds} * 1000000u;
    if (slot.Stream) slot.Stream->SetReturnDelay(slot.ReturnDelayNs);
  });
}

void SetMaxSampleRate(uint32_t rate) { Card().SetMaxRate(rate); }

void SetPositionStart(uint32_t start) { Card().SetPositionStart(start); }

void SetSynchronousOutput(size_t box, bool synchronous) {
  Card().WithBox(box, [&](TVirtualBox& b) { b.SynchronousOutput = synchronous; });
}

void ClearFaults() {
  Card().ClearSettings();
  for (size_t box = 0; WithMixer(box, [](TVirtualMixer& m) { m.ReleaseAll(); }); ++box) {
  }
}

} // namespace platform::vmbox
