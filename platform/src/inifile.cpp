#include "platform/inifile.h"

#include "platform/src/uUniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace fs = std::filesystem;

namespace {

// A settings file is a few kilobytes; anything far larger is not one, and is not loaded whole.
constexpr off_t MaxFileBytes = 16 * 1024 * 1024;
constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// "[name]" (blanks allowed around and inside the brackets, anything after "]" ignored).
std::optional<std::string_view> HeaderName(std::string_view line) {
  const std::string_view t = Trim(line);
  if (t.empty() || t.front() != '[') return std::nullopt;
  const size_t close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

struct TEntryView {
  std::string_view Key;
  std::string_view Value; // trimmed
  size_t ValueStart;      // where the value text begins in the line, after "=" and blanks
};

// "key=value"; comments (";" or "#" first), headers and lines without a key are not entries.
std::optional<TEntryView> ParseEntry(std::string_view line) {
  const std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[') return std::nullopt;
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  const std::string_view key = Trim(line.substr(0, eq));
  if (key.empty()) return std::nullopt;
  size_t start = eq + 1;
  while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
  return TEntryView{key, Trim(line.substr(eq + 1)), start};
}

bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }

bool ValidSection(std::string_view name) {
  return !name.empty() && Trim(name) == name &&
         name.find_first_of("]\r\n") == std::string_view::npos;
}

bool ValidKey(std::string_view key) {
  return !key.empty() && Trim(key) == key && key.find_first_of("=\r\n") == std::string_view::npos &&
         key.front() != '[' && key.front() != ';' && key.front() != '#';
}

std::optional<int> ParseInteger(std::string_view text) {
  std::string_view t = Trim(text);
  bool negative = false;
  if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  int base = 10;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t.remove_prefix(2);
  }
  unsigned long long magnitude = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), magnitude, base);
  if (t.empty() || ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
  const unsigned long long limit = static_cast<unsigned long long>(INT_MAX) + (negative ? 1 : 0);
  if (magnitude > limit) return std::nullopt;
  const long long value = static_cast<long long>(magnitude);
  return static_cast<int>(negative ? -value : value);
}

std::optional<double> ParseFloat(std::string_view text) {
  std::string_view t = Trim(text);
  if (t.size() > 1 && t.front() == '+' && t[1] != '-') t.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (t.empty() || ec != std::errc() || end != t.data() + t.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

// The largest magnitude whose 15-digit text still reads as a finite number: the largest doubles
// round up to 1.79769313486232e+308, which overflows when read back.
constexpr double LargestWritable = 1.79769313486231e308;

std::string FormatFloat(double value) {
  value = std::clamp(value, -LargestWritable, LargestWritable);
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                       std::chars_format::general, 15);
  return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

std::string Quoted(const fs::path& path) { return "\"" + path.string() + "\""; }

struct TFileContents {
  bool Exists = false;
  std::string Text;
  std::string Error;
};

TFileContents ReadWholeFile(const fs::path& path) {
  TFileContents file;
  // Without blocking: a named pipe would otherwise wait for a writer for ever. A regular file
  // reads as it would without the flag.
  const detail::TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.Valid()) {
    if (errno != ENOENT && errno != ENOTDIR) file.Error = std::strerror(errno);
    return file;
  }
  file.Exists = true;
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) file.Error = std::strerror(errno);
  else if (!S_ISREG(st.st_mode)) file.Error = "not a regular file";
  else if (st.st_size > MaxFileBytes) file.Error = "the file is too large for a settings file";
  char chunk[8192];
  while (file.Error.empty()) {
    const ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
    if (n == 0) break;
    if (n > 0) file.Text.append(chunk, static_cast<size_t>(n));
    else if (errno != EINTR) file.Error = std::strerror(errno);
  }
  // A file in UTF-16 would read as nothing and be written back in two encodings.
  const std::string_view start = std::string_view(file.Text).substr(0, 2);
  if (file.Error.empty() && (start == "\xFF\xFE" || start == "\xFE\xFF"))
    file.Error = "the file is in UTF-16, not in UTF-8";
  if (!file.Error.empty()) file.Text.clear();
  return file;
}

} // namespace

TIniFile::TIniFile(fs::path fileName) : Path(std::move(fileName)) {
  TFileContents file = ReadWholeFile(Path);
  LoadReason = file.Error;
  ReadText = file.Text;
  Parse(file.Text);
}

std::string TIniFile::LoadError() const {
  if (LoadReason.empty()) return {};
  return "Cannot read the settings file " + Quoted(Path) + ": " + LoadReason + ".";
}

void TIniFile::Parse(std::string_view text) {
  if (text.substr(0, Utf8Bom.size()) == Utf8Bom) {
    ByteOrderMark = Utf8Bom;
    text.remove_prefix(Utf8Bom.size());
  }
  Sections.assign(1, TSection{});
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    TLine line;
    if (nl == std::string_view::npos) {
      line.Text = text;
      text = {};
    } else {
      const bool crlf = nl > 0 && text[nl - 1] == '\r';
      line.Text = text.substr(0, crlf ? nl - 1 : nl);
      line.End = crlf ? "\r\n" : "\n";
      text.remove_prefix(nl + 1);
    }
    if (const auto name = HeaderName(line.Text))
      Sections.push_back(TSection{std::string(*name), true, {}, {}, false});
    Sections.back().Lines.push_back(std::move(line));
  }
}

// An erased section keeps the blank lines that set the next section apart, unseen, so that the
// section written again looks as it did.
bool TIniFile::Shown(const TSection& section) {
  return section.HasHeader || section.Name.empty();
}

// Taken from the text as it stands, not as it was read: after the first section was erased the
// text starts elsewhere, and the file read again must add lines the same way. A file of one
// unended line that ends in CR gets CR LF ends, so that its line end stays a CR LF when read again.
std::string TIniFile::NewLineEnd() const {
  for (const TSection& section : Sections) {
    if (!Shown(section) || section.Lines.empty()) continue;
    const TLine& first = section.Lines.front();
    if (!first.End.empty()) return first.End;
    return first.Text.ends_with('\r') ? "\r\n" : "\n";
  }
  return "\n";
}

std::string TIniFile::Text() const {
  std::string text = ByteOrderMark;
  for (const TSection& section : Sections)
    if (Shown(section))
      for (const TLine& line : section.Lines) text += line.Text + line.End;
  return text;
}

const TIniFile::TSection* TIniFile::FindSection(std::string_view name) const {
  for (const TSection& section : Sections)
    if (section.HasHeader && SameName(section.Name, name)) return &section;
  return nullptr;
}

TIniFile::TSection* TIniFile::FindSection(std::string_view name) {
  return const_cast<TSection*>(std::as_const(*this).FindSection(name));
}

void TIniFile::Index(const TSection& section) {
  if (section.Indexed) return;
  section.Keys.clear();
  for (size_t i = section.HasHeader ? 1 : 0; i < section.Lines.size(); ++i) {
    if (const auto entry = ParseEntry(section.Lines[i].Text)) section.Keys.emplace(Lower(entry->Key), i);
  }
  section.Indexed = true;
}

const TIniFile::TLine* TIniFile::FindEntry(const TSection& section, std::string_view key) {
  Index(section);
  const auto found = section.Keys.find(Lower(key));
  return found == section.Keys.end() ? nullptr : &section.Lines[found->second];
}

TIniFile::TLine* TIniFile::FindEntry(TSection& section, std::string_view key) {
  return const_cast<TLine*>(FindEntry(std::as_const(section), key));
}

const TIniFile::TLine* TIniFile::FindValue(std::string_view section, std::string_view key) const {
  const TSection* found = FindSection(section);
  return found ? FindEntry(*found, key) : nullptr;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
  const TLine* line = FindValue(section, key);
  return std::string(line ? ParseEntry(line->Text)->Value : defaultValue);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
  const TLine* line = FindValue(section, key);
  return line ? ParseInteger(ParseEntry(line->Text)->Value).value_or(defaultValue) : defaultValue;
}

double TIniFile::ReadFloat(std::string_view section, std::string_view key,
                           double defaultValue) const {
  const TLine* line = FindValue(section, key);
  return line ? ParseFloat(ParseEntry(line->Text)->Value).value_or(defaultValue) : defaultValue;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  if (!ValidSection(section) || !ValidKey(key)) return false;
  std::string text(value);
  for (char& c : text)
    if (IsLineBreak(c)) c = ' ';
  TSection& target = SectionForWriting(section);
  if (TLine* line = FindEntry(target, key)) {
    const TEntryView entry = *ParseEntry(line->Text);
    // An unchanged value keeps its line exactly as it was, spacing included.
    if (entry.Value != Trim(text)) line->Text = line->Text.substr(0, entry.ValueStart) + text;
  } else {
    AppendEntry(target, key, text);
  }
  return true;
}

bool TIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteFloat(std::string_view section, std::string_view key, double value) {
  return std::isfinite(value) && WriteString(section, key, FormatFloat(value));
}

bool TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

TIniFile::TSection& TIniFile::SectionForWriting(std::string_view name) {
  if (TSection* found = FindSection(name)) return *found;
  for (size_t i = 0; i < Sections.size(); ++i) {
    TSection& erased = Sections[i];
    if (!erased.HasHeader && !erased.Name.empty() && SameName(erased.Name, name)) {
      const std::string end = NewLineEnd();
      EndPreviousLine(i);
      erased.HasHeader = true;
      erased.Lines.insert(erased.Lines.begin(), TLine{"[" + erased.Name + "]", end});
      erased.Indexed = false;
      return erased;
    }
  }
  // A blank line sets a new section apart from the text before it.
  const std::string end = NewLineEnd();
  EndPreviousLine(Sections.size());
  TSection* last = LastSectionWithLines();
  if (last && !Trim(last->Lines.back().Text).empty()) last->Lines.push_back(TLine{"", end});
  Sections.push_back(
      TSection{std::string(name), true, {TLine{"[" + std::string(name) + "]", end}}, {}, false});
  return Sections.back();
}

TIniFile::TSection* TIniFile::LastSectionWithLines() {
  for (auto it = Sections.rbegin(); it != Sections.rend(); ++it)
    if (Shown(*it) && !it->Lines.empty()) return &*it;
  return nullptr;
}

void TIniFile::EndPreviousLine(size_t sectionIndex) {
  for (size_t i = sectionIndex; i-- > 0;) {
    if (!Shown(Sections[i]) || Sections[i].Lines.empty()) continue;
    TLine& line = Sections[i].Lines.back();
    if (line.End.empty()) line.End = NewLineEnd();
    return;
  }
}

// After the section's last non-blank line, so blank lines that set it apart stay at its end.
void TIniFile::AppendEntry(TSection& section, std::string_view key, std::string_view value) {
  size_t at = section.Lines.size();
  while (at > 1 && Trim(section.Lines[at - 1].Text).empty()) --at;
  const std::string end = NewLineEnd();
  TLine& before = section.Lines[at - 1];
  if (before.End.empty()) before.End = end;
  section.Lines.insert(section.Lines.begin() + static_cast<std::ptrdiff_t>(at),
                       TLine{std::string(key) + "=" + std::string(value), end});
  // Only blank lines follow the new entry, so no indexed line has moved.
  if (section.Indexed) section.Keys.emplace(Lower(key), at);
}

void TIniFile::EraseSection(std::string_view section) {
  for (TSection& s : Sections) {
    if (s.HasHeader && SameName(s.Name, section)) {
      s.HasHeader = false;
      size_t blankTail = s.Lines.size();
      while (blankTail > 1 && Trim(s.Lines[blankTail - 1].Text).empty()) --blankTail;
      s.Lines.erase(s.Lines.begin(), s.Lines.begin() + static_cast<std::ptrdiff_t>(blankTail));
      s.Indexed = false;
    }
  }
}

bool TIniFile::SectionExists(std::string_view section) const {
  return FindSection(section) != nullptr;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return FindValue(section, key) != nullptr;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
  std::vector<std::string> keys;
  const TSection* found = FindSection(section);
  if (!found) return keys;
  Index(*found);
  for (size_t i = 1; i < found->Lines.size(); ++i) {
    const auto entry = ParseEntry(found->Lines[i].Text);
    if (entry && found->Keys.at(Lower(entry->Key)) == i) keys.emplace_back(entry->Key);
  }
  return keys;
}

std::vector<std::string> TIniFile::ReadSections() const {
  std::vector<std::string> names;
  for (const TSection& section : Sections)
    if (section.HasHeader && !section.Name.empty() && FindSection(section.Name) == &section)
      names.push_back(section.Name);
  return names;
}

std::string TIniFile::SectionText(const TSection& section) {
  std::string text;
  for (const TLine& line : section.Lines) text += line.Text + line.End;
  return text;
}

void TIniFile::MergeChangesOnDisk() {
  const TFileContents now = ReadWholeFile(Path);
  if (!now.Error.empty() || now.Text == ReadText) return;
  TIniFile read{fs::path()}, disk{fs::path()};
  read.Parse(ReadText);
  disk.Parse(now.Text);
  for (TSection& mine : Sections) {
    if (!mine.HasHeader || mine.Name.empty()) continue;
    const TSection* before = read.FindSection(mine.Name);
    const TSection* theirs = disk.FindSection(mine.Name);
    if (before && theirs && SectionText(*before) == SectionText(mine)) {
      mine.Lines = theirs->Lines;
      mine.Indexed = false;
    }
  }
  for (const TSection& theirs : disk.Sections) {
    if (!theirs.HasHeader || theirs.Name.empty() || FindSection(theirs.Name) ||
        read.FindSection(theirs.Name))
      continue;
    TSection& added = SectionForWriting(theirs.Name);
    added.Lines = theirs.Lines;
    added.Indexed = false;
  }
}

TSaveResult TIniFile::UpdateFile() {
  // Replacing a file that could not be read would lose whatever it holds.
  if (!LoadReason.empty())
    return {false, "Cannot write the settings file " + Quoted(Path) +
                       ": the existing file could not be read (" + LoadReason +
                       "), so it is left unchanged."};
  MergeChangesOnDisk();
  const std::string text = Text();
  const std::optional<TWriteFailure> failure = ReplaceFile(Path, text);
  if (!failure) {
    ReadText = text;
    return {};
  }
  return {false, "Cannot write the settings file " + Quoted(Path) + ": " + failure->Step + ": " +
                     std::strerror(failure->Error) + "."};
}

} // namespace platform
