#pragma once
// The sound-card mixer controls that the program takes over while it measures. For each control
// it remembers the user's setting, finds out with two probe patterns whether another program is
// holding the control, keeps the program's own values in force against outside changes once it
// holds the control, and gives the user's setting back when it lets go.
//
// Every report goes to the log as an error (Name + ": " + the text). Everything runs on the
// user-interface thread; the mixer posts its change notices to the object's hidden window.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dravik/audio/uCommon.h"
#include "platform/mixer.h"

class QObject;

namespace dravik {

// An event that only tells who raised it.
using TNotifyEvent = std::function<void(void* Sender)>;

// One control's values: Channels x Items 32-bit values (unsigned, signed or Boolean), the value
// of channel c and item i at c x Items + i.
using TDetailsBuffer = std::vector<DWORD>;

struct TCtrlData {
  bool Captured = false;                  // the program holds the control
  // Another program held the control when the program tried to capture it.
  bool HeldElsewhere = false;
  // Another program took the control over while the program held it: the user's values are
  // still to be given back.
  bool Seized = false;
  std::string ControlName;                // the control's name, for messages
  MIXERCONTROLDETAILS Details{};          // passed to every get and set of this control
  int32_t Channels = 0;                   // 1 for a uniform control
  int32_t Items = 0;                      // 1 unless the control has multiple items
  uint32_t ControlType = 0;
  TDetailsBuffer SavedDetails;            // the user's values, read when the control was added
  TDetailsBuffer CurrentDetails;          // the values the program keeps in force
  TDetailsBuffer QueryDetails;            // scratch for reading the device back
  std::array<TDetailsBuffer, 2> CheckDetails; // the two probe patterns
};
using TCtrlDataArray = std::vector<TCtrlData>;

class TMixerControls : public TMMWinControl {
public:
  // The owner, when given, deletes the object with itself.
  TMixerControls(QObject* AOwner, TLogEvent AOnLog);
  // Gives every control back and closes the mixer.
  ~TMixerControls() override;
  TMixerControls(const TMixerControls&) = delete;
  TMixerControls& operator=(const TMixerControls&) = delete;

  HMIXER Handle = nullptr;  // the open mixer; kept after closing
  TNotifyEvent OnChange;    // after the program wrote a value or wrote its values back
  TCtrlDataArray Controls;  // appended by AddControl, emptied only by Init

  // Gives every control back (last first), forgets them all, closes the mixer.
  virtual void Init();
  bool CheckIndex(int32_t Index, const std::string& Caller);
  // The new control index, or -1.
  int32_t AddControl(const MIXERCONTROLA& Control, int32_t Channels);
  // True when the control is held, by this program or by another.
  bool IsCaptured(int32_t Index);
  bool CaptureControl(int32_t Index);
  // True when the user's values are back, or the control was not held. A control that
  // another program took over gets the user's values written back too; when that program
  // still holds it, the log says so and the answer is true all the same.
  bool LeaveControl(int32_t Index);
  bool SetValue(int32_t Index, int32_t Channel, int32_t Item, DWORD Value);
  // The symbolic name of LastResult; empty for success.
  std::string ErrorText() const;

protected:
  void HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  std::string NativeDetail() const override;

private:
  // Outcome of writing one probe pattern and reading the device back.
  enum class TProbe { Free, Held, Failed };

  MMRESULT GetDetails(TCtrlData& Ctrl, TDetailsBuffer& Buffer);
  MMRESULT SetDetails(TCtrlData& Ctrl, TDetailsBuffer& Buffer);
  bool AddControlDetails(TCtrlData& Ctrl, const MIXERCONTROLA& Control, int32_t Channels);
  bool ProbeControl(int32_t Index);
  TProbe ProbeOnce(int32_t Index, size_t Probe);
  void ControlChanged(WPARAM Mixer, LPARAM ControlID);
  void WriteBack(size_t Index);
};

} // namespace dravik
