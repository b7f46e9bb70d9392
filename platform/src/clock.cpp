#include "platform/clock.h"

#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>

namespace platform {
namespace {

// Days between the epoch of TDateTime (1899-12-30) and the Unix epoch.
constexpr double UnixEpochDays = 25569.0;

std::mutex SourceMutex;
std::shared_ptr<const TTimeSource> Source;

TDateTime SystemNow() {
  using namespace std::chrono;
  const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
  return UnixEpochDays + static_cast<double>(us) / (MillisecondsPerDay * 1000.0);
}

} // namespace

TDateTime Now() {
  std::shared_ptr<const TTimeSource> source;
  {
    std::lock_guard lock(SourceMutex);
    source = Source;
  }
  return source ? (*source)() : SystemNow();
}

int64_t MillisecondsBetween(TDateTime earlier, TDateTime later) {
  return std::llround((later - earlier) * MillisecondsPerDay);
}

void SetTimeSource(TTimeSource source) {
  auto next = source ? std::make_shared<const TTimeSource>(std::move(source)) : nullptr;
  std::lock_guard lock(SourceMutex);
  Source = std::move(next);
}

TManualClock::TManualClock(TDateTime start) : Days(start) {
  SetTimeSource([this] { return Days.load(); });
}

TManualClock::~TManualClock() { SetTimeSource(nullptr); }

void TManualClock::AdvanceMs(double ms) {
  double cur = Days.load();
  while (!Days.compare_exchange_weak(cur, cur + ms / MillisecondsPerDay)) {
  }
}

} // namespace platform
