#pragma once
// Virtual measuring boxes whose recordings are predictable, and the device numbers of a box.

#include "platform/vmbox.h"

#include <string>

namespace testsupport {

// A box whose inputs are exactly alike, without noise, offsets or AC coupling.
inline platform::vmbox::TBoxConfig QuietBox(const std::string& name,
                                            const platform::vmbox::TCircuit& circuit) {
  platform::vmbox::TBoxConfig box;
  box.Name = name;
  box.Circuit = circuit;
  box.Card.NoiseOn = false;
  box.Card.Matched = true;
  box.Card.DcOffset[0] = box.Card.DcOffset[1] = 0;
  box.Card.HighPassHz[0] = box.Card.HighPassHz[1] = 0;
  return box;
}

// The same with a resistor `r` as Zx against `rref`.
inline platform::vmbox::TBoxConfig QuietResistorBox(const std::string& name, double r,
                                                    double rref = 10) {
  platform::vmbox::TCircuit circuit;
  circuit.R = r;
  circuit.Rref = rref;
  return QuietBox(name, circuit);
}

inline UINT InputOf(size_t box) {
  return platform::vmbox::DeviceId(box, platform::vmbox::TPort::Input);
}
inline UINT OutputOf(size_t box) {
  return platform::vmbox::DeviceId(box, platform::vmbox::TPort::Output);
}

} // namespace testsupport
