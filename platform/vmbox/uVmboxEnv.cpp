#include "platform/vmbox/uVmboxEnv.h"

#include <cstdlib>
#include <iostream>
#include <string>

namespace platform::vmbox {
namespace {

constexpr const char* ReportPrefix = "Virtual measuring box: ";

TSpeed ReadSpeed(const char* value, std::ostream& report) {
  const std::string text = value ? value : "";
  if (text == "fast") return TSpeed::Fast;
  if (!text.empty() && text != "realtime") {
    report << ReportPrefix << "VMBOX_SPEED=\"" << text
           << "\" is neither \"fast\" nor \"realtime\"; running in real time.\n";
  }
  return TSpeed::RealTime;
}

std::vector<TBoxConfig> ReadBoxes(const char* value, std::ostream& report) {
  if (!value || !*value) return DefaultBoxes();
  TParseResult parsed = ParseCircuits(value);
  if (parsed.Error.empty() && !parsed.Boxes.empty()) return std::move(parsed.Boxes);
  report << ReportPrefix << "VMBOX_CIRCUITS is not usable: "
         << (parsed.Error.empty() ? "it names no circuit" : parsed.Error)
         << "; using the default boxes.\n";
  return DefaultBoxes();
}

} // namespace

TVmboxSettings ReadSettings(const char* speed, const char* circuits, std::ostream& report) {
  TVmboxSettings settings;
  settings.Speed = ReadSpeed(speed, report);
  settings.Boxes = ReadBoxes(circuits, report);
  return settings;
}

TVmboxSettings SettingsFromEnvironment() {
  return ReadSettings(std::getenv("VMBOX_SPEED"), std::getenv("VMBOX_CIRCUITS"), std::cerr);
}

void ReportProblem(const std::string& text) { std::cerr << ReportPrefix << text << '\n'; }

} // namespace platform::vmbox
