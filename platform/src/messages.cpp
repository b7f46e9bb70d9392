// Window-callback targets. Each target's HWND is a number that is never reused, kept in a
// registry under a mutex: PostMessage looks the target up and posts while holding that mutex, and
// a target leaves the registry (under the same mutex) before it removes its pending messages, so
// a post racing with the destruction either lands before the removal or finds no target.

#include "platform/messages.h"

#include <QCoreApplication>
#include <thread>
#include <QEvent>
#include <mutex>
#include <unordered_map>

#include "platform/thread.h"

namespace platform {
namespace {

QEvent::Type MessageEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

class TMessageEvent : public QEvent {
public:
  TMessageEvent(UINT message, WPARAM wParam, LPARAM lParam)
      : QEvent(MessageEventType()), Message(message), WParam(wParam), LParam(lParam) {}
  const UINT Message;
  const WPARAM WParam;
  const LPARAM LParam;
};

class TTargetRegistry {
public:
  HWND Add(TMessageTarget* target) {
    std::lock_guard lock(Mutex);
    const uintptr_t key = NextKey;
    NextKey += KeyStep;
    Targets.emplace(key, target);
    return reinterpret_cast<HWND>(key);
  }

  void Remove(HWND hwnd) {
    std::lock_guard lock(Mutex);
    Targets.erase(reinterpret_cast<uintptr_t>(hwnd));
  }

  // Waits for any post still inside its critical section. Qt's queue hands an event from the
  // posting thread to this one through locks that thread checkers do not see; passing through
  // the registry mutex makes the event's construction visibly happen before its delivery.
  void Fence() { std::lock_guard lock(Mutex); }

  bool Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard lock(Mutex);
    const auto it = Targets.find(reinterpret_cast<uintptr_t>(hwnd));
    if (it == Targets.end()) return false;
    // One queue per receiving thread keeps every message in the order it was posted.
    QCoreApplication::postEvent(it->second, new TMessageEvent(message, wParam, lParam));
    return true;
  }

private:
  static constexpr uintptr_t KeyStep = 16;
  std::mutex Mutex;
  std::unordered_map<uintptr_t, TMessageTarget*> Targets;
  uintptr_t NextKey = 0x20000;
};

// Never destroyed, so that a late post at program exit still finds it intact.
TTargetRegistry& Registry() {
  static auto* registry = new TTargetRegistry;
  return *registry;
}

} // namespace

TMessageTarget::TMessageTarget(QObject* parent) : QObject(parent), Hwnd(Registry().Add(this)) {}

TMessageTarget::~TMessageTarget() {
  Registry().Remove(Hwnd);
  QCoreApplication::removePostedEvents(this, MessageEventType());
}

bool TMessageTarget::event(QEvent* e) {
  Registry().Fence();
  if (e->type() != MessageEventType()) return QObject::event(e);
  const auto* m = static_cast<const TMessageEvent*>(e);
  HandleMessage(m->Message, m->WParam, m->LParam);
  return true;
}

void ProcessMessages() {
  CheckSynchronize(0);
  if (QCoreApplication::instance()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  } else {
    QCoreApplication::sendPostedEvents();
  }
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    ProcessMessages();
    if (!done()) std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return true;
}

} // namespace platform

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return platform::Registry().Post(hwnd, message, wParam, lParam) ? TRUE : FALSE;
}
