#include "platform/src/uDeadlineCall.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace platform {
namespace {

// Shared by the caller and the helper thread, which may outlive the caller's wait.
struct TCallState {
  std::mutex Mutex;
  std::condition_variable Finished;
  bool Done = false;
  bool Abandoned = false;
};

} // namespace

bool RunWithin(std::chrono::milliseconds limit, std::function<void()> work,
               std::function<void()> late) {
  auto state = std::make_shared<TCallState>();
  auto body = [state, work = std::move(work), late = std::move(late)] {
    work();
    bool abandoned = false;
    {
      std::lock_guard lock(state->Mutex);
      state->Done = true;
      abandoned = state->Abandoned;
    }
    state->Finished.notify_all();
    if (abandoned && late) late();
  };
  try {
    std::thread(std::move(body)).detach();
  } catch (const std::system_error&) {
    return false; // no thread to wait for: the call is not made at all
  }
  std::unique_lock lock(state->Mutex);
  if (state->Finished.wait_for(lock, limit, [&] { return state->Done; })) return true;
  state->Abandoned = true;
  return false;
}

} // namespace platform
