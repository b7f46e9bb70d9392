#pragma once
// The mixers of the virtual card, one per box in box order, offered to the mixer front end as
// a back end. They are built with the card's boxes at first use and again whenever the card is
// rebuilt; the mixers of the old card then go away (their handles answer MMSYSERR_NODRIVER).

#include "platform/src/uMixerBackend.h"
#include "platform/vmbox/uVirtualMixer.h"

#include <memory>
#include <mutex>
#include <vector>

namespace platform::vmbox {

class TVirtualMixers : public mixer::TMixerBackend {
public:
  static TVirtualMixers& Instance();

  std::vector<std::shared_ptr<mixer::TMixerDevice>> Mixers() override;
  std::shared_ptr<mixer::TMixerDevice> MixerOf(const mixer::TWaveObject& wave) override;

  // The mixer of a box; nullptr for an unknown box.
  std::shared_ptr<TVirtualMixer> Mixer(size_t box);
  // The old mixers go away; call before the card is rebuilt, then Rebuild after.
  void RemoveAll();
  void Rebuild();

private:
  TVirtualMixers() = default;
  // The list, built first from the card as it is.
  std::vector<std::shared_ptr<TVirtualMixer>> List();
  static std::vector<std::shared_ptr<TVirtualMixer>> BuildForCard();

  std::mutex Mutex;
  bool Built = false;
  std::vector<std::shared_ptr<TVirtualMixer>> Boxes;
};

mixer::TMixerBackend& VirtualMixerBackend();

} // namespace platform::vmbox
