#pragma once
// A disk that fills up, for tests: while the guard lives, no file the process writes may grow
// beyond `bytes`, and the signal that would end the process is ignored, so writes past the limit
// fail with EFBIG exactly where a full disk fails them with ENOSPC. Unlike a read-only folder,
// this stops the superuser too (the tests and CI run as root). The old limit and signal handler
// come back with the object.

#include <csignal>
#include <sys/resource.h>

namespace testfiles {

class TFullDisk {
public:
  explicit TFullDisk(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &Saved);
    SavedHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{bytes, Saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
  }
  ~TFullDisk() {
    setrlimit(RLIMIT_FSIZE, &Saved);
    std::signal(SIGXFSZ, SavedHandler);
  }
  TFullDisk(const TFullDisk&) = delete;
  TFullDisk& operator=(const TFullDisk&) = delete;

private:
  rlimit Saved{};
  void (*SavedHandler)(int) = nullptr;
};

} // namespace testfiles
