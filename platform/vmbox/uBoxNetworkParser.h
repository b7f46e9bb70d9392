#pragma once
// Reads a component under test written as a network of parts, the value of a box's "z" key:
//   network  := parallels ("+" parallels)...     parts in series
//   parallels:= operand ("|" operand)...          "|" binds tighter than "+"
//   operand  := "(" network ")" | part
//   part     := R, L or C (either case) and a value with an optional SI prefix and unit:
//               R2.2k, L1m, L1mH, C100p, C4.7uF, R1e+3
// Blanks may stand between the pieces. "(R3.3+L1m)|C100p" is a coil with its self-capacitance,
// "C10u+R0.05+L20n" a capacitor with its series resistance and inductance. The text must not
// hold "," or ";", which separate the entries and circuits around it.

#include "platform/vmbox/uBoxImpedanceModel.h"

#include <string>
#include <string_view>

namespace platform::vmbox {

constexpr size_t MaxNetworkParts = 32;
constexpr size_t MaxNetworkDepth = 16; // parentheses within parentheses

struct TNetworkParse {
  TNetwork Network;
  std::string Error; // empty when read, else "at character 7: expected ...", counted from 1
};

TNetworkParse ParseNetwork(std::string_view text);

} // namespace platform::vmbox
