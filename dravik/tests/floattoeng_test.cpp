#include "dravik/measure/uFour1.h"

#include <gtest/gtest.h>

namespace dravik {
namespace {

TEST(FloatToEng, PrefixRowsAndThreeSignificantDigits) {
  struct Case { long double x; const char* text; };
  const Case cases[] = {
      {0, "0 p"},            // zero falls into the last row
      {1, "1 "},
      {12.3L, "12.3 "},
      {1000, "1E3 "},        // stays in the unit row
      {999.6L, "1E3 "},      // rounds up to 1000 at 3 digits
      {1234.5L, "1.23 k"},
      {1500, "1.5 k"},
      {-1500, "-1.5 k"},
      {1000000, "1E3 k"},    // k row up to and including one million
      {2.5e6L, "2.5 M"},
      {-1e7L, "-10 M"},
      {5e9L, "5E3 M"},
      {0.001L, "1 m"},
      {0.9996L, "1E3 m"},    // just below 1: milli row, rounded up to 1000
      {-0.0047L, "-4.7 m"},
      {0.1L, "100 m"},
      {1e-6L, "1 \u00B5"},   // the micro sign in UTF-8
      {-3.3e-6L, "-3.3 \u00B5"},
      {1e-9L, "1 n"},
      {4.7e-12L, "4.7 p"},
      {1e-13L, "0.1 p"},
      {1.5e-17L, "0.000015 p"}, // fixed notation down to 0.00001
      {1.5e-18L, "1.5E-6 p"},
  };
  for (const Case& c : cases) EXPECT_EQ(FloatToEng(c.x), c.text) << static_cast<double>(c.x);
}

} // namespace
} // namespace dravik
