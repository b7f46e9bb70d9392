#pragma once
// A processing stage: an ordered list of block consumers that every block is handed to in turn
// until one of them asks to stop. The input calibration is built on it; its consumers are the
// analysis and whatever else the main window registers. Used on the main window's thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dravik/audio/uCommon.h" // TLogEvent, TDataMatrix

namespace dravik {

// A block consumer: called with the data value it was registered with and the block; true
// stops the dispatch (and, handed back to the capture device, the capture).
using TBlockConsumer = std::function<bool(void* Data, TDataMatrix& Block)>;

class TSignalProcessing {
public:
  TSignalProcessing() = default;
  virtual ~TSignalProcessing() = default;
  TSignalProcessing(const TSignalProcessing&) = delete;
  TSignalProcessing& operator=(const TSignalProcessing&) = delete;

  // Where the stage reports; the texts carry no name in front. Unassigned: nothing reported.
  TLogEvent OnLog;

  // Appends a consumer at the end of the list; returns its index.
  virtual int32_t AddConsumer(TBlockConsumer Callback, void* Data = nullptr);
  // Calls the consumers in list order; the first that returns true ends the dispatch and the
  // result is true. False for an empty list or when every consumer returned false.
  virtual bool Process(TDataMatrix& Block);

  size_t ConsumerCount() const { return Consumers.size(); }

protected:
  void LogError(const std::string& Msg) const;
  void LogInfo(const std::string& Msg) const;

private:
  struct TConsumerEntry {
    TBlockConsumer Callback;
    void* Data = nullptr;
  };
  std::vector<TConsumerEntry> Consumers;
};

// Frees one part of a signal chain and reports it with the chain's own texts. Destructors
// report their own failures and do not throw; the catch keeps the release of the next part
// going should one ever do so.
template <typename T>
void FreeAndReport(std::unique_ptr<T>& Part, const TLogEvent& Report, const std::string& Done,
                   const std::string& Failed) {
  try {
    Part.reset();
    if (Report) Report(Done, true);
  } catch (...) {
    if (Report) Report(Failed, false);
  }
}

} // namespace dravik
