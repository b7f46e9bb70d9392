#include "platform/vmbox/uVirtualMixers.h"

#include "platform/src/uWaveBackend.h"
#include "platform/vmbox/uVirtualCard.h"

namespace platform::vmbox {

TVirtualMixers& TVirtualMixers::Instance() {
  static auto* mixers = new TVirtualMixers; // never destroyed: handles may outlive statics
  return *mixers;
}

mixer::TMixerBackend& VirtualMixerBackend() { return TVirtualMixers::Instance(); }

std::vector<std::shared_ptr<TVirtualMixer>> TVirtualMixers::BuildForCard() {
  TVirtualCard& card = TVirtualCard::Instance();
  std::vector<std::shared_ptr<TVirtualMixer>> mixers;
  for (size_t box = 0; box < card.BoxCount(); ++box) {
    std::string name;
    double out = 1, in[2] = {1, 1}, curve = 1;
    TRefusedControl refused = TRefusedControl::None;
    card.WithBox(box, [&](TVirtualBox& b) {
      name = b.Config().DevicesName();
      out = b.OutputLevel();
      in[0] = b.InputLevel(0);
      in[1] = b.InputLevel(1);
      curve = b.Config().Card.VolumeCurve;
      refused = b.Config().Card.RefusedControl;
    });
    auto layout = BoxMixerLayout(name, DeviceId(box, TPort::Input), DeviceId(box, TPort::Output));
    mixers.push_back(
        std::make_shared<TVirtualMixer>(box, std::move(layout), out, in, curve, refused));
  }
  return mixers;
}

std::vector<std::shared_ptr<TVirtualMixer>> TVirtualMixers::List() {
  std::lock_guard lock(Mutex);
  if (!Built) {
    Boxes = BuildForCard();
    Built = true;
  }
  return Boxes;
}

std::vector<std::shared_ptr<mixer::TMixerDevice>> TVirtualMixers::Mixers() {
  const auto list = List();
  return {list.begin(), list.end()};
}

std::shared_ptr<TVirtualMixer> TVirtualMixers::Mixer(size_t box) {
  const auto list = List();
  return box < list.size() ? list[box] : nullptr;
}

// A box's devices are the last entries of the waveform device lists, in box order; an open
// handle is matched by the stream its box's port serves.
std::shared_ptr<mixer::TMixerDevice> TVirtualMixers::MixerOf(const mixer::TWaveObject& wave) {
  const auto list = List();
  const TPort port = wave.Direction == wave::TDirection::In ? TPort::Input : TPort::Output;
  if (!wave.Stream) {
    const auto devices = wave::AllDevices(wave.Direction);
    if (wave.Id >= devices.size() || !dynamic_cast<TVirtualPort*>(devices[wave.Id].get())) {
      return nullptr;
    }
    const size_t first = devices.size() - list.size();
    return wave.Id >= first && wave.Id - first < list.size() ? list[wave.Id - first] : nullptr;
  }
  for (size_t box = 0; box < list.size(); ++box) {
    bool serves = false;
    TVirtualCard::Instance().WithBox(
        box, [&](TVirtualBox& b) { serves = b.Slot(port).Stream.get() == wave.Stream; });
    if (serves) return list[box];
  }
  return nullptr;
}

void TVirtualMixers::RemoveAll() {
  std::lock_guard lock(Mutex);
  for (const auto& mixer : Boxes) mixer->Remove();
  Boxes.clear();
  Built = false;
}

void TVirtualMixers::Rebuild() {
  auto mixers = BuildForCard();
  std::lock_guard lock(Mutex);
  for (const auto& mixer : Boxes) mixer->Remove();
  Boxes = std::move(mixers);
  Built = true;
}

} // namespace platform::vmbox
