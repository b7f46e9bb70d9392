#include "platform/src/uCardAddress.h"

namespace platform::wave {

std::string AlsaCardAddress(std::string_view deviceName) {
  constexpr std::string_view Opening = "(hw:";
  const size_t at = deviceName.rfind(Opening);
  if (at == std::string_view::npos) return {};
  const size_t first = at + Opening.size();
  const size_t end = deviceName.find_first_not_of("0123456789", first);
  if (end == first) return {};
  // The card number ends the address or is followed by the device number.
  if (end != std::string_view::npos && deviceName[end] != ',' && deviceName[end] != ')') return {};
  return "hw:" + std::string(deviceName.substr(first, end - first));
}

} // namespace platform::wave
