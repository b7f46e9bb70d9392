#include "dravik/signal/uSignalProcessing.h"

#include <utility>

namespace dravik {

int32_t TSignalProcessing::AddConsumer(TBlockConsumer Callback, void* Data) {
  Consumers.push_back({std::move(Callback), Data});
  return static_cast<int32_t>(Consumers.size() - 1);
}

bool TSignalProcessing::Process(TDataMatrix& Block) {
  // By index and on a copy: a consumer may register another one while it runs.
  for (size_t i = 0; i < Consumers.size(); ++i) {
    const TConsumerEntry consumer = Consumers[i];
    // An unassigned callback is skipped like any unassigned event.
    if (consumer.Callback && consumer.Callback(consumer.Data, Block)) return true;
  }
  return false;
}

void TSignalProcessing::LogError(const std::string& Msg) const {
  if (OnLog) OnLog(Msg, false);
}

void TSignalProcessing::LogInfo(const std::string& Msg) const {
  if (OnLog) OnLog(Msg, true);
}

} // namespace dravik
