#pragma once
// The time of day as the programs see it: days (and fractions of a day) as a double, since
// 30 December 1899, the classic desktop date format. Tests and the virtual measuring box can
// replace the source so that every time-based rule follows a simulated clock.

#include <atomic>
#include <cstdint>
#include <functional>

namespace platform {

using TDateTime = double;

constexpr double MillisecondsPerDay = 86400000.0;

// The current time of day from the installed source (the system clock by default).
TDateTime Now();

// (later - earlier) in whole milliseconds, rounded to nearest.
int64_t MillisecondsBetween(TDateTime earlier, TDateTime later);

// The time source. An empty function restores the system clock. Safe to call while other
// threads read the time.
using TTimeSource = std::function<TDateTime()>;
void SetTimeSource(TTimeSource source);

// A clock that moves only when told to; installs itself for its lifetime.
class TManualClock {
public:
  explicit TManualClock(TDateTime start = 46000.0);
  ~TManualClock();
  TManualClock(const TManualClock&) = delete;
  TManualClock& operator=(const TManualClock&) = delete;

  TDateTime Now() const { return Days.load(); }
  void AdvanceMs(double ms);
  void Set(TDateTime t) { Days.store(t); }

private:
  std::atomic<double> Days;
};

} // namespace platform
