#include "platform/vmbox/uBoxNetworkParser.h"

#include "platform/vmbox/uBoxValueText.h"

#include <cctype>
#include <optional>

namespace platform::vmbox {
namespace {

bool IsBlank(char ch) { return std::isspace(static_cast<unsigned char>(ch)) != 0; }

// A recursive-descent reader over the text; the first fault stops it.
class TNetworkParser {
public:
  explicit TNetworkParser(std::string_view text) : Text(text) {}

  TNetworkParse Run() {
    std::optional<TNetwork> n = Combination(TPartKind::Series);
    if (n && !AtEnd()) Fail(Pos, "expected \"+\", \"|\" or the end, found " + Found());
    if (!Error.empty()) return {{}, Error};
    return {std::move(*n), {}};
  }

private:
  std::string_view Text;
  size_t Pos = 0;
  size_t Depth = 0;
  size_t Parts = 0;
  std::string Error;

  // Characters, not bytes, so that a micro sign counts as one.
  size_t Column(size_t at) const {
    size_t column = 1;
    for (size_t i = 0; i < at && i < Text.size(); ++i)
      if ((static_cast<unsigned char>(Text[i]) & 0xC0) != 0x80) ++column;
    return column;
  }

  void Fail(size_t at, const std::string& what) {
    if (Error.empty()) Error = "at character " + std::to_string(Column(at)) + ": " + what;
  }

  bool AtEnd() {
    while (Pos < Text.size() && IsBlank(Text[Pos])) ++Pos;
    return Pos >= Text.size();
  }

  std::string Found() {
    if (AtEnd()) return "the end";
    return "\"" + std::string(Text.substr(Pos, 1)) + "\"";
  }

  bool Take(char ch) {
    if (AtEnd() || Text[Pos] != ch) return false;
    ++Pos;
    return true;
  }

  // Series: parallels joined by "+"; parallel: operands joined by "|". One branch alone is that
  // branch, not a combination of one.
  std::optional<TNetwork> Combination(TPartKind kind) {
    const bool series = kind == TPartKind::Series;
    TNetwork n{kind, 0, {}};
    do {
      std::optional<TNetwork> branch = series ? Combination(TPartKind::Parallel) : Operand();
      if (!branch) return std::nullopt;
      n.Parts.push_back(std::move(*branch));
    } while (Take(series ? '+' : '|'));
    if (n.Parts.size() == 1) return std::move(n.Parts.front());
    return n;
  }

  std::optional<TNetwork> Operand() {
    const size_t open = Pos;
    if (!Take('(')) return Part();
    if (++Depth > MaxNetworkDepth) {
      Fail(open, "more than " + std::to_string(MaxNetworkDepth) + " levels of parentheses");
      return std::nullopt;
    }
    std::optional<TNetwork> inner = Combination(TPartKind::Series);
    if (inner && !Take(')')) {
      Fail(Pos, "expected \"+\", \"|\" or \")\" closing the \"(\" at " +
                    std::to_string(Column(open)) + ", found " + Found());
      return std::nullopt;
    }
    --Depth;
    return inner;
  }

  std::optional<TNetwork> Part() {
    const char letter = AtEnd() ? '\0' : char(std::toupper(static_cast<unsigned char>(Text[Pos])));
    const size_t at = Pos;
    if (letter != 'R' && letter != 'L' && letter != 'C') {
      Fail(at, "expected R, L, C or \"(\", found " + Found());
      return std::nullopt;
    }
    if (++Parts > MaxNetworkParts) {
      Fail(at, "more than " + std::to_string(MaxNetworkParts) + " parts");
      return std::nullopt;
    }
    ++Pos;
    const TPartKind kind = letter == 'R' ? TPartKind::R : letter == 'L' ? TPartKind::L : TPartKind::C;
    return Value(kind, std::string(1, letter));
  }

  // The value runs to the next operator or parenthesis; a "+" of an exponent ("1e+3") is part
  // of the number.
  std::optional<TNetwork> Value(TPartKind kind, const std::string& letter) {
    AtEnd();
    const size_t start = Pos;
    for (; Pos < Text.size(); ++Pos) {
      const char ch = Text[Pos];
      const bool exponentSign = ch == '+' && Pos >= start + 2 &&
                                (Text[Pos - 1] == 'e' || Text[Pos - 1] == 'E') &&
                                (std::isdigit(static_cast<unsigned char>(Text[Pos - 2])) ||
                                 Text[Pos - 2] == '.');
      if ((ch == '+' && !exponentSign) || ch == '|' || ch == '(' || ch == ')') break;
    }
    const std::string_view written = TrimBlanks(Text.substr(start, Pos - start));
    const char* unit = kind == TPartKind::R ? "Ohm" : kind == TPartKind::L ? "H" : "F";
    if (written.empty()) {
      Fail(start, "expected a value after " + letter);
      return std::nullopt;
    }
    const auto v = ParseValue(written, unit);
    if (!v) {
      Fail(start, "\"" + std::string(written) + "\" is not a value for " + letter);
      return std::nullopt;
    }
    if (const std::string fault = PartFault(kind, *v); !fault.empty()) {
      Fail(start, fault);
      return std::nullopt;
    }
    return TNetwork{kind, *v, {}};
  }
};

} // namespace

TNetworkParse ParseNetwork(std::string_view text) { return TNetworkParser(text).Run(); }

} // namespace platform::vmbox
