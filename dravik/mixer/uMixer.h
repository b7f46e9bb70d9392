#pragma once
// Binds the sound card's mixer to one waveform device: finds the destination line that the
// device uses (recording for the capture device, speakers for the playback device), takes over
// its mute (unmuted), master volume (full scale) and source selector, mutes the source lines,
// routes exactly one source line into the destination and sets the level of each channel. All
// takeovers go through the capture protocol of TMixerControls, so the user's settings come back
// when another device is bound or the object is destroyed.

#include <cstdint>
#include <string>
#include <vector>

#include "dravik/mixer/uMixerControls.h"

namespace dravik {

// One source line connected to the destination, in the mixer's source order.
struct TSrcLineData {
  std::string ShortName;
  int32_t VolumeIndex = -1;    // control index of the line's first volume; -1: none
  std::vector<double> Volumes; // last level set per channel (0..1); empty without a volume
  int32_t MuteIndex = -1;      // control index of the line's first mute; -1: none
  int32_t SelectorItem = -1;   // the selector item that routes this line; -1: none
};

class TMixer : public TMixerControls {
public:
  TMixer(QObject* AOwner, TLogEvent AOnLog);
  // Gives every control back and closes the mixer.
  ~TMixer() override;

  MIXERCAPSA Caps{};
  MIXERLINEA Line{};                   // work record for the destination and each source
  MIXERLINECONTROLSA LineControls{};
  std::vector<MIXERCONTROLA> ControlBuffer;
  std::vector<TSrcLineData> Sources;
  int32_t SelectorIndex = -1;          // the destination's MUX or MIXER control; -1: none
  int32_t MasterVolumeIndex = -1;      // the destination's volume; -1: none
  std::vector<double> MasterVolumes;   // last level set per destination channel (0..1)
  int32_t CurrentSource = -1;          // the routed source; -1: none

  // Bind the mixer of a capture or playback device (names the object "MixerIn" / "MixerOut").
  bool SetWaveIn(int32_t WaveDeviceID);
  bool SetWaveOut(int32_t WaveDeviceID);
  // Opens the mixer and sets up the destination of this component type.
  bool SetDevice(UINT MixerID, DWORD DestinationType);

  int32_t SourceCount() const { return static_cast<int32_t>(Sources.size()); }
  // The source's short name; empty for an index outside the list.
  std::string SourceName(int32_t Index) const;
  // Routes another source line; the caller reads CurrentSource back.
  void SetSource(int32_t Index);
  // An empty caller name keeps the checks silent.
  bool CheckSource(const std::string& Caller = {});
  bool CheckChannel(int64_t Channel, const std::string& Caller = {});
  // Level channels: the current source's, else the destination's master volume's, else 0.
  int32_t ChannelCount();
  void SetVolume(uint32_t Channel, double Level);
  // The level last set on the channel (not read from the device).
  double GetVolume(uint32_t Channel);

  void Init() override;

  // The last SetDevice completed its setup.
  bool Ready() const { return DeviceReady; }
  // The name of the control that another program held, so that the last SetDevice could not
  // take it over; empty when none was.
  const std::string& HeldControl() const { return FHeldControl; }

private:
  // Captures a control for the setup; on failure says so and notes a control that another
  // program holds.
  bool TakeOver(int32_t Index, const std::string& P, const MIXERCONTROLA& Control);
  bool OpenMixer(UINT MixerID, std::string& P);
  bool FindDestination(DWORD DestinationType, const std::string& P);
  bool QueryControls(const MIXERLINEA& Of);
  bool TakeDestinationControls(const std::string& P,
                               std::vector<MIXERCONTROLDETAILS_LISTTEXTA>& Items);
  bool TakeDestinationMute(const std::string& P, const MIXERCONTROLA& Control);
  bool TakeMasterVolume(const std::string& P, const MIXERCONTROLA& Control, DWORD Channels);
  bool TakeSelector(const std::string& P, const MIXERCONTROLA& Control, DWORD Channels,
                    std::vector<MIXERCONTROLDETAILS_LISTTEXTA>& Items);
  bool ListSources(UINT MixerID, DWORD DestinationType, const std::string& P,
                   const std::vector<MIXERCONTROLDETAILS_LISTTEXTA>& Items);
  bool TakeSourceControls(const std::string& P, size_t S);
  bool RouteSource(int32_t Index, const std::string& Q);
  bool LeaveOldSource(const std::string& Q);
  bool SelectNewSource(int32_t Index, const std::string& Q);

  bool DeviceReady = false; // the last SetDevice completed its setup
  std::string FHeldControl;
};

} // namespace dravik
