#include "platform/cards/uAlsaLayout.h"

#include <algorithm>
#include <cctype>

namespace platform::alsa {
namespace {

using mixer::MakeLine;
using mixer::MakeSelector;
using mixer::MakeSwitch;
using mixer::MakeVolume;
using mixer::TControlNode;
using mixer::TDestinationNode;
using mixer::TLineNode;

struct TElement {
  snd_mixer_elem_t* Handle;
  std::string Name;
  bool PlaybackVolume, PlaybackSwitch, PlaybackMono;
  bool CaptureVolume, CaptureSwitch, CaptureMono, CaptureEnum;
  bool Playback() const { return PlaybackVolume || PlaybackSwitch; }
  bool Capture() const { return CaptureVolume || CaptureSwitch; }
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool Contains(const std::string& lower, const char* word) {
  return lower.find(word) != std::string::npos;
}

// The component type a line's name suggests; `fallback` for names that suggest none.
DWORD ComponentOf(const std::string& name, DWORD fallback) {
  const std::string n = Lower(name);
  if (Contains(n, "mic")) return MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
  if (Contains(n, "line")) return MIXERLINE_COMPONENTTYPE_SRC_LINE;
  if (Contains(n, "cd")) return MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
  if (Contains(n, "pcm") || Contains(n, "wave")) return MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
  if (Contains(n, "aux")) return MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY;
  if (Contains(n, "iec958") || Contains(n, "digital") || Contains(n, "spdif")) {
    return MIXERLINE_COMPONENTTYPE_SRC_DIGITAL;
  }
  return fallback;
}

std::vector<TElement> Elements(const TAlsaApi& a, snd_mixer_t* handle) {
  std::vector<TElement> elements;
  for (auto* e = a.snd_mixer_first_elem(handle); e; e = a.snd_mixer_elem_next(e)) {
    if (!a.snd_mixer_selem_is_active(e)) continue;
    TElement el{e, a.snd_mixer_selem_get_name(e),
                a.snd_mixer_selem_has_playback_volume(e) != 0,
                a.snd_mixer_selem_has_playback_switch(e) != 0,
                a.snd_mixer_selem_is_playback_mono(e) != 0,
                a.snd_mixer_selem_has_capture_volume(e) != 0,
                a.snd_mixer_selem_has_capture_switch(e) != 0,
                a.snd_mixer_selem_is_capture_mono(e) != 0,
                a.snd_mixer_selem_is_enum_capture(e) != 0};
    elements.push_back(el);
  }
  return elements;
}

// A line by its place: destination, and source on it (Own for the destination's own line).
struct TPlace {
  size_t Destination;
  size_t Source;
  auto operator<=>(const TPlace&) const = default;
};
constexpr size_t Own = ~size_t{0};

// Builds lines and notes, per control, what it acts on, in the order of the lines' controls.
class TBuilder {
public:
  explicit TBuilder(const TAlsaApi& api) : Api(api) {}

  void Add(TLineNode& line, TPlace place, TControlNode control, snd_mixer_elem_t* element,
           TPart part) {
    line.Controls.push_back(std::move(control));
    Pending[place].push_back({element, part});
  }

  void Volume(TLineNode& line, TPlace place, const TElement& e, bool capture) {
    const std::string name = e.Name + (capture ? " Capture Volume" : " Volume");
    Add(line, place,
        MakeVolume(e.Name + " Volume", name, capture ? e.CaptureMono : e.PlaybackMono), e.Handle,
        capture ? TPart::CaptureVolume : TPart::PlaybackVolume);
  }

  void Mute(TLineNode& line, TPlace place, const TElement& e, bool capture) {
    const std::string name = e.Name + (capture ? " Capture Mute" : " Mute");
    Add(line, place, MakeSwitch(MIXERCONTROL_CONTROLTYPE_MUTE, e.Name + " Mute", name),
        e.Handle, capture ? TPart::CaptureMute : TPart::PlaybackMute);
  }

  // Gives the noted bindings the control ids that Complete has assigned.
  void Bind(TAlsaLayout& layout) {
    auto& destinations = layout.Topology.Destinations;
    for (size_t d = 0; d < destinations.size(); ++d) {
      BindLine(layout, destinations[d].Line, {d, Own});
      for (size_t s = 0; s < destinations[d].Sources.size(); ++s) {
        BindLine(layout, destinations[d].Sources[s], {d, s});
      }
    }
  }

  const TAlsaApi& Api;

private:
  void BindLine(TAlsaLayout& layout, const TLineNode& line, TPlace place) {
    const auto& bindings = Pending[place];
    for (size_t i = 0; i < line.Controls.size() && i < bindings.size(); ++i) {
      layout.Bindings[line.Controls[i].Info.dwControlID] = bindings[i];
    }
  }

  std::map<TPlace, std::vector<TBinding>> Pending;
};

TLineNode ElementLine(const TElement& e, DWORD fallback) {
  return MakeLine(ComponentOf(e.Name, fallback), e.Name, e.Name, 2,
                  MIXERLINE_TARGETTYPE_UNDEFINED);
}

TDestinationNode Speakers(TBuilder& b, const std::vector<TElement>& elements) {
  TDestinationNode speakers;
  speakers.Line = MakeLine(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", "Speakers", 2,
                           MIXERLINE_TARGETTYPE_WAVEOUT);
  const TElement* master = nullptr;
  for (const auto& e : elements) {
    if (e.Playback() && Lower(e.Name) == "master") master = &e;
  }
  for (const auto& e : elements) {
    if (!master && e.Playback()) master = &e;
  }
  if (master) {
    if (master->PlaybackVolume) b.Volume(speakers.Line, {0, Own}, *master, false);
    if (master->PlaybackSwitch) b.Mute(speakers.Line, {0, Own}, *master, false);
  }
  for (const auto& e : elements) {
    if (!e.Playback() || &e == master) continue;
    const TPlace place{0, speakers.Sources.size()};
    TLineNode& line =
        speakers.Sources.emplace_back(ElementLine(e, MIXERLINE_COMPONENTTYPE_SRC_ANALOG));
    if (e.PlaybackVolume) b.Volume(line, place, e, false);
    if (e.PlaybackSwitch) b.Mute(line, place, e, false);
  }
  return speakers;
}

TDestinationNode Recording(TBuilder& b, const std::vector<TElement>& elements) {
  TDestinationNode recording;
  recording.Line = MakeLine(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording", "Recording Control",
                            2, MIXERLINE_TARGETTYPE_WAVEIN);
  const TElement* selector = nullptr;
  std::vector<std::string> items;
  for (const auto& e : elements) {
    if (selector || !e.CaptureEnum) continue;
    selector = &e;
    const int count = std::max(0, b.Api.snd_mixer_selem_get_enum_items(e.Handle));
    for (int i = 0; i < count; ++i) {
      char text[64] = {};
      b.Api.snd_mixer_selem_get_enum_item_name(e.Handle, i, sizeof text - 1, text);
      items.emplace_back(text);
    }
  }
  std::vector<const TElement*> lines;
  for (const auto& e : elements) {
    if (e.Capture()) lines.push_back(&e);
  }
  // The only capture element is the card's line input as far as a program can tell.
  const DWORD fallback = lines.size() == 1 && items.empty() ? MIXERLINE_COMPONENTTYPE_SRC_LINE
                                                            : MIXERLINE_COMPONENTTYPE_SRC_ANALOG;
  std::vector<DWORD> itemSources;
  for (const auto& item : items) {
    DWORD index = 0;
    while (index < lines.size() && Lower(lines[index]->Name) != Lower(item)) ++index;
    if (index == lines.size()) {
      recording.Sources.push_back(MakeLine(ComponentOf(item, fallback), item, item, 2,
                                           MIXERLINE_TARGETTYPE_UNDEFINED));
    }
    itemSources.push_back(index); // fixed below, once the element lines are in place
  }
  const DWORD itemOnly = static_cast<DWORD>(recording.Sources.size());
  for (const TElement* e : lines) {
    const TPlace place{1, recording.Sources.size()};
    TLineNode& line = recording.Sources.emplace_back(ElementLine(*e, fallback));
    if (e->CaptureVolume) b.Volume(line, place, *e, true);
    if (e->CaptureSwitch) b.Mute(line, place, *e, true);
  }
  // Item lines come first, element lines after them.
  DWORD nextItemLine = 0;
  for (auto& source : itemSources) {
    source = source < lines.size() ? itemOnly + source : nextItemLine++;
  }
  if (selector) {
    b.Add(recording.Line, {1, Own},
          MakeSelector(MIXERCONTROL_CONTROLTYPE_MUX, "Recording Src", "Recording Source",
                       itemSources),
          selector->Handle, TPart::CaptureSource);
  }
  return recording;
}

} // namespace

TAlsaLayout BuildLayout(const TAlsaApi& api, snd_mixer_t* handle, const std::string& name) {
  TAlsaLayout layout;
  auto& topology = layout.Topology;
  topology.Caps.wMid = 0xFFFF; // no manufacturer registration
  topology.Caps.wPid = 4;
  topology.Caps.vDriverVersion = 0x0100;
  topology.SetName(name);
  const auto elements = Elements(api, handle);
  TBuilder builder(api);
  topology.Destinations.push_back(Speakers(builder, elements));
  topology.Destinations.push_back(Recording(builder, elements));
  topology.Complete();
  builder.Bind(layout);
  return layout;
}

} // namespace platform::alsa
