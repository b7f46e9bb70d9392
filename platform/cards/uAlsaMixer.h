#pragma once
// One ALSA mixer ("default", or a card's "hw:N") as a mixer of the mixer API.
//
// Volumes are 0..65535 and linear in amplitude where the element reports a dB range (65535 is
// the element's top, 0 its bottom). Where it reports none they are linear in the element's own
// steps on a card's driver, and follow the sound server's cubic volume on its plugin (raw
// fraction = amplitude^(1/3)), so that half scale halves the amplitude there too. A volume
// written by a program reads back as written for as long as the element still holds what the
// write produced, so programs that write probe values and read them back do not mistake the
// element's coarser steps for another program's hand. A write the library refuses fails with
// its result code and ALSA's text, and reads back what the element holds (as do switches and
// selectors, which have no coarser steps to hide).
//
// A thread waits on the mixer's descriptors and turns every change of an element, by this
// program or another one (a volume control, the sound server), into a change notice for each of
// the element's controls.

#include "platform/cards/uAlsaLayout.h"
#include "platform/src/uMixerBackend.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform::alsa {

class TAlsaMixer : public mixer::TMixerDevice {
public:
  // Opens the mixer; nullptr when it cannot be opened or has no elements.
  static std::shared_ptr<TAlsaMixer> Open(const TAlsaApi& api, const std::string& device,
                                          const std::string& name);
  TAlsaMixer(const TAlsaMixer&) = delete;
  TAlsaMixer& operator=(const TAlsaMixer&) = delete;
  ~TAlsaMixer() override;

  bool Present() const override { return !Gone; }
  const mixer::TMixerTopology& Topology() const override { return Layout.Topology; }
  std::vector<DWORD> Values(const mixer::TControlNode& control) override;
  TBackendResult SetValues(const mixer::TControlNode& control,
                           const std::vector<DWORD>& values) override;

  const std::string& Device() const { return DeviceName; }

private:
  TAlsaMixer(const TAlsaApi& api, snd_mixer_t* handle, std::string device, double rawCurve);
  static int ElementChanged(snd_mixer_elem_t* element, unsigned int mask);
  void Watch();
  std::vector<DWORD> Read(const TBinding& binding, const mixer::TControlNode& control);
  // The library's answer: 0, or the first negative error number (later channels unwritten).
  int Write(const TBinding& binding, const mixer::TControlNode& control,
            const std::vector<DWORD>& values);
  DWORD ReadVolume(snd_mixer_elem_t* element, bool capture, int channel);
  int WriteVolume(snd_mixer_elem_t* element, bool capture, int channel, DWORD value);

  const TAlsaApi& Api;
  snd_mixer_t* const Handle;
  const std::string DeviceName;
  const double RawCurve; // amplitude = (raw fraction)^RawCurve on elements without a dB range
  TAlsaLayout Layout;
  std::atomic<bool> Gone{false};
  std::atomic<bool> Quit{false};
  std::mutex Mutex; // the handle, the written values
  // The volumes programs wrote, and what the element held right after the write succeeded.
  struct TWritten {
    std::vector<DWORD> Values;
    std::vector<DWORD> Held;
  };
  std::map<DWORD, TWritten> Written;
  std::thread Watcher;
};

} // namespace platform::alsa
