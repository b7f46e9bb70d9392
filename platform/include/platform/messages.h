#pragma once
// Window-callback targets and the message pump. A TMessageTarget is a hidden window: it owns an
// HWND to which any thread may post (message, wParam, lParam); the messages are delivered on the
// GUI thread, in the order posted, through the virtual HandleMessage. A target that is destroyed
// receives none of the messages still pending for it.

#include <QObject>

#include <chrono>
#include <functional>

#include "platform/wintypes.h"

namespace platform {

class TMessageTarget : public QObject {
  Q_OBJECT
public:
  explicit TMessageTarget(QObject* parent = nullptr);
  ~TMessageTarget() override;

  HWND Handle() const { return Hwnd; }

protected:
  virtual void HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  bool event(QEvent* e) override;

private:
  HWND Hwnd;
};

// Processes every message and event pending for the calling (GUI) thread, including synchronised
// calls from worker threads; returns at once when nothing is pending.
void ProcessMessages();

// Processes messages until `done` holds; false when `limit` of real time ran out first. Between
// rounds it sleeps a tenth of a millisecond, so a wait does not spin a core.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

} // namespace platform

// Posts a message to the target behind hwnd; false when hwnd names no live target.
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
