#pragma once
// The boxes of the virtual card and their devices. A box runs its jig (TBoxSimulator) whenever
// one of its devices is open: what its output plays drives the circuit, and what the circuit
// gives its inputs is recorded by its input. The simulator runs at the input's rate (the
// output's when only the output is open); an output at another rate is not heard.
//
// Everything here runs under the card's lock.

#include "platform/src/uWaveBackend.h"
#include "platform/src/uWaveStream.h"
#include "platform/vmbox.h"
#include "platform/vmbox/uBoxSimulator.h"

#include <memory>
#include <vector>

namespace platform::vmbox {

class TVirtualCard;

// The state of one device of a box.
struct TPortSlot {
  std::shared_ptr<wave::TWaveStream> Stream;
  bool Vanished = false;
  uint64_t ReturnDelayNs = 0;
  // Fast-mode pacing: the program's hand-backs seen so far, and whether its grace ran out.
  uint64_t SeenAdditions = 0;
  bool Waived = false;
};

class TVirtualBox {
public:
  explicit TVirtualBox(TBoxConfig config);

  const TBoxConfig& Config() const { return Cfg; }
  TPortSlot& Slot(TPort port) { return Slots[port == TPort::Input ? 0 : 1]; }
  const TPortSlot& Slot(TPort port) const { return Slots[port == TPort::Input ? 0 : 1]; }
  bool Active() const { return Slots[0].Stream || Slots[1].Stream; }

  bool Removed = false;           // the card was rebuilt without it
  bool SynchronousOutput = false; // test setting
  uint64_t PendingLoss = 0;       // frames the next opened input loses

  void SetShorted(bool shorted);
  void SetOutputLevel(double level);
  void SetInputLevel(int channel, double level);
  double OutputLevel() const { return OutLevel; }
  double InputLevel(int channel) const { return InLevel[channel]; }

  // Runs the box from card time t0 to t1: plays the output, runs the jig, records the input,
  // and returns buffers whose delayed return is due.
  void Run(uint64_t t0Ns, uint64_t t1Ns);
  // The last device of the box has closed: its next run starts from silence.
  void NoteClosed() {
    if (!Active()) WasActive = false;
  }

private:
  bool PrepareSimulator(uint32_t rate);
  void PlayOutput(wave::TWaveStream& out, size_t frames, uint64_t t1Ns);

  TBoxConfig Cfg;
  TPortSlot Slots[2];
  std::unique_ptr<TBoxSimulator> Simulator;
  uint32_t SimulatorRate = 0;
  uint32_t FailedRate = 0;
  bool WasActive = false;
  bool Shorted;
  double OutLevel;
  double InLevel[2];
  std::vector<double> OutStereo, OutLeft, InStereo; // reused between steps
};

// A box's input or output as a device of the waveform API.
class TVirtualPort : public wave::TWaveDevice {
public:
  TVirtualPort(TVirtualCard& card, std::shared_ptr<TVirtualBox> box, TPort port);

  bool Present() const override;
  std::string Name() const override;
  // Every box is a position of the one virtual card's jig.
  std::string CardName() const override { return "Virtual card"; }
  DWORD Formats() const override;
  WORD Channels() const override { return 2; }
  DWORD Support() const override;
  MMRESULT CheckFormat(const WAVEFORMATEX& format) const override;
  TBackendResult Attach(const std::shared_ptr<wave::TWaveStream>& stream) override;
  void Detach(const wave::TWaveStream& stream) override;

private:
  TVirtualCard& Card;
  const std::shared_ptr<TVirtualBox> Box;
  const TPort Port;
};

// The format bits for devices that accept rates up to maxRate.
DWORD FormatBitsUpTo(uint32_t maxRate);

} // namespace platform::vmbox
