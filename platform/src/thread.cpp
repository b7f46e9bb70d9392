// The thread class. One mutex guards the thread's state; the thread stands still ("parks") on a
// condition variable, which is how both a self-suspension and a requested one take effect.

#include "platform/thread.h"

#include <system_error>

#include "platform/src/suspendpoint.h"
#include "platform/src/synchronize.h"

namespace platform {
namespace {

thread_local TThread* CurrentThread = nullptr;

} // namespace

TThread::TThread() {
  if (IsMainThread()) detail::AttachToEventLoop();
}

TThread::~TThread() { TerminateAndWait(); }

void TThread::Resume() {
  if (IsMainThread()) detail::AttachToEventLoop();
  std::lock_guard lock(Mutex);
  if (IsFinished || CurrentThread == this) return;
  if (!Started) {
    try {
      Worker = std::thread(&TThread::Run, this);
    } catch (const std::system_error&) {
      return; // no thread could be created: it stays suspended
    }
    Started = true;
  }
  SuspendRequested = false;
  Changed.notify_all();
}

void TThread::Suspend() {
  std::unique_lock lock(Mutex);
  if (IsFinished || TerminateRequested) return;
  SuspendRequested = true;
  if (CurrentThread == this) Park(lock);
}

bool TThread::Suspended() const {
  std::lock_guard lock(Mutex);
  return SuspendRequested;
}

bool TThread::Idle() const {
  std::lock_guard lock(Mutex);
  // A parked thread that has been released counts as running even before it wakes up.
  return !Started || (Parked && SuspendRequested && !TerminateRequested);
}

void TThread::CheckSuspend() {
  std::unique_lock lock(Mutex);
  if (CurrentThread == this && SuspendRequested && !TerminateRequested) Park(lock);
}

void TThread::Park(std::unique_lock<std::mutex>& lock) {
  Parked = true;
  Changed.wait(lock, [this] { return !SuspendRequested || TerminateRequested; });
  Parked = false;
}

void TThread::SuspendHook(void* self) { static_cast<TThread*>(self)->CheckSuspend(); }

void TThread::Terminate() {
  {
    std::lock_guard lock(Mutex);
    TerminateRequested = true;
    SuspendRequested = false;
    if (!Started) IsFinished = true; // it will never run
    Changed.notify_all();
  }
  TerminatedSet();
}

bool TThread::Terminated() const {
  std::lock_guard lock(Mutex);
  return TerminateRequested;
}

bool TThread::Finished() const {
  std::lock_guard lock(Mutex);
  return IsFinished;
}

std::exception_ptr TThread::FatalException() const {
  std::lock_guard lock(Mutex);
  return Fatal;
}

bool TThread::WaitFor(DWORD timeoutMs) {
  if (CurrentThread == this) return false; // it would wait for itself for ever
  using Clock = std::chrono::steady_clock;
  const bool forever = timeoutMs == INFINITE;
  const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
  if (!IsMainThread()) {
    std::unique_lock lock(Mutex);
    const auto finished = [this] { return IsFinished; };
    if (forever) {
      Changed.wait(lock, finished);
      return true;
    }
    return Changed.wait_until(lock, deadline, finished);
  }
  // The main thread serves synchronised calls while it waits; the thread's end wakes it.
  for (;;) {
    const uint64_t seen = detail::WakeCount();
    if (Finished()) return true;
    DWORD slice = INFINITE;
    if (!forever) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      slice = static_cast<DWORD>(left.count());
    }
    detail::ServeSynchronize(slice, seen);
  }
}

void TThread::TerminateAndWait() {
  Terminate();
  WaitFor();
  std::thread worker;
  {
    std::lock_guard lock(Mutex);
    worker = std::move(Worker);
  }
  if (!worker.joinable()) return;
  if (worker.get_id() == std::this_thread::get_id()) {
    worker.detach(); // destroyed by its own thread: it ends when it returns
  } else {
    worker.join();
  }
}

bool TThread::Synchronize(const std::function<void()>& method) {
  if (!method) return false;
  if (IsMainThread()) {
    method();
    return true;
  }
  return detail::SynchronizeFromWorker(method);
}

void TThread::DoTerminate() {
  if (OnTerminate) Synchronize(OnTerminate);
}

void TThread::Run() {
  CurrentThread = this;
  detail::SetSuspendCheck(&TThread::SuspendHook, this);
  std::exception_ptr fatal;
  try {
    if (!Terminated()) Execute();
  } catch (...) {
    fatal = std::current_exception();
  }
  try {
    DoTerminate();
  } catch (...) {
    if (!fatal) fatal = std::current_exception();
  }
  detail::SetSuspendCheck(nullptr, nullptr);
  {
    std::lock_guard lock(Mutex);
    Fatal = fatal;
    IsFinished = true;
    Changed.notify_all();
  }
  detail::WakeMainThread();
}

} // namespace platform
