// Fuzzes the settings-file reader: arbitrary bytes as the file, then a run of reads, writes,
// erasures and saves chosen by the rest of the input. Properties: an unmodified file gives its
// bytes back exactly; every key listed can be read, case-blind; a write that is accepted reads
// back as written and leaves every other value alone; a write is refused exactly for the names
// the file format cannot hold; writing the values a file holds changes nothing, and a section
// erased and written anew looks the same each time; the text written parses back to the same
// settings.

#include "fuzz/fuzz_support.h"
#include "platform/inifile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using platform::TIniFile;
using fuzz::Require;

// The settings as a reader sees them: section -> key -> value, names in lower case.
using TModel = std::map<std::string, std::map<std::string, std::string>>;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string Trim(std::string s) {
  while (!s.empty() && IsBlank(s.back())) s.pop_back();
  size_t start = 0;
  while (start < s.size() && IsBlank(s[start])) ++start;
  return s.substr(start);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool HasAny(const std::string& s, const char* chars) {
  return s.find_first_of(chars) != std::string::npos;
}

// The names the file format can hold, as the reader's header lists them.
bool HoldableSection(const std::string& s) {
  return !s.empty() && Trim(s) == s && !HasAny(s, "]\r\n");
}

bool HoldableKey(const std::string& k) {
  return !k.empty() && Trim(k) == k && !HasAny(k, "=\r\n") && k[0] != '[' && k[0] != ';' &&
         k[0] != '#';
}

// Reads everything the file lists, checking the readers agree with one another.
TModel Snapshot(const TIniFile& ini) {
  TModel model;
  for (const std::string& section : ini.ReadSections()) {
    Require(ini.SectionExists(section) && ini.SectionExists(Upper(section)), "listed section exists");
    Require(model.count(Lower(section)) == 0, "each section listed once");
    auto& keys = model[Lower(section)];
    for (const std::string& key : ini.ReadSection(section)) {
      Require(keys.count(Lower(key)) == 0, "each key listed once");
      Require(ini.ValueExists(Upper(section), Lower(key)), "listed key exists, case-blind");
      const std::string value = ini.ReadString(section, key, "\x01-none-");
      Require(value == Trim(value), "values are read trimmed");
      Require(ini.ReadString(Lower(section), Upper(key), "") == value, "reads are case-blind");
      const int asInt = ini.ReadInteger(section, key, 7);
      if (asInt == ini.ReadInteger(section, key, -7))
        Require(ini.ReadBool(section, key, false) == (asInt != 0), "a bool is an integer");
      Require(std::isfinite(ini.ReadFloat(section, key, 0.0)), "floats read are finite");
      keys[Lower(key)] = value;
    }
  }
  return model;
}

// A value as the file keeps it: line breaks become spaces.
std::string Stored(std::string value) {
  for (char& c : value)
    if (c == '\r' || c == '\n') c = ' ';
  return value;
}

// An existing name (sometimes in other case) or a new one.
std::string PickName(FuzzedDataProvider& in, const std::vector<std::string>& names) {
  const uint8_t choice = in.ConsumeIntegral<uint8_t>();
  if (!names.empty() && choice < 192) {
    const std::string& name = names[choice % names.size()];
    return in.ConsumeBool() ? Upper(name) : name;
  }
  return in.ConsumeRandomLengthString(24);
}

struct TWrite {
  bool Accepted;
  std::string Stored;   // the value a reader should see afterwards
  bool Storable = true; // false for a value the writer must refuse
};

TWrite WriteOne(FuzzedDataProvider& in, TIniFile& ini, const std::string& s, const std::string& k,
                int kind) {
  switch (kind) {
  case 0: {
    const std::string value = in.ConsumeRandomLengthString(48);
    return {ini.WriteString(s, k, value), Trim(Stored(value))};
  }
  case 1: {
    const int value = in.ConsumeIntegral<int>();
    const bool ok = ini.WriteInteger(s, k, value);
    if (ok) Require(ini.ReadInteger(s, k, value ^ 1) == value, "an integer reads back");
    return {ok, std::to_string(value)};
  }
  case 2: {
    const double value = std::bit_cast<double>(in.ConsumeIntegral<uint64_t>());
    const bool ok = ini.WriteFloat(s, k, value);
    Require(!ok || std::isfinite(value), "a float that is not finite is refused");
    if (ok) {
      const double back = ini.ReadFloat(s, k, std::numeric_limits<double>::quiet_NaN());
      Require(std::fabs(back - value) <= 1e-14 * std::fabs(value) +
                                             2 * std::numeric_limits<double>::denorm_min(),
              "a float reads back to 15 digits");
    }
    return {ok, ok ? ini.ReadString(s, k, "") : "", std::isfinite(value)};
  }
  default: {
    const bool value = in.ConsumeBool();
    const bool ok = ini.WriteBool(s, k, value);
    if (ok) Require(ini.ReadBool(s, k, !value) == value, "a bool reads back");
    return {ok, value ? "1" : "0"};
  }
  }
}

void CheckWrite(FuzzedDataProvider& in, TIniFile& ini, TModel& model, int kind) {
  const std::string section = PickName(in, ini.ReadSections());
  const std::string key = PickName(in, ini.ReadSection(section));
  const TWrite w = WriteOne(in, ini, section, key, kind);
  const bool holdable = HoldableSection(section) && HoldableKey(key);
  Require(w.Accepted == (holdable && w.Storable), "refused exactly the bad names and values");
  if (w.Accepted) {
    Require(ini.ReadString(section, key, "\x01-none-") == w.Stored, "a value reads back");
    model[Lower(section)][Lower(key)] = w.Stored;
  }
  Require(Snapshot(ini) == model, "a write changes that value alone");
}

void CheckErase(FuzzedDataProvider& in, TIniFile& ini, TModel& model) {
  const std::string section = PickName(in, ini.ReadSections());
  ini.EraseSection(section);
  Require(!ini.SectionExists(section), "an erased section is gone");
  model.erase(Lower(section));
  Require(Snapshot(ini) == model, "erasing leaves other sections alone");
}

// What a program does with a section it owns: write every value again (which must change
// nothing), or erase the section and write its values back (which, done twice, must give the
// same text the second time).
void CheckRewrite(FuzzedDataProvider& in, TIniFile& ini, TModel& model) {
  const std::vector<std::string> sections = ini.ReadSections();
  if (sections.empty()) return;
  const std::string section = sections[in.ConsumeIntegral<uint8_t>() % sections.size()];
  std::vector<std::pair<std::string, std::string>> entries;
  for (const std::string& key : ini.ReadSection(section))
    entries.emplace_back(key, ini.ReadString(section, key, ""));
  const std::string before = ini.Text();
  for (const auto& [key, value] : entries)
    if (value.find('\r') == std::string::npos) ini.WriteString(section, key, value);
  Require(ini.Text() == before, "writing the values a file holds changes nothing");
  const auto rewrite = [&](TIniFile& file) {
    file.EraseSection(section);
    for (const auto& [key, value] : entries) file.WriteString(section, key, value);
  };
  rewrite(ini);
  model.erase(Lower(section));
  for (const auto& [key, value] : entries)
    if (HoldableSection(section) && HoldableKey(key))
      model[Lower(section)][Lower(key)] = Trim(Stored(value));
  Require(Snapshot(ini) == model, "a section written anew holds its values");
  fuzz::WriteBytes(fuzz::ScratchFile("rewrite.ini"), ini.Text());
  TIniFile again(fuzz::ScratchFile("rewrite.ini"));
  rewrite(again);
  fuzz::RequireSameText(again.Text(), ini.Text(), "a section written anew twice looks the same");
}

// The text as written parses back to the same text and the same settings.
void CheckReparse(const TIniFile& ini, const TModel& model, std::string_view name) {
  const std::string text = ini.Text();
  fuzz::WriteBytes(fuzz::ScratchFile(name), text);
  const TIniFile again(fuzz::ScratchFile(name));
  Require(again.Text() == text, "written text parses back to itself");
  Require(Snapshot(again) == model, "written text parses back to the same settings");
}

void CheckSave(TIniFile& ini, const TModel& model) {
  Require(ini.UpdateFile().Ok, "a scratch file can be saved");
  const TIniFile again(ini.FileName());
  Require(again.Text() == ini.Text(), "the saved file holds the text");
  Require(Snapshot(again) == model, "the saved file holds the settings");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string bytes = in.ConsumeRandomLengthString();
  fuzz::WriteBytes(fuzz::ScratchFile("settings.ini"), bytes);
  TIniFile ini(fuzz::ScratchFile("settings.ini"));
  // A file in UTF-16 is refused whole: it reads as nothing, and there is nothing more to check.
  if (fuzz::StartsAsUtf16(bytes)) {
    Require(!ini.LoadError().empty() && ini.Text().empty(), "a file in UTF-16 is refused");
    return 0;
  }
  Require(ini.LoadError().empty(), "a scratch file loads");
  Require(ini.Text() == bytes, "an unmodified file gives its bytes back");
  TModel model = Snapshot(ini);
  for (int step = 0; step < 32 && in.remaining_bytes() > 0; ++step) {
    const int op = in.ConsumeIntegralInRange(0, 7);
    if (op <= 3) CheckWrite(in, ini, model, op);
    else if (op == 4) CheckErase(in, ini, model);
    else if (op == 5) CheckSave(ini, model);
    else if (op == 6) CheckRewrite(in, ini, model);
    else CheckReparse(ini, model, "reparse.ini");
  }
  CheckReparse(ini, model, "reparse.ini");
  return 0;
}
