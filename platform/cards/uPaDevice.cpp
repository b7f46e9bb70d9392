#include "platform/cards/uPaDevice.h"

#include "platform/cards/uPaBackend.h"
#include "platform/cards/uPaErrors.h"
#include "platform/cards/uPaLibrary.h"
#include "platform/cards/uPaLimits.h"
#include "platform/src/uCardAddress.h"
#include "platform/src/uDeadlineCall.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace platform::portaudio {
namespace {

constexpr uint32_t MinRate = 8000;
constexpr uint32_t MaxRate = 192000;
// Callbacks stop for this long only when the device no longer serves the stream.
constexpr uint64_t StallNs = 5'000'000'000;

// The standard rates with their four format bits (mono/stereo at 8 and 16 bits).
struct TRateGroup {
  uint32_t Rate;
  DWORD Bits;
};
constexpr TRateGroup RateGroups[] = {
    {11025, 0x0000Fu}, {22050, 0x000F0u}, {44100, 0x00F00u}, {48000, 0x0F000u}, {96000, 0xF0000u},
};

// The native detail of a call that was abandoned: "PortAudio: no answer within 1.5 s", or, for
// one that was not waited for, why.
std::string NoAnswerDetail(std::chrono::milliseconds limit) {
  if (limit.count() == 0) return "PortAudio: no answer: an earlier call has not come back";
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(limit.count()) / 1000);
  return std::string("PortAudio: no answer within ") + seconds + " s";
}

// Calls into the library that were given up on and have not come back, on any device. While
// there is one, it may hold the library's lock for ever, and any other call would only queue
// behind it: such a call is not waited for at all.
std::atomic<int>& LibraryUnanswered() {
  static auto* count = new std::atomic<int>(0); // never destroyed: late calls may end at exit
  return *count;
}

// Under PaLock: aborts and closes a stream the library still has open. The abort returns once
// no callback runs any more.
void CloseHost(THostStream& host) {
  if (!host.Stream || host.Closed) return;
  PaApi()->Pa_AbortStream(host.Stream);
  PaApi()->Pa_CloseStream(host.Stream);
  host.Closed = true;
}

} // namespace

uint64_t SteadyNs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

TPaDevice::TPaDevice(PaDeviceIndex index, wave::TDirection direction, std::string name,
                     int channels, double latency, bool alsa)
    : DeviceIndex(index), Dir(direction), HostName(std::move(name)),
      HostChannels(std::clamp(channels, 1, 2)), Latency(latency), Alsa(alsa) {}

TPaDevice::~TPaDevice() {
  std::lock_guard lock(Mutex);
  if (!Host) return;
  CallWithin(CloseLimit, [host = Host, stream = Stream] {
    std::lock_guard pa(PaLock());
    CloseHost(*host);
  });
}

std::string TPaDevice::Name() const { return HostName; }

std::string TPaDevice::CardName() const {
  const std::string address = wave::AlsaCardAddress(HostName);
  return address.empty() ? HostName : address;
}

DWORD TPaDevice::Formats() const {
  DWORD bits = 0;
  for (const auto& group : RateGroups) {
    if (RateAccepted(group.Rate)) bits |= group.Bits;
  }
  return bits;
}

MMRESULT TPaDevice::CheckFormat(const WAVEFORMATEX& format) const {
  const bool channels = format.nChannels == 1 || format.nChannels == 2;
  const bool bits = format.wBitsPerSample == 8 || format.wBitsPerSample == 16;
  const uint32_t rate = format.nSamplesPerSec;
  const bool rateOk = rate >= MinRate && rate <= MaxRate && RateAccepted(rate);
  return channels && bits && rateOk ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

// The library's own check is an open of the device, so every answer is kept; a device that
// does not answer accepts nothing, and is asked again once it answers.
bool TPaDevice::RateAccepted(uint32_t rate) const {
  std::lock_guard lock(Mutex);
  if (const auto it = Rates.find(rate); it != Rates.end()) return it->second;
  if (Unresponsive()) return false;
  const PaStreamParameters parameters{DeviceIndex, HostChannels, paFloat32, Latency, nullptr};
  const bool in = Dir == wave::TDirection::In;
  auto accepted = std::make_shared<bool>(false);
  const std::string unanswered = CallWithin(OpenLimit, [parameters, in, rate, accepted] {
    std::lock_guard pa(PaLock());
    *accepted = PaApi()->Pa_IsFormatSupported(in ? &parameters : nullptr,
                                              in ? nullptr : &parameters,
                                              rate) == paFormatIsSupported;
  });
  if (!unanswered.empty()) return false;
  Rates[rate] = *accepted;
  return *accepted;
}

std::string TPaDevice::CallWithin(std::chrono::milliseconds limit, std::function<void()> work,
                                  std::function<void()> late) const {
  const auto device = Unanswered;
  if (LibraryUnanswered() > 0) limit = std::chrono::milliseconds(0);
  const bool answered = RunWithin(limit, std::move(work), [device, late = std::move(late)] {
    if (late) late();
    --*device;
    --LibraryUnanswered();
  });
  if (answered) return {};
  ++*device;
  ++LibraryUnanswered();
  return NoAnswerDetail(limit);
}

TBackendResult TPaDevice::Attach(const std::shared_ptr<wave::TWaveStream>& stream) {
  TPaBackend::Instance().StartWatchdog();
  std::lock_guard lock(Mutex);
  if (Stream) return MMSYSERR_ALLOCATED;
  if (Unresponsive()) return {MMSYSERR_NODRIVER, NoAnswerDetail(std::chrono::milliseconds(0))};
  Stereo.assign(2 * static_cast<size_t>(stream->Rate()), 0.0); // a second: callbacks never grow it
  Active = stream.get();
  LastCallbackNs = SteadyNs();
  const auto chunk = static_cast<unsigned long>(stream->Rate() / 100); // 10 ms per callback
  auto host = std::make_shared<THostStream>();
  auto opened = std::make_shared<TBackendResult>();
  // An open that comes back late is closed at once. Until then its callbacks may read Active
  // and the stream, which the late close keeps alive; the device takes no other open meanwhile.
  const std::string unanswered = CallWithin(
      OpenLimit, [this, host, opened, rate = stream->Rate(), chunk] { *opened = OpenHost(*host, rate, chunk); },
      [host, stream] {
        std::lock_guard pa(PaLock());
        CloseHost(*host);
      });
  if (!unanswered.empty()) return {MMSYSERR_NODRIVER, unanswered};
  if (opened->Code) {
    Active = nullptr;
    return *opened;
  }
  Host = host;
  Stream = stream;
  Failed = false;
  return MMSYSERR_NOERROR;
}

TBackendResult TPaDevice::OpenHost(THostStream& host, double rate, unsigned long chunk) {
  const PaStreamParameters parameters{DeviceIndex, HostChannels, paFloat32, Latency, nullptr};
  const bool in = Dir == wave::TDirection::In;
  std::lock_guard pa(PaLock());
  PaStream* opened = nullptr;
  PaError error = PaApi()->Pa_OpenStream(&opened, in ? &parameters : nullptr,
                                         in ? nullptr : &parameters, rate, chunk, paClipOff,
                                         &Callback, this);
  std::string detail = PaErrorDetail(error);
  if (error != paNoError) return {OpenResult(error), detail};
  // The callback thread runs at real-time priority where the system allows it: a starved
  // callback is a gap in what the card plays.
  if (Alsa && PaApi()->PaAlsa_EnableRealtimeScheduling) {
    PaApi()->PaAlsa_EnableRealtimeScheduling(opened, 1);
  }
  host.Stream = opened;
  error = PaApi()->Pa_StartStream(opened);
  if (error == paNoError) return MMSYSERR_NOERROR;
  detail = PaErrorDetail(error); // before the close: the host's information is the last call's
  CloseHost(host);
  return {OpenResult(error), detail};
}

void TPaDevice::Detach(const wave::TWaveStream& stream) {
  std::lock_guard lock(Mutex);
  if (Stream.get() != &stream) return;
  // A close that does not come back in time is left to finish on its own; it keeps the stream
  // alive for callbacks that may still come, and the device takes no open until it is done.
  const std::string unanswered = CallWithin(CloseLimit, [host = Host, kept = Stream] {
    std::lock_guard pa(PaLock());
    CloseHost(*host);
  });
  if (unanswered.empty()) Active = nullptr;
  Host.reset();
  Stream.reset();
}

bool TPaDevice::Serves(const wave::TWaveStream* stream) const {
  std::lock_guard lock(Mutex);
  return stream && Stream.get() == stream;
}

// The question goes to the library without the device's lock, so a close or an open waiting
// for its own answer never waits for the watchdog too.
void TPaDevice::Check(uint64_t nowNs) {
  std::shared_ptr<THostStream> host;
  {
    std::lock_guard lock(Mutex);
    if (!Stream || Failed) return;
    host = Host;
  }
  struct TAnswer {
    int Active = 1;
    std::string Detail;
  };
  auto answer = std::make_shared<TAnswer>();
  const std::string unanswered = CallWithin(WatchLimit, [host, answer] {
    std::lock_guard pa(PaLock());
    if (host->Closed) return;
    answer->Active = PaApi()->Pa_IsStreamActive(host->Stream);
    if (answer->Active < 0) answer->Detail = PaErrorDetail(answer->Active);
  });
  std::lock_guard lock(Mutex);
  if (Host != host || Failed) return; // closed meanwhile
  const bool answered = unanswered.empty();
  const int active = answered ? answer->Active : -1;
  std::string detail = answered ? answer->Detail : unanswered;
  const uint64_t last = LastCallbackNs;
  if (active == 1 && (nowNs < last || nowNs - last < StallNs)) return;
  if (active == 0) detail = "PortAudio: the stream stopped on its own";
  if (active == 1) detail = "PortAudio: no callback for " + std::to_string(StallNs / 1'000'000'000) +
                            " s";
  Failed = true;
  Stream->Vanish(detail);
}

// ---- The library's thread ----

int TPaDevice::Callback(const void* input, void* output, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
  auto* device = static_cast<TPaDevice*>(self);
  const uint64_t now = SteadyNs();
  device->LastCallbackNs = now;
  if (input) device->Record(static_cast<const float*>(input), frames, now);
  if (output) device->Play(static_cast<float*>(output), frames, now);
  return paContinue;
}

double* TPaDevice::Scratch(size_t frames) {
  if (Stereo.size() < 2 * frames) Stereo.resize(2 * frames);
  return Stereo.data();
}

void TPaDevice::Record(const float* input, size_t frames, uint64_t nowNs) {
  double* stereo = Scratch(frames);
  const double gain[2] = {Gain[0], Gain[1]};
  for (size_t i = 0; i < frames; ++i) {
    const float* frame = input + i * HostChannels;
    stereo[2 * i] = frame[0] * gain[0];
    stereo[2 * i + 1] = frame[HostChannels - 1] * gain[1];
  }
  Active->Record(stereo, frames, nowNs);
}

void TPaDevice::Play(float* output, size_t frames, uint64_t nowNs) {
  double* stereo = Scratch(frames);
  Active->Play(stereo, frames, nowNs);
  const double gain[2] = {Gain[0], Gain[1]};
  for (size_t i = 0; i < frames; ++i) {
    for (int c = 0; c < HostChannels; ++c) {
      output[i * HostChannels + c] = static_cast<float>(stereo[2 * i + c] * gain[c]);
    }
  }
}

} // namespace platform::portaudio
