#include "platform/numeric_locale.h"

#include <clocale>

namespace platform {

void TNumericLocale::Apply() {
  if (FApplied) return;
  const char* current = std::setlocale(LC_NUMERIC, nullptr);
  FSaved = current ? current : "C";
  std::setlocale(LC_NUMERIC, "C");
  FApplied = true;
}

void TNumericLocale::Restore() {
  if (!FApplied) return;
  std::setlocale(LC_NUMERIC, FSaved.c_str());
  FApplied = false;
}

} // namespace platform
