#pragma once
// The thread class of the worker threads, and the synchronise-with-main-thread facility.
//
// A TThread is born suspended: C++ constructs the base before the derived class, so no Execute
// may start inside a constructor. Resume (or StartThread<T>, which constructs and resumes in one
// step) starts it. Suspension is cooperative: a thread that suspends itself stands still at once;
// a suspension asked by another thread takes effect at the thread's next suspend point, which is
// CheckSuspend, Synchronize, or any WaitForSingleObject or Sleep of that thread. A thread blocked
// in a wait therefore does no further work after the wait until it is resumed.
//
// Synchronize runs a function on the main thread (the thread that started the program) and
// returns when it has run. The main thread serves these calls from its Qt event loop when a
// QCoreApplication exists, and whenever it waits in WaitFor, CheckSynchronize or
// platform::ProcessMessages, so none of those waits deadlocks against a synchronising thread.
// A plain WaitForSingleObject on the main thread does not serve them.

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/wintypes.h"

namespace platform {

class TThread {
public:
  TThread();
  // Ends the thread (Terminate, then waits for it, serving synchronised calls on the main
  // thread). A derived class whose Execute uses its own members must call TerminateAndWait in its
  // own destructor, before those members die; the base destructor is a last resort that is safe
  // only when Execute has already returned or never started.
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts a thread that has not run yet, or lets a suspended thread go on. No effect on a
  // running or finished thread; suspensions are not counted.
  void Resume();
  // On the thread itself: stands still until resumed (or terminated). From another thread: asks
  // the thread to stand still at its next suspend point and returns at once.
  void Suspend();
  // True from a Suspend until the next Resume, and before the first start. Any thread may poll it.
  bool Suspended() const;
  // True while the thread actually stands still under a suspension still in force, or has not
  // been started: the state a window can wait for before it lets the program end.
  bool Idle() const;

  // Asks Execute to end (it polls Terminated) and releases a suspended thread so that it can run
  // to its end. Calls TerminatedSet, where a thread that sleeps on an event can wake itself.
  void Terminate();
  bool Terminated() const;
  // True once Execute and DoTerminate have returned, or when the thread was terminated before it
  // ever started.
  bool Finished() const;

  // Waits until the thread has finished; false on time-out, or when called by the thread itself.
  // On the main thread it serves synchronised calls meanwhile.
  bool WaitFor(DWORD timeoutMs = INFINITE);
  // Terminate, WaitFor and release the operating-system thread.
  void TerminateAndWait();

  // Runs `method` on the main thread (at once when called there) and returns when it has run,
  // rethrowing what it threw. False, without running it, when `method` is empty or when
  // synchronised calls have been switched off (SetSynchronizeEnabled).
  static bool Synchronize(const std::function<void()>& method);

  // What escaped from Execute or DoTerminate; read it once Finished.
  std::exception_ptr FatalException() const;

  // Called on the thread, synchronised with the main thread, after Execute has returned. Set it
  // before the thread starts.
  std::function<void()> OnTerminate;

protected:
  virtual void DoTerminate();
  virtual void Execute() = 0;
  virtual void TerminatedSet() {}
  // A suspend point for loops that do not wait: stands still while a suspension is in force.
  void CheckSuspend();

private:
  void Run();
  void Park(std::unique_lock<std::mutex>& lock);
  static void SuspendHook(void* self);

  mutable std::mutex Mutex;
  std::condition_variable Changed;
  std::thread Worker;
  bool Started = false;
  bool SuspendRequested = true;
  bool Parked = false;
  bool TerminateRequested = false;
  bool IsFinished = false;
  std::exception_ptr Fatal;
};

// Constructs a T (a TThread) and starts it at once: a thread "created running".
template <class T, class... Args>
std::unique_ptr<T> StartThread(Args&&... args) {
  auto thread = std::make_unique<T>(std::forward<Args>(args)...);
  thread->Resume();
  return thread;
}

// True on the thread that started the program.
bool IsMainThread();

// On the main thread: waits up to timeoutMs (INFINITE allowed) for a synchronised call and runs
// every pending one; true when at least one ran. Returns early when a thread finishes. On any
// other thread it returns false at once.
bool CheckSynchronize(DWORD timeoutMs = 0);

// Shutting down: with false, every pending and every later Synchronize returns false at once
// without running its method, so worker threads cannot hang on a main thread that no longer
// serves them (call it once the main loop has ended and before waiting for the threads).
// True switches synchronised calls back on.
void SetSynchronizeEnabled(bool enabled);

} // namespace platform
