#pragma once
// The settings file: sections in square brackets followed by key=value lines. The whole file is
// held in memory; reads and writes work on that copy and only UpdateFile() touches the disk.
// Everything the reader does not understand (comments, blank lines, lines without "=", stray
// bytes, repeated keys or sections) is kept in place and written back unchanged, so a file
// edited by hand survives a round trip through the programs.
//
// Section and key names are matched without regard to ASCII case. Where a key or a section
// occurs more than once, the first occurrence is the one read and written. Values are trimmed
// of surrounding blanks when read. Numbers use "." as decimal separator whatever the locale.
// Not thread-safe: one thread opens, reads, writes and saves a file.

#include "platform/files.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

// The outcome of writing the file: Ok, or a text naming the file and the reason it failed.
struct TSaveResult {
  bool Ok = true;
  std::string Error;
};

class TIniFile {
public:
  // Loads the file when it exists; a missing file is an empty set of settings. A file that
  // exists but cannot be read also gives an empty set, and LoadError() tells why.
  explicit TIniFile(std::filesystem::path fileName);

  const std::filesystem::path& FileName() const { return Path; }
  // Empty when the file was read or did not exist; otherwise the path and the reason.
  std::string LoadError() const;

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // Decimal, or hexadecimal with a "0x" prefix; a value that is not a whole number in the
  // range of int gives the default.
  int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
  // A finite number with "." as separator; anything else gives the default.
  double ReadFloat(std::string_view section, std::string_view key, double defaultValue) const;
  // An integer, true when non-zero; a value that is not an integer gives the default.
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

  // The writers return false and change nothing for a name the file format cannot hold (empty,
  // a line break, "=" in a key, "]" in a section, surrounding blanks, a leading "[", ";" or "#"
  // in a key). Line breaks in a value are stored as spaces so they cannot start new lines.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool WriteInteger(std::string_view section, std::string_view key, int value);
  // Up to 15 significant digits; a value that is not finite is refused (returns false). The
  // largest magnitudes are stored as 1.79769313486231e+308, so they still read as numbers.
  bool WriteFloat(std::string_view section, std::string_view key, double value);
  // "1" or "0".
  bool WriteBool(std::string_view section, std::string_view key, bool value);

  // Removes every section of that name with all its lines. A section written again before
  // the next save takes its old place in the file.
  void EraseSection(std::string_view section);
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  // The key names of a section, in file order, each once.
  std::vector<std::string> ReadSection(std::string_view section) const;
  // The section names, in file order, each once.
  std::vector<std::string> ReadSections() const;

  // Writes the whole file: a temporary file in the same folder, flushed to disk and renamed
  // over the old one, so a crash or a full disk never leaves a half-written file. On failure
  // the old file is untouched. A file that exists but could not be loaded, or is
  // write-protected, is never replaced. A link is kept and the file it points to is replaced,
  // with the old file's permissions. A file that another program (a second window) has saved
  // since it was read is merged with, section by section: a section this object has not
  // changed takes the file's version, one only the file has is kept, one it changed is its own.
  [[nodiscard]] TSaveResult UpdateFile();

  // The text UpdateFile() writes.
  std::string Text() const;

private:
  // One line of the file: its text and its line end ("\n", "\r\n", or none on the last line).
  struct TLine {
    std::string Text;
    std::string End;
  };
  // A section header and the lines up to the next header. The lines before the first header
  // form a section without header; an erased section stays as a placeholder that keeps its
  // place and the blank lines at its end, none of it written while it stays erased.
  struct TSection {
    std::string Name;
    bool HasHeader = false;
    std::vector<TLine> Lines;
    // The line of each key's first entry, by the key in lower case, so that reading a key is
    // not a walk through the section (a large section would make reading it quadratic). Built
    // when first needed; kept when an entry is appended, dropped when lines move.
    mutable std::unordered_map<std::string, size_t> Keys;
    mutable bool Indexed = false;
  };
  static void Index(const TSection& section);
  void Parse(std::string_view text);
  static bool Shown(const TSection& section);
  const TSection* FindSection(std::string_view name) const;
  TSection* FindSection(std::string_view name);
  static const TLine* FindEntry(const TSection& section, std::string_view key);
  static TLine* FindEntry(TSection& section, std::string_view key);
  const TLine* FindValue(std::string_view section, std::string_view key) const;
  TSection& SectionForWriting(std::string_view name);
  TSection* LastSectionWithLines();
  void EndPreviousLine(size_t sectionIndex);
  // The line end of new lines: that of the text's first line, as reading the text again finds it.
  std::string NewLineEnd() const;
  void AppendEntry(TSection& section, std::string_view key, std::string_view value);
  static std::string SectionText(const TSection& section);
  void MergeChangesOnDisk();

  std::filesystem::path Path;
  std::string LoadReason;
  std::string ByteOrderMark;
  std::string ReadText; // the file as it was read or last saved
  std::vector<TSection> Sections;
};

} // namespace platform
