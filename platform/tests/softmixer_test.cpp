// The software mixer that real devices without a sound-card mixer get: its lines, and its
// values turned into the gains that the devices apply to their samples. No sound server needed:
// the devices are never opened.

#ifdef PLATFORM_PORTAUDIO

#include "platform/cards/uPaSoftMixer.h"

#include <gtest/gtest.h>

namespace {

using platform::portaudio::TPaDevice;
using platform::portaudio::TPaSoftMixer;
using platform::wave::TDirection;

struct TCase {
  const char* What;
  std::vector<DWORD> Master, Mute, Recording;
  double Out[2], In[2];
};

TEST(SoftMixer, ValuesBecomeTheDevicesGains) {
  auto in = std::make_shared<TPaDevice>(3, TDirection::In, "card", 2, 0.1);
  auto out = std::make_shared<TPaDevice>(3, TDirection::Out, "card", 2, 0.1);
  TPaSoftMixer mixer(3, "card", {in, out});
  const auto& topology = mixer.Topology();
  ASSERT_EQ(topology.Destinations.size(), 2u);
  EXPECT_EQ(topology.Destinations[0].Line.Info.dwComponentType, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
  EXPECT_EQ(topology.Destinations[1].Line.Info.dwComponentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
  EXPECT_EQ(topology.Destinations[0].Sources.at(0).Info.dwComponentType,
            MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT);
  EXPECT_EQ(topology.Destinations[1].Sources.at(0).Info.dwComponentType,
            MIXERLINE_COMPONENTTYPE_SRC_LINE);
  const auto& master = topology.Destinations[0].Line.Controls.at(0);
  const auto& mute = topology.Destinations[0].Line.Controls.at(1);
  const auto& recording = topology.Destinations[1].Line.Controls.at(0);
  EXPECT_EQ(mixer.Values(master), (std::vector<DWORD>{0xFFFF, 0xFFFF}));
  EXPECT_EQ(mixer.Values(mute), (std::vector<DWORD>{0}));

  const TCase cases[] = {
      {"half left", {0x8000, 0xFFFF}, {0}, {0xFFFF, 0xFFFF}, {0x8000 / 65535.0, 1}, {1, 1}},
      {"muted", {0x8000, 0xFFFF}, {1}, {0xFFFF, 0x4000}, {0, 0}, {1, 0x4000 / 65535.0}},
      {"silent input", {0xFFFF, 0xFFFF}, {0}, {0, 0}, {1, 1}, {0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    mixer.SetValues(master, c.Master);
    mixer.SetValues(mute, c.Mute);
    mixer.SetValues(recording, c.Recording);
    EXPECT_EQ(mixer.Values(master), c.Master);
    for (int ch = 0; ch < 2; ++ch) {
      EXPECT_DOUBLE_EQ(out->GainOf(ch), c.Out[ch]);
      EXPECT_DOUBLE_EQ(in->GainOf(ch), c.In[ch]);
    }
  }
}

} // namespace

#endif
