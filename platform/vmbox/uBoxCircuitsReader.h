#pragma once
// Reads the VMBOX_CIRCUITS text: circuits separated by ";", each a list of name=value entries
// separated by ",". Keys (without regard to case), values with SI prefixes and optional unit:
//   a box:  R, L, C (ohm, henry, farad; 0 or absent: none), Rref (10 by default), name, swap,
//     open (on: nothing between the terminals, instead of R, L and C), leadR, leadL (the test
//     leads in series with the component)
//   the card, shared by every box: source (output impedance), level (output), inlevel,
//     inlevel0, inlevel1 (inputs), offset[0|1], gain[0|1], hp[0|1] (AC coupling corner, Hz),
//     aa[0|1] (anti-alias edge, fraction of fs), noise (off, on or an rms), latency (frames),
//     ppm (output clock offset), seed, matched (on/off), volume, zin and cin (each input's
//     resistance and capacitance to ground; absent: none), refuse (the mixer control whose
//     writes the card refuses: none, master, mastermute, wave, wavemute, recording, source, line)
//   a loudspeaker in place of R, L and C: Re, fs, Qms, Qes (all four needed), Le, and Rl with Ll
//     for a lossy voice coil (uBoxImpedanceModel.h)
//   a network in place of R, L and C: z, parts in series and parallel (uBoxNetworkParser.h)
// An item with only card keys sets the card and adds no box.

#include "platform/vmbox/uBoxConfig.h"

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace platform::vmbox {

// A box as its entries are read: the loudspeaker's parameters and the network wait until the
// circuit's last entry, when the box's Zx model is made from them.
struct TBoxDraft {
  TBoxConfig Box;
  TLoudspeaker Speaker;
  TNetwork Network;
};

// Reads the circuits one after the other; the first fault ends it with its message.
class TCircuitsReader {
public:
  // Empty when all is well, else the first fault: which circuit, its text and what is wrong.
  std::string Read(std::string_view text);
  std::vector<TBoxConfig> Boxes;
  TCardModel Card;

private:
  std::string Entry(std::string_view entry, TBoxDraft& draft, std::set<std::string>& given,
                    bool& isBox);
  static std::string Complete(TBoxDraft& draft, const std::set<std::string>& given);
  static std::string SpeakerFault(const std::set<std::string>& given);
  std::map<std::string, double> CardValues; // card keys given so far, with their values
};

} // namespace platform::vmbox
