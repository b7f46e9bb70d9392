// The decimal-point guard: the point while it is applied, the caller's locale back afterwards,
// whichever way the guard ends.

#include "platform/numeric_locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <string>

namespace {

std::string Numeric() { return std::setlocale(LC_NUMERIC, nullptr); }

TEST(NumericLocale, PutsThePointInPlaceAndTheCallersLocaleBack) {
  struct TCase {
    const char* Name;
    std::function<void(platform::TNumericLocale&)> Extra; // after the first Apply
    bool DestroyOnly;                                     // no Restore: the guard's end restores
  };
  const TCase cases[] = {
      {"apply, restore", [](platform::TNumericLocale&) {}, false},
      {"applied twice keeps the first saved locale",
       [](platform::TNumericLocale& guard) { guard.Apply(); }, false},
      {"restored by its end", [](platform::TNumericLocale&) {}, true},
  };
  ASSERT_NE(std::setlocale(LC_NUMERIC, "C.UTF-8"), nullptr);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    {
      platform::TNumericLocale guard;
      guard.Apply();
      c.Extra(guard);
      EXPECT_TRUE(guard.Applied());
      EXPECT_EQ(Numeric(), "C");
      if (!c.DestroyOnly) {
        guard.Restore();
        EXPECT_FALSE(guard.Applied());
        EXPECT_EQ(Numeric(), "C.UTF-8");
        guard.Restore(); // a second Restore leaves the locale alone
        std::setlocale(LC_NUMERIC, "C");
      }
    }
    EXPECT_EQ(Numeric(), c.DestroyOnly ? "C.UTF-8" : "C");
    std::setlocale(LC_NUMERIC, "C.UTF-8");
  }
  std::setlocale(LC_NUMERIC, "C");
}

} // namespace
