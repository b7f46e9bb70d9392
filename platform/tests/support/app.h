#pragma once
// The surroundings every test program of the suite needs: a Qt application (offscreen for
// windows, optionally with the virtual measuring boxes alone in the device lists), and waits
// that pump the message queue or serve synchronised calls until a condition holds.

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <memory>

namespace testsupport {

using namespace std::chrono_literals;

enum class TAppKind { Core, Widgets };

struct TAppOptions {
  TAppKind Kind = TAppKind::Core;
  bool VirtualOnly = false; // VMBOX_ONLY=1: the virtual boxes alone, whatever the machine has
  const char* Name = "test";
};

// A new application; Widgets ones run on the offscreen platform. One may live at a time.
std::unique_ptr<QCoreApplication> MakeApplication(const TAppOptions& options);

// The process's application, made at the first call and never destroyed: windows built on it
// live until the process ends, and a static one would be torn down after the toolkit's own
// statics, and crash.
QCoreApplication& Application(const TAppOptions& options);

// Pumps the message queue until `done` holds; false once the real-time limit has passed.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 60s);

// Waits until `done` holds, serving the synchronised calls of device threads meanwhile; false
// once the real-time limit has passed.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 60s);

} // namespace testsupport
