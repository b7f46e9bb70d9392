#include "platform/files.h"

#include "platform/src/uUniqueFd.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace fs = std::filesystem;

namespace {

using detail::TUniqueFd;

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Creates a new file beside `target` that no other writer uses; empty path on failure.
fs::path CreateTemporary(const fs::path& target, TUniqueFd& fd) {
  static std::atomic<unsigned> counter{0};
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  fs::path candidate;
  for (int attempt = 0; attempt < 100; ++attempt) {
    candidate = folder / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()) +
                          "-" + std::to_string(counter.fetch_add(1)));
    fd = TUniqueFd(::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.Valid() || errno != EEXIST) break;
  }
  return fd.Valid() ? candidate : fs::path();
}

// The file that replacing `path` writes: the name itself, or the file its links lead to; a
// refusal when that is not a regular file or a link leads nowhere.
std::optional<TWriteFailure> Destination(const fs::path& path, fs::path& destination) {
  std::error_code ec;
  destination = path;
  if (fs::is_symlink(fs::symlink_status(path, ec))) {
    destination = fs::canonical(path, ec);
    if (ec) return TWriteFailure{"the link leads to no file", ENOENT, true};
  }
  const fs::file_status status = fs::status(destination, ec);
  if (ec || status.type() == fs::file_type::not_found || status.type() == fs::file_type::regular)
    return std::nullopt;
  if (status.type() == fs::file_type::directory) return TWriteFailure{"it is a folder", EISDIR, true};
  return TWriteFailure{"it is a device, a pipe or a socket, not a regular file", EPERM, true};
}

// Temporary files of `target` that a program which has ended left behind (it crashed, or was
// killed, between writing and renaming): removed before the next one is written.
void RemoveLeftTemporaries(const fs::path& target) {
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string prefix = "." + target.filename().string() + ".tmp";
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0 || !entry.is_regular_file(ec)) continue;
    const std::string rest = name.substr(prefix.size());
    const pid_t owner = static_cast<pid_t>(std::strtol(rest.c_str(), nullptr, 10));
    const bool ended = owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH;
    if (ended) fs::remove(entry.path(), ec);
  }
}

} // namespace

std::optional<TWriteFailure> ReplaceFile(const fs::path& path, std::string_view text) {
  fs::path destination;
  if (std::optional<TWriteFailure> refused = Destination(path, destination)) return refused;
  // A write-protected file stays as it is, although the folder would allow replacing it.
  if (::faccessat(AT_FDCWD, destination.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES)
    return TWriteFailure{"the file is write-protected", errno};
  RemoveLeftTemporaries(destination);
  TUniqueFd fd;
  const fs::path temporary = CreateTemporary(destination, fd);
  if (temporary.empty()) return TWriteFailure{"creating a temporary file", errno};
  struct stat old {};
  if (::stat(destination.c_str(), &old) == 0) ::fchmod(fd.Get(), old.st_mode & 07777);
  const char* step = nullptr;
  if (!WriteAll(fd.Get(), text)) step = "writing";
  else if (::fsync(fd.Get()) != 0) step = "flushing to disk";
  else if (fd.Close() != 0) step = "closing";
  else if (::rename(temporary.c_str(), destination.c_str()) != 0) step = "replacing the old file";
  if (step) {
    const int reason = errno;
    ::unlink(temporary.c_str());
    return TWriteFailure{step, reason};
  }
  // Make the rename itself durable; the data is already safe, so a failure here is not one.
  const TUniqueFd folder(::open(
      destination.parent_path().empty() ? "." : destination.parent_path().c_str(),
      O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Valid()) ::fsync(folder.Get());
  return std::nullopt;
}

TProgramLocation TProgramLocation::Current() {
  TProgramLocation where;
  std::error_code ec;
  where.Executable = fs::read_symlink("/proc/self/exe", ec);
  if (const char* v = std::getenv("XDG_CONFIG_HOME")) where.ConfigHome = v;
  if (const char* v = std::getenv("HOME")) where.Home = v;
#ifdef PLATFORM_INSTALL_BINDIR
  where.InstalledFolder = PLATFORM_INSTALL_BINDIR;
#endif
  return where;
}

namespace {

bool IsWritableFolder(const fs::path& folder) {
  std::error_code ec;
  return fs::is_directory(folder, ec) &&
         ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

// The executable sits in the folder programs are installed into (links resolved on both sides).
bool IsInstalledCopy(const TProgramLocation& where) {
  const fs::path folder = where.Executable.parent_path();
  if (where.InstalledFolder.empty() || folder.empty()) return false;
  std::error_code ec, installedEc;
  const fs::path real = fs::weakly_canonical(folder, ec);
  const fs::path installed = fs::weakly_canonical(where.InstalledFolder, installedEc);
  return !ec && !installedEc && real == installed;
}

// $XDG_CONFIG_HOME when it is an absolute path (relative ones are to be ignored), else ~/.config.
fs::path ConfigFolder(const TProgramLocation& where) {
  if (!where.ConfigHome.empty() && fs::path(where.ConfigHome).is_absolute())
    return where.ConfigHome;
  if (!where.Home.empty()) return fs::path(where.Home) / ".config";
  return {};
}

} // namespace

fs::path ProgramFilePath(std::string_view extension, const TProgramLocation& where) {
  fs::path name = where.Executable.filename();
  if (name.empty()) name = "program";
  name.replace_extension(extension);
  const fs::path beside = where.Executable.parent_path();
  if (!IsInstalledCopy(where) && IsWritableFolder(beside)) return beside / name;
  const fs::path config = ConfigFolder(where);
  // With no configuration folder there is nowhere better; a save then says why it failed.
  if (config.empty()) return beside / name;
  std::error_code ec;
  fs::create_directories(config, ec);
  return config / name;
}

fs::path SettingsFilePath(const TProgramLocation& where) { return ProgramFilePath(".ini", where); }

} // namespace platform
