#pragma once
// The programs' own files: where they live (beside the program, or in the user's configuration
// folder) and how they are replaced without ever leaving a half-written file behind.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Why replacing a file failed: the step ("writing", "flushing to disk", ...) and the errno.
// Refused: nothing was tried, because of what the name stands for (Step says what).
struct TWriteFailure {
  std::string Step;
  int Error = 0;
  bool Refused = false;
};

// Writes `text` to a temporary file in the same folder, flushes it to disk and renames it over
// `path`, so the file under `path` is always either the old or the new one, never a mixture; on
// failure the old file is untouched. A write-protected file is never replaced. A link is kept and
// the regular file it points to is replaced in its own folder, with the old file's permissions.
// Only regular files are written: a name that is (or links to) a device, a pipe, a socket or a
// folder (EISDIR), and a link that leads nowhere, are refused and left as they are. Nothing when it
// worked.
std::optional<TWriteFailure> ReplaceFile(const std::filesystem::path& path, std::string_view text);

// Where a program keeps its files: the executable's path, the environment that names the
// user's configuration folder, and the folder the build installs programs into. Current() reads
// /proc/self/exe, $XDG_CONFIG_HOME, $HOME and the install folder the build was configured with;
// tests build their own.
struct TProgramLocation {
  std::filesystem::path Executable;
  std::string ConfigHome;                 // $XDG_CONFIG_HOME, empty when unset
  std::string Home;                       // $HOME, empty when unset
  std::filesystem::path InstalledFolder;  // e.g. /usr/bin; empty: the program is never installed

  static TProgramLocation Current();
};

// The program's path with its extension replaced by `extension` (appended when it has none): a
// portable copy keeps its files beside itself. An installed copy (its folder is InstalledFolder)
// and a copy whose folder is not writable use the same file name in the user's configuration
// folder ($XDG_CONFIG_HOME, else ~/.config), which is created when missing; an installed copy
// does so even when it could write its folder, as the superuser can write /usr/bin. Reading and
// writing both follow this rule, so the file a program writes is the file it reads next time.
std::filesystem::path ProgramFilePath(std::string_view extension,
                                      const TProgramLocation& where = TProgramLocation::Current());

// ProgramFilePath(".ini"): the settings file.
std::filesystem::path SettingsFilePath(const TProgramLocation& where = TProgramLocation::Current());

} // namespace platform
