#pragma once
// An open file descriptor with one owner: closed when the owner goes out of scope, handed on by
// moving, never copied.

#include <utility>

#include <unistd.h>

namespace platform::detail {

class TUniqueFd {
public:
  TUniqueFd() = default;
  explicit TUniqueFd(int fd) : Fd(fd) {}
  ~TUniqueFd() { Close(); }
  TUniqueFd(TUniqueFd&& other) noexcept : Fd(std::exchange(other.Fd, -1)) {}
  TUniqueFd& operator=(TUniqueFd&& other) noexcept {
    if (this != &other) {
      Close();
      Fd = std::exchange(other.Fd, -1);
    }
    return *this;
  }

  int Get() const { return Fd; }
  bool Valid() const { return Fd >= 0; }

  // Closes the descriptor now; close's own result (0, or -1 with errno set), 0 when none was
  // open. The descriptor is given up either way: a failed close must not be retried.
  int Close() { return Fd >= 0 ? ::close(std::exchange(Fd, -1)) : 0; }

private:
  int Fd = -1;
};

} // namespace platform::detail
