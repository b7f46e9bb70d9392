#pragma once
// The window fuzz targets' surroundings: a Qt application on the offscreen platform with the
// virtual measuring boxes alone in the device lists, on the fast card.

#include <chrono>
#include <functional>

namespace fuzz {

// Creates the application and a fresh fast virtual card, once per process.
void StartApplication();

// Pumps the window's events until `done` holds; aborts when it does not within `limit`.
void PumpUntilOrAbort(const std::function<bool()>& done, std::chrono::milliseconds limit,
                      const char* what);

} // namespace fuzz
