#pragma once
// Shared by the soak runs of both programs: the run's length from the environment, the process's
// own resource counts (resident memory, open descriptors, threads) sampled from /proc, the
// flatness rule they must keep, and the summary line each run prints.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace soak {

// A positive number from the environment, or the default.
inline double EnvNumber(const char* name, double fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  return (end && *end == '\0' && value > 0) ? value : fallback;
}
inline double AudioSecondsWanted() { return EnvNumber("SOAK_AUDIO_SECONDS", 600); }
inline int CyclesWanted() { return static_cast<int>(EnvNumber("SOAK_CYCLES", 1000)); }

struct TUsage {
  long RssKiB = 0;
  long Fds = 0;
  long Threads = 0;
};

// A "Name:   value kB" line of /proc/self/status.
inline long StatusField(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(name + ":", 0) == 0) return std::atol(line.c_str() + name.size() + 1);
  }
  return -1;
}

inline TUsage Usage() {
  TUsage u;
  u.RssKiB = StatusField("VmRSS");
  u.Threads = StatusField("Threads");
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    ++u.Fds;
  }
  --u.Fds; // the descriptor that lists the folder
  return u;
}

// Resource samples of one phase of a run. The first WarmUp share of the samples may grow while
// caches, the chart's series and the allocator's pools fill; after it, memory may rise by at
// most RssSlackKiB above the highest warm-up sample, and descriptors and threads not at all.
// 5 MB is about 80 s of a leaked 16-bit stereo block per result, far less than one block per
// measured second over a ten-minute run, and well above the allocator's own drift.
struct TUsageTrack {
  static constexpr double WarmUp = 0.2;
  static constexpr long RssSlackKiB = 5 * 1024;
  std::vector<TUsage> Samples;

  void Sample() { Samples.push_back(Usage()); }
  size_t WarmUpEnd() const {
    return std::max<size_t>(1, static_cast<size_t>(Samples.size() * WarmUp));
  }
  TUsage Baseline() const {
    TUsage b;
    for (size_t i = 0; i < WarmUpEnd() && i < Samples.size(); ++i) {
      b.RssKiB = std::max(b.RssKiB, Samples[i].RssKiB);
      b.Fds = std::max(b.Fds, Samples[i].Fds);
      b.Threads = std::max(b.Threads, Samples[i].Threads);
    }
    return b;
  }
  // Records a failure for each sample after the warm-up that breaks the rule.
  void ExpectFlat(const std::string& phase) const {
    ASSERT_GE(Samples.size(), 5u) << phase << ": too few samples to judge";
    const TUsage b = Baseline();
    long worstRss = 0;
    for (size_t i = WarmUpEnd(); i < Samples.size(); ++i) {
      worstRss = std::max(worstRss, Samples[i].RssKiB - b.RssKiB);
      EXPECT_LE(Samples[i].Fds, b.Fds) << phase << ": open descriptors grew at sample " << i;
      EXPECT_LE(Samples[i].Threads, b.Threads) << phase << ": threads grew at sample " << i;
    }
    EXPECT_LE(worstRss, RssSlackKiB) << phase << ": resident memory grew by " << worstRss
                                     << " KiB after the warm-up";
  }
  void Print(const std::string& phase) const {
    if (Samples.empty()) return;
    const TUsage& a = Samples.front();
    const TUsage& z = Samples.back();
    const TUsage b = Baseline();
    std::printf("%s: RSS %ld -> %ld KiB (after warm-up %ld), fds %ld -> %ld, threads %ld -> %ld, "
                "%zu samples\n",
                phase.c_str(), a.RssKiB, z.RssKiB, b.RssKiB, a.Fds, z.Fds, a.Threads, z.Threads,
                Samples.size());
  }
};

} // namespace soak
