#pragma once
// What every fuzz target shares: a failed property stops the run with a message (libFuzzer
// keeps the input that did it), and a scratch file in a folder of the target's own.

#include <filesystem>
#include <string>
#include <string_view>

namespace fuzz {

// Prints `what` and aborts when `holds` is false.
void Require(bool holds, std::string_view what);

// Like Require(first == second, what), printing both texts when they differ.
void RequireSameText(const std::string& first, const std::string& second, std::string_view what);

// A file path in a fresh folder under the temporary directory (in memory where the machine has
// /dev/shm), removed with its folder when the process ends.
std::filesystem::path ScratchFile(std::string_view name);

// Writes `bytes` to `path` as they are, replacing the file.
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);

// True when `bytes` open with a UTF-16 byte-order mark: the settings reader refuses such a file
// whole, and the programs must say so and leave it as it is.
bool StartsAsUtf16(std::string_view bytes);

} // namespace fuzz
