// Synchronised calls: worker threads queue a function and block; the main thread runs the queue
// from its waits and, through a small event receiver, from its Qt event loop.

#include "platform/src/synchronize.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/src/suspendpoint.h"
#include "platform/thread.h"

namespace platform {
namespace {

// Recorded while the program starts, on the thread that runs main().
const std::thread::id MainThreadId = std::this_thread::get_id();

struct TCall {
  explicit TCall(const std::function<void()>& method) : Method(method) {}
  std::function<void()> Method;
  std::exception_ptr Error;
  bool Done = false;
  bool Ran = false;
};

struct TCallQueue {
  std::mutex Mutex;
  std::condition_variable Changed;
  std::deque<std::shared_ptr<TCall>> Pending;
  uint64_t Wakes = 0;
  bool Enabled = true;
};

// Never destroyed, so that threads still running at program exit find it intact.
TCallQueue& Queue() {
  static auto* queue = new TCallQueue;
  return *queue;
}

QEvent::Type ServeEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

// Lives on the main thread as a child of the application; each event it receives makes the
// event loop serve the queue. It unregisters itself when the application deletes it.
class TEventLoopServer : public QObject {
public:
  static std::mutex Mutex;
  static TEventLoopServer* Instance;

  ~TEventLoopServer() override {
    std::lock_guard lock(Mutex);
    Instance = nullptr;
  }

  static void Post() {
    std::lock_guard lock(Mutex);
    if (Instance) QCoreApplication::postEvent(Instance, new QEvent(ServeEventType()));
  }

protected:
  bool event(QEvent* e) override {
    // Passing through the mutex orders the event's construction (made under it by a worker)
    // before its use here for thread checkers that cannot see Qt's own queue locks.
    { std::lock_guard lock(Mutex); }
    if (e->type() != ServeEventType()) return QObject::event(e);
    CheckSynchronize(0);
    return true;
  }
};

std::mutex TEventLoopServer::Mutex;
TEventLoopServer* TEventLoopServer::Instance = nullptr;

} // namespace

bool IsMainThread() { return std::this_thread::get_id() == MainThreadId; }

bool CheckSynchronize(DWORD timeoutMs) {
  if (!IsMainThread()) return false;
  detail::AttachToEventLoop();
  return detail::ServeSynchronize(timeoutMs, detail::WakeCount());
}

void SetSynchronizeEnabled(bool enabled) {
  auto& q = Queue();
  std::lock_guard lock(q.Mutex);
  q.Enabled = enabled;
  if (enabled) return;
  for (auto& call : q.Pending) call->Done = true; // released without running
  q.Pending.clear();
  q.Changed.notify_all();
}

namespace detail {

bool SynchronizeFromWorker(const std::function<void()>& method) {
  auto call = std::make_shared<TCall>(method);
  auto& q = Queue();
  {
    std::lock_guard lock(q.Mutex);
    if (!q.Enabled) return false;
    q.Pending.push_back(call);
    ++q.Wakes;
    q.Changed.notify_all();
  }
  TEventLoopServer::Post();
  {
    std::unique_lock lock(q.Mutex);
    q.Changed.wait(lock, [&] { return call->Done; });
  }
  SuspendPoint();
  if (call->Error) std::rethrow_exception(call->Error);
  return call->Ran;
}

uint64_t WakeCount() {
  auto& q = Queue();
  std::lock_guard lock(q.Mutex);
  return q.Wakes;
}

void WakeMainThread() {
  auto& q = Queue();
  std::lock_guard lock(q.Mutex);
  ++q.Wakes;
  q.Changed.notify_all();
}

bool ServeSynchronize(DWORD timeoutMs, uint64_t seen) {
  auto& q = Queue();
  std::unique_lock lock(q.Mutex);
  const auto ready = [&] { return !q.Pending.empty() || q.Wakes != seen; };
  if (timeoutMs == INFINITE) {
    q.Changed.wait(lock, ready);
  } else {
    q.Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
  }
  bool ran = false;
  while (!q.Pending.empty()) {
    const auto call = q.Pending.front();
    q.Pending.pop_front();
    lock.unlock();
    try {
      call->Method();
    } catch (...) {
      call->Error = std::current_exception();
    }
    lock.lock();
    call->Ran = true;
    call->Done = true;
    q.Changed.notify_all();
    ran = true;
  }
  return ran;
}

void AttachToEventLoop() {
  auto* app = QCoreApplication::instance();
  if (!app) return;
  {
    std::lock_guard lock(TEventLoopServer::Mutex);
    if (TEventLoopServer::Instance) return;
  }
  // Only the main thread creates it; the lock guards the pointer against posting workers.
  auto* server = new TEventLoopServer;
  server->setParent(app);
  std::lock_guard lock(TEventLoopServer::Mutex);
  TEventLoopServer::Instance = server;
}

} // namespace detail
} // namespace platform
