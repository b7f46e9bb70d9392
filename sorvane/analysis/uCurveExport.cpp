#include "sorvane/analysis/uCurveExport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>

namespace sorvane {
namespace {

// Seven significant digits: finer than any bin's frequency step or measured scatter.
constexpr int Digits = 7;

std::string Number(double x) {
  char text[40];
  const auto end =
      std::to_chars(text, text + sizeof text, x, std::chars_format::general, Digits).ptr;
  return std::string(text, end);
}

// A comment line's text kept to printable ASCII: the micro sign becomes "u", any other byte
// outside it "?", line breaks a space.
std::string Ascii(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xB5) {
      out += 'u';
      ++i;
    } else if (c == '\r' || c == '\n' || c == '\t') {
      out += ' ';
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else if (c < 0x80 || c >= 0xC0) {
      out += '?'; // a control byte, or the first byte of a character outside ASCII
    }
  }
  return out;
}

std::string HeaderText(TCurveKind kind, TExportFormat format, const TExportHeader& header) {
  if (format == TExportFormat::Csv) {
    return kind == TCurveKind::Impedance
               ? "Frequency (Hz),|Z| (Ohm),Phase (deg),Re (Ohm),Im (Ohm)\n"
               : "Frequency (Hz),Magnitude (dB),Phase (deg),Re,Im\n";
  }
  std::string text = kind == TCurveKind::Impedance ? "* Sorvane impedance curve\n"
                                                   : "* Sorvane transfer curve\n";
  text += "* Date: " + Ascii(header.Date) + "\n";
  if (kind == TCurveKind::Impedance) text += "* Rref: " + Number(header.Rref) + " Ohm\n";
  for (const std::string& line : header.Lines) text += "* " + Ascii(line) + "\n";
  return text;
}

// The row of one point; empty when one of its figures is not a finite number.
std::string Row(const TCurvePoint& p, TCurveKind kind, TExportFormat format) {
  const double modulus = std::hypot(p.Value.Re, p.Value.Im);
  const double magnitude = format == TExportFormat::Frd ||
                                   (format == TExportFormat::Csv && kind == TCurveKind::Transfer)
                               ? 20 * std::log10(modulus)
                               : modulus;
  const double phase = std::atan2(p.Value.Im, p.Value.Re) * 180 / M_PI;
  std::vector<double> columns{p.F, magnitude, phase};
  if (format == TExportFormat::Csv) columns.insert(columns.end(), {p.Value.Re, p.Value.Im});
  if (!std::all_of(columns.begin(), columns.end(), [](double x) { return std::isfinite(x); }))
    return {};
  const char separator = format == TExportFormat::Csv ? ',' : ' ';
  std::string row;
  for (const double x : columns) row += (row.empty() ? "" : std::string(1, separator)) + Number(x);
  return row + "\n";
}

} // namespace

bool FormatOfPath(const std::filesystem::path& file, TExportFormat& format) {
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == ".zma") format = TExportFormat::Zma;
  else if (ext == ".frd") format = TExportFormat::Frd;
  else if (ext == ".csv") format = TExportFormat::Csv;
  else return false;
  return true;
}

std::string ExportText(const std::vector<TCurvePoint>& curve, TCurveKind kind,
                       TExportFormat format, const TExportHeader& header) {
  std::string text = HeaderText(kind, format, header);
  double last = -INFINITY;
  for (const TCurvePoint& p : curve) {
    if (!(p.F > last)) continue; // out of order or repeated: the tools want strictly ascending
    const std::string row = Row(p, kind, format);
    if (row.empty()) continue;
    text += row;
    last = p.F;
  }
  return text;
}

std::string ExportCurve(const std::filesystem::path& file, const std::vector<TCurvePoint>& curve,
                        TCurveKind kind, TExportFormat format, const TExportHeader& header) {
  const std::string text = ExportText(curve, kind, format, header);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return "Can not create " + file.string();
  out << text;
  out.close();
  if (!out) return "Can not write " + file.string();
  return {};
}

} // namespace sorvane
