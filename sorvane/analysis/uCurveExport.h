#pragma once
// The measured curve written for other programs: impedance as ZMA (frequency in Hz, magnitude in
// ohm, phase in degrees), a ratio as FRD (frequency in Hz, magnitude in dB, phase in degrees),
// either as CSV with a header line. ZMA and FRD start with comment lines beginning with '*'
// that name the program, the date, Rref (impedance only) and the caller's own lines. Every file
// is ASCII with "." as decimal point whatever the locale, its frequencies strictly ascending
// (a repeated frequency keeps its first row) and no row that is not a finite number.

#include <filesystem>
#include <string>
#include <vector>

#include "sorvane/analysis/uLogThinning.h"

namespace sorvane {

enum class TExportFormat { Zma, Frd, Csv };
enum class TCurveKind { Impedance, Transfer };

struct TExportHeader {
  std::string Date;               // as the caller writes it
  double Rref = 0;                // ohm; written for an impedance
  std::vector<std::string> Lines; // free comment lines (for example a fitted model's figures)
};

// The format a file name asks for by its extension (".zma", ".frd", ".csv", any case); false
// for any other.
bool FormatOfPath(const std::filesystem::path& file, TExportFormat& format);

// The whole text of the file.
std::string ExportText(const std::vector<TCurvePoint>& curve, TCurveKind kind,
                       TExportFormat format, const TExportHeader& header);

// Writes ExportText to file; "" on success, else the sentence that says what failed.
std::string ExportCurve(const std::filesystem::path& file, const std::vector<TCurvePoint>& curve,
                        TCurveKind kind, TExportFormat format, const TExportHeader& header);

} // namespace sorvane
