#pragma once
// A recorder of the lines a device or a window reports, each with its flag (true =
// information, false = error), in the order they came.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using TLogLine = std::pair<std::string, bool>;

struct TLogLines {
  std::vector<TLogLine> Lines;

  void Add(const std::string& text, bool info) { Lines.emplace_back(text, info); }
  // The handler that the programs' log events take.
  std::function<void(const std::string&, bool)> Event() {
    return [this](const std::string& text, bool info) { Add(text, info); };
  }
  bool Has(const std::string& text, bool info) const {
    return std::find(Lines.begin(), Lines.end(), TLogLine(text, info)) != Lines.end();
  }
  // How many lines read `text`, whatever their flag.
  size_t Count(const std::string& text) const {
    return static_cast<size_t>(std::count_if(Lines.begin(), Lines.end(),
                                             [&](const TLogLine& line) { return line.first == text; }));
  }
  // How many lines begin with `prefix`.
  size_t CountStartingWith(const std::string& prefix) const {
    return static_cast<size_t>(std::count_if(Lines.begin(), Lines.end(), [&](const TLogLine& line) {
      return line.first.rfind(prefix, 0) == 0;
    }));
  }
  size_t Errors() const {
    return static_cast<size_t>(std::count_if(Lines.begin(), Lines.end(),
                                             [](const TLogLine& line) { return !line.second; }));
  }
};

} // namespace testsupport
