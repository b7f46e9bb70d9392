// Window-callback targets. Each target's HWND is a number that is never reused, kept in a
// handle table: PostMessage looks the target up and posts while holding the table's lock, and a
// target leaves the table (under the same lock) before it removes its pending messages, so a
// post racing with the destruction either lands before the removal or finds no target.

#include "platform/messages.h"

#include <QCoreApplication>
#include <thread>
#include <QEvent>

#include "platform/src/uHandleTable.h"
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

// Never destroyed, so that a late post at program exit still finds it intact.
detail::THandleTable<TMessageTarget*>& Registry() {
  static auto* registry = new detail::THandleTable<TMessageTarget*>(0x20000);
  return *registry;
}

// Posts while the target cannot leave the table: one queue per receiving thread keeps every
// message in the order it was posted.
bool Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return Registry().With(hwnd, [&](TMessageTarget* target) {
    QCoreApplication::postEvent(target, new TMessageEvent(message, wParam, lParam));
  });
}

} // namespace

TMessageTarget::TMessageTarget(QObject* parent)
    : QObject(parent), Hwnd(static_cast<HWND>(Registry().Add(this))) {}

TMessageTarget::~TMessageTarget() {
  Registry().Remove(Hwnd);
  QCoreApplication::removePostedEvents(this, MessageEventType());
}

bool TMessageTarget::event(QEvent* e) {
  // Waits for any post still inside its critical section. Qt's queue hands an event from the
  // posting thread to this one through locks that thread checkers do not see; passing through
  // the table's lock makes the event's construction visibly happen before its delivery.
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
  return platform::Post(hwnd, message, wParam, lParam) ? TRUE : FALSE;
}
