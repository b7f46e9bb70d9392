#pragma once
// Shared by the analysis tests: the measuring core driven as the main window drives it (output
// level handling, block handler, next-block requests) on the virtual card in fast mode, and the
// figures that compare its results with a box's true circuit.

#include <algorithm>
#include <chrono>
#include <complex>
#include <functional>
#include <string>
#include <vector>

#include "platform/thread.h"
#include "platform/vmbox.h"
#include "platform/tests/support/app.h"
#include "sorvane/analysis/uSignalIn.h"
#include "sorvane/engine/uWaveOut.h"

namespace analysistest {

using namespace std::chrono_literals;
using sorvane::TWaveData;
namespace vmbox = platform::vmbox;
using Complex = std::complex<double>;

using testsupport::WaitUntil;

inline Complex Bin(const sorvane::TChannelData& spectrum, int k) {
  return {spectrum[2 * k], spectrum[2 * k + 1]};
}

// What the window does with a processed block, by its mode.
enum class TTask { Show, Impedance, Transfer };

// Playback and the measuring core on one box of the card, wired and level-controlled as the
// main window does it.
struct TMeter {
  static constexpr int N = 2048;

  sorvane::TWaveOut Out;
  sorvane::TSignalIn In;
  double Level = 1;
  double LoHz = 20, HiHz = 22000; // the range of the test signal and of the results
  double Rref = 10;
  TTask Task = TTask::Show;
  bool Running = false;

  std::vector<std::string> Statuses, Texts, Errors;
  std::vector<bool> Saturated;
  int LevelChanges = 0;
  size_t LastChangeBlock = 0; // Blocks.size() when the level last changed
  std::vector<TWaveData> Blocks;

  TMeter() {
    Out.OnSignalChange = [this](bool on) { In.EnableCollection(on); };
    Out.OnError = [this](const std::string& text) { Errors.push_back(text); };
    In.SetErrorHandler([this](const std::string& text) { Errors.push_back(text); });
    In.OnLevel = [this](double factor) { AdjustLevel(factor); };
    In.OnSaturation = [this](bool on) { Saturated.push_back(on); };
    In.OnBlock = [this](TWaveData& block) { BlockReady(block); };
    In.SetBlockLength(N);
  }
  ~TMeter() { Stop(); }

  void UseBox(size_t box) {
    Out.SetDeviceID(vmbox::DeviceId(box, vmbox::TPort::Output));
    In.SetDeviceID(vmbox::DeviceId(box, vmbox::TPort::Input));
  }
  bool Start() {
    Running = Out.Start() && In.Start();
    if (!Running) Stop();
    return Running;
  }
  void Stop() {
    In.Stop();
    Out.Stop();
    Running = false;
    WaitUntil([&] { return Out.Idle() && In.WaveIn().Idle(); }, 10s);
  }

  void StartLevelCheck() {
    Level = 1;
    Out.SetSignal(N, 1, 440, 440);
    In.StartLevelCheck([this](const std::string& text) { Statuses.push_back(text); }, 440);
    In.Averaging = false;
  }
  // "Continue": the calibration fit over the whole range, while running.
  void ContinueToCalibration() {
    LoHz = 20, HiHz = 22000;
    Out.SetSignal(N, Level, LoHz, HiHz);
    In.StartCalibration(LoHz, HiHz);
    In.Averaging = true;
  }
  void StartMeasurement(TTask task, double loHz, double hiHz) {
    Task = task, LoHz = loHz, HiHz = hiHz;
    Out.SetSignal(N, Level, LoHz, HiHz);
    In.StartMeasurement();
    In.Averaging = true;
  }

  // The window's level rule: never above 1, and a raise at 1 changes nothing.
  void AdjustLevel(double factor) {
    if (Level * factor > 1) {
      if (Level == 1) return;
      Level = 1;
    } else {
      Level = std::min(Level * factor, 1.0);
    }
    ++LevelChanges;
    LastChangeBlock = Blocks.size() + 1;
    Out.SetSignal(N, Level, LoHz, HiHz);
  }

  void BlockReady(TWaveData& block) {
    if (Task == TTask::Impedance) {
      In.ComputeImpedance(block, false, LoHz, HiHz, Rref, true,
                          [this](const std::string& text) { Texts.push_back(text); });
    } else if (Task == TTask::Transfer) {
      In.ComputeTransfer(block, false, LoHz, HiHz);
    }
    Blocks.push_back(block);
    In.RequestNext();
  }

  // Runs until `count` blocks have come since the last level change; false on time-out.
  bool RunSettled(size_t count) {
    return WaitUntil([&] { return Blocks.size() >= LastChangeBlock + count; });
  }
};

// The impedance the program should find between its two input points at f.
inline Complex TrueImpedance(const vmbox::TCircuit& c, double f) { return vmbox::Impedance(c, f); }

} // namespace analysistest
