#include "dravik/measure/uFour1.h"

#include <gtest/gtest.h>

TEST(Four1Smoke, ImpulseIsFlat) {
  dravik::TDataVector v(16, 0);
  v[0] = 1;
  dravik::Four1(v.data(), 8, 1);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(v[2 * k], 1);
}
