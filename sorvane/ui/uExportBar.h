#pragma once
// The export of the measured curve for other programs (uCurveExport.h): a button "Export..."
// that asks for a file (ZMA, FRD or CSV) and a list of how many points per octave the file
// gets (uLogThinning.h). The window hands it the complex curve of every measured block; the
// choice of points is kept as "ExportPerOctave" in section "Graph" of the settings file.

#include <QComboBox>
#include <QPushButton>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/inifile.h"
#include "sorvane/analysis/uCurveExport.h"

namespace sorvane {

class TExportBar : public QWidget {
  Q_OBJECT
public:
  explicit TExportBar(QWidget* parent = nullptr);

  // The curve of the block just drawn: an impedance (measured with rref) or a transfer ratio.
  void TakeCurve(std::vector<TCurvePoint> curve, TCurveKind kind, double rref);
  void ClearCurve() { Curve.clear(); }
  bool HasCurve() const { return !Curve.empty(); }
  TCurveKind Kind() const { return CurveKind; }
  // 0 for every bin.
  int PerOctave() const { return cbPerOctave->currentData().toInt(); }
  // The curve of every bin, and thinned as chosen.
  const std::vector<TCurvePoint>& WholeCurve() const { return Curve; }
  std::vector<TCurvePoint> ThinnedCurve() const { return ThinPerOctave(Curve, PerOctave()); }

  // Writes the thinned curve; "" on success, else the sentence that says what failed.
  std::string ExportTo(const std::filesystem::path& file, TExportFormat format) const;
  void btnExportClick();

  void LoadSettings(const platform::TIniFile& ini);
  void SaveSettings(platform::TIniFile& ini) const;

  // Comment lines written at the top of a ZMA or FRD file after the program's own.
  std::vector<std::string> ExtraLines;
  // Shows a failure (the window's message box); empty: none shown.
  std::function<void(const std::string& text)> OnMessage;
  // Asks for the file; `filter` gets the filter chosen. A file dialog unless assigned.
  std::function<QString(const QString& filters, QString& filter)> OnExportFileName;

  QPushButton* btnExport;
  QComboBox* cbPerOctave;

private:
  std::vector<TCurvePoint> Curve;
  TCurveKind CurveKind = TCurveKind::Impedance;
  double Rref = 0;
};

} // namespace sorvane
