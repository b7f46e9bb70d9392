#pragma once
// What the environment asks of the virtual card: VMBOX_SPEED ("fast" or "realtime") and
// VMBOX_CIRCUITS (the boxes). A value that cannot be used is reported and the default taken.

#include "platform/vmbox.h"

#include <ostream>
#include <string>
#include <vector>

namespace platform::vmbox {

struct TVmboxSettings {
  std::vector<TBoxConfig> Boxes;
  TSpeed Speed = TSpeed::RealTime;
};

// From the two values (nullptr = not set); problems are written to `report`, one line each.
TVmboxSettings ReadSettings(const char* speed, const char* circuits, std::ostream& report);

// From the process environment, reporting to the standard error stream.
TVmboxSettings SettingsFromEnvironment();

// Reports a problem of the virtual card on the standard error stream, one line.
void ReportProblem(const std::string& text);

} // namespace platform::vmbox
