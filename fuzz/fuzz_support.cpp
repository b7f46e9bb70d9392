#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

#include <unistd.h>

namespace fuzz {
namespace fs = std::filesystem;

void Require(bool holds, std::string_view what) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %.*s\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

void RequireSameText(const std::string& first, const std::string& second, std::string_view what) {
  if (first != second)
    std::fprintf(stderr, "---- first:\n%s\n---- second:\n%s\n----\n", first.c_str(), second.c_str());
  Require(first == second, what);
}

namespace {

// The folder is made once per process and removed at exit.
struct TScratchFolder {
  fs::path Path;
  TScratchFolder() {
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm")
                                                           : fs::temp_directory_path();
    Path = base / ("lcr-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(Path, ec);
    Require(!ec, "the scratch folder can be made");
  }
  ~TScratchFolder() {
    std::error_code ec;
    fs::remove_all(Path, ec);
  }
};

} // namespace

fs::path ScratchFile(std::string_view name) {
  static TScratchFolder folder;
  return folder.Path / fs::path(name);
}

void WriteBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  Require(out.good(), "the scratch file can be written");
}

bool StartsAsUtf16(std::string_view bytes) {
  return bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
}

} // namespace fuzz
