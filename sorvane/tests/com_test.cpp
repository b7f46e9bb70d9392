#include "sorvane/numeric/uCom.h"

#include <gtest/gtest.h>

#include <cmath>

namespace sorvane {
namespace {

struct TCase {
  const char* name;
  TComplexD a, b, want;
};

// Exact in binary, including operands whose naive quotient a * conj(b) / |b|^2 would overflow or
// underflow.
TEST(CDiv, BranchesZeroRulesAndRange) {
  const TCase cases[] = {
    {"zero divisor", {1, 2}, {0, 0}, {0, 0}},
    {"zero dividend", {0, 0}, {3, 4}, {0, 0}},
    {"negative zero dividend", {-0.0, 0}, {3, 4}, {0, 0}},
    {"imaginary divisor, second branch", {1, 0}, {0, 2}, {0, -0.5}},
    {"real part larger, first branch", {1, 2}, {4, 3}, {0.4, 0.2}},
    {"imaginary part larger, second branch", {2, 11}, {3, 4}, {2, 1}},
    {"equal parts, first branch", {1, 0}, {2, 2}, {0.25, -0.25}},
    {"negative real divisor", {2, 6}, {-4, 0}, {-0.5, -1.5}},
    {"huge operands", {1e300, 0}, {1e300, 1e300}, {0.5, -0.5}},
    {"tiny operands", {0x1p-1000, 0x1p-1000}, {0x1p-1000, 0}, {1, 1}},
  };
  for (const TCase& c : cases) {
    const TComplexD q = CDiv(c.a, c.b);
    EXPECT_DOUBLE_EQ(q.Re, c.want.Re) << c.name;
    EXPECT_DOUBLE_EQ(q.Im, c.want.Im) << c.name;
  }
}

TEST(CMul, Products) {
  const TCase cases[] = {{"general", {1, 2}, {3, 4}, {-5, 10}}, {"i squared", {0, 1}, {0, 1}, {-1, 0}}};
  for (const TCase& c : cases) {
    const TComplexD p = CMul(c.a, c.b);
    EXPECT_EQ(p.Re, c.want.Re) << c.name;
    EXPECT_EQ(p.Im, c.want.Im) << c.name;
  }
}

// want = (modulus, phase), the phase in (-pi, pi].
TEST(CPolar, ModulusAndPhase) {
  const TCase cases[] = {
    {"negative imaginary axis", {0, -1}, {}, {1, -M_PI / 2}},
    {"negative real axis", {-1, 0}, {}, {1, M_PI}},
    {"negative real axis, negative zero", {-1, -0.0}, {}, {1, M_PI}},
    {"third quadrant", {-2, -2}, {}, {2 * M_SQRT2, -3 * M_PI / 4}},
    {"3-4-5", {3, 4}, {}, {5, std::atan2(4.0, 3.0)}},
    {"zero", {0, 0}, {}, {0, 0}},
    {"beyond the squared range", {1e200, -1e200}, {}, {M_SQRT2 * 1e200, -M_PI / 4}},
  };
  for (const TCase& c : cases) {
    const TComplexD p = CPolar(c.a);
    EXPECT_DOUBLE_EQ(p.Re, c.want.Re) << c.name;
    EXPECT_DOUBLE_EQ(p.Im, c.want.Im) << c.name;
  }
}

} // namespace
} // namespace sorvane
