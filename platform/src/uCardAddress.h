#pragma once
// The sound card a real waveform device belongs to, read from its name: the sound library names
// a card's devices "<card>: <device> (hw:N,M)" and gives the card's address nowhere else. The
// card's address pairs a device with the card's mixer and tells two devices of one card apart
// from two cards (calibrations are kept per card).

#include <string>
#include <string_view>

namespace platform::wave {

// "hw:N" of the last "(hw:N" or "(hw:N,M)" in the name; empty when the name carries none.
std::string AlsaCardAddress(std::string_view deviceName);

} // namespace platform::wave
