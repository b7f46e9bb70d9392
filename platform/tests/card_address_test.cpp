// The sound card of a real device, read from the device's name: what pairs the device with its
// card's mixer and keeps calibrations per card.

#include "platform/src/uCardAddress.h"

#include <gtest/gtest.h>

namespace {

TEST(CardAddress, ReadsTheCardFromTheDevicesName) {
  const struct {
    const char* Name;
    const char* Address;
  } cases[] = {
      {"HDA Intel PCH: ALC892 Analog (hw:0,0)", "hw:0"},
      {"USB Audio CODEC: Audio (hw:12,3)", "hw:12"},
      {"Loopback: PCM (hw:2)", "hw:2"},
      {"Card (hw:1,0) copy: PCM (hw:3,0)", "hw:3"}, // the device's own address ends its name
      {"Card (hw:5,0", "hw:5"},                     // a name cut short keeps its card number
      {"pulse", ""},
      {"default", ""},
      {"Speakers (hw:)", ""},
      {"Speakers (hw:x,0)", ""},
      {"Speakers (hw:1x)", ""},
      {"hw:1,0", ""}, // only the parenthesised address counts
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(platform::wave::AlsaCardAddress(c.Name), c.Address);
  }
}

} // namespace
