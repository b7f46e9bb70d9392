#pragma once
// The decimal separator of the whole process while a program's window lives: numbers are
// written and read with "." whatever the user's locale says (Qt sets the user's locale at
// start-up). Apply saves the present LC_NUMERIC and sets "C"; Restore puts the saved one back
// (also on destruction, if Restore was not called).

#include <string>

namespace platform {

class TNumericLocale {
public:
  TNumericLocale() = default;
  ~TNumericLocale() { Restore(); }
  TNumericLocale(const TNumericLocale&) = delete;
  TNumericLocale& operator=(const TNumericLocale&) = delete;

  void Apply();
  void Restore();
  bool Applied() const { return FApplied; }

private:
  std::string FSaved;
  bool FApplied = false;
};

} // namespace platform
