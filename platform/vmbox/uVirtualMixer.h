#pragma once
// The mixer of one virtual box. It keeps every control's values, acts on the box's sound
// through the card's levels, and lets tests play another program: one that changes a control,
// or one that holds a control at its own value and writes it back after every change by anyone
// else (each write with its own change notice).
//
// What the box hears and plays (volumes as gains (value / 65535)^curve, linear by default):
//   output level  = card output level x master volume (left) x wave volume (left), 0 while the
//                   master or the wave mute is on (the jig is driven by the left output only);
//   input level c = card input level c x recording volume (c) x line volume (c) while the MUX
//                   selects the line, else 0: the input then records only the card's own noise
//                   and offset.
// A card configured to refuse writes to one control (TCardModel::RefusedControl) fails every write
// to it through the mixer API, with a detail as a driver's library would give it; another
// program's writes (ChangeFromOutside) still reach it.
// The card levels are the box's levels without a mixer (its configuration, or what a test set
// with SetOutputLevel / SetInputLevel).
//
// Lock order: this mixer's lock, then the card's lock, then the handle registry's.

#include "platform/src/uMixerBackend.h"
#include "platform/vmbox/uBoxConfig.h"
#include "platform/vmbox/uVirtualMixerLayout.h"

#include <atomic>
#include <map>
#include <mutex>
#include <optional>

namespace platform::vmbox {

class TVirtualMixer : public mixer::TMixerDevice {
public:
  // The mixer of box `box` of the current card, at its defaults.
  // Volumes act along `volumeCurve` (TCardModel::VolumeCurve).
  // Writes to `refused` through the mixer API fail with MMSYSERR_ERROR (TRefusedControl).
  TVirtualMixer(size_t box, TBoxMixerLayout layout, double outputLevel, const double inputLevel[2],
                double volumeCurve = 1, TRefusedControl refused = TRefusedControl::None);

  bool Present() const override { return !Removed; }
  const mixer::TMixerTopology& Topology() const override { return Layout.Topology; }
  std::vector<DWORD> Values(const mixer::TControlNode& control) override;
  TBackendResult SetValues(const mixer::TControlNode& control,
                           const std::vector<DWORD>& values) override;

  const TBoxMixerControls& Controls() const { return Layout.Controls; }
  // The card was rebuilt without this mixer's box: it stops acting on any box.
  void Remove();

  // ---- Another program, and tests ----
  // Every value of a control (empty for an unknown id).
  std::vector<DWORD> ValuesOf(DWORD controlId);
  // Another program writes a control: MMSYSERR_NOERROR, MIXERR_INVALCONTROL or the result of
  // the value checks (uMixerDetails.h).
  MMRESULT ChangeFromOutside(DWORD controlId, std::vector<DWORD> values);
  // Another program holds a control at its present values from now on; false for an unknown id.
  bool Hold(DWORD controlId);
  void Release(DWORD controlId);
  void ReleaseAll();
  // Every control back at its default (with notices for those that change), holds released.
  void Reset();

  // ---- The card's own levels under the mixer ----
  void SetCardOutputLevel(double level);
  void SetCardInputLevel(int channel, double level);
  double CardOutputLevel();
  double CardInputLevel(int channel);

private:
  // Stores values, announces a change, lets a holder write back, and applies the levels.
  void Write(DWORD controlId, const std::vector<DWORD>& values);
  void Store(DWORD controlId, const std::vector<DWORD>& values);
  double Gain(DWORD controlId, size_t channel) const;
  bool On(DWORD controlId, size_t item) const;
  void ApplyLevels();

  const size_t Box;
  const TBoxMixerLayout Layout;
  std::atomic<bool> Removed{false};
  std::mutex Mutex;
  std::map<DWORD, std::vector<DWORD>> Current;
  std::map<DWORD, std::vector<DWORD>> Held;
  double CardOut;
  double CardIn[2];
  const double Curve;
  const std::optional<DWORD> Refused; // the id of the control whose writes the card refuses
};

} // namespace platform::vmbox
