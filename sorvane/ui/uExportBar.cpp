#include "sorvane/ui/uExportBar.h"

#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>

namespace sorvane {
namespace {

constexpr const char* Section = "Graph";
constexpr const char* PerOctaveKey = "ExportPerOctave";
constexpr int DefaultPerOctave = 48;
constexpr int PerOctaveChoices[] = {0, 12, 24, 48, 96};

constexpr const char* ZmaFilter = "Impedance, ZMA (*.zma)";
constexpr const char* FrdFilter = "Frequency response, FRD (*.frd)";
constexpr const char* CsvFilter = "CSV (*.csv)";

// The format of a chosen name, or of the filter when the name has no known extension (the
// extension is then added).
TExportFormat FormatOfChoice(std::filesystem::path& file, const QString& filter) {
  TExportFormat format;
  if (FormatOfPath(file, format)) return format;
  if (filter == FrdFilter) format = TExportFormat::Frd;
  else if (filter == CsvFilter) format = TExportFormat::Csv;
  else format = TExportFormat::Zma;
  static const char* const Extensions[] = {".zma", ".frd", ".csv"};
  file += Extensions[static_cast<int>(format)];
  return format;
}

} // namespace

TExportBar::TExportBar(QWidget* parent) : QWidget(parent) {
  setObjectName("ExportBar");
  btnExport = new QPushButton("Export...", this);
  btnExport->setObjectName("btnExport");
  btnExport->setToolTip("Writes the measured curve as ZMA, FRD or CSV for other programs");
  cbPerOctave = new QComboBox(this);
  cbPerOctave->setObjectName("cbPerOctave");
  cbPerOctave->setToolTip("Points per octave in the exported file");
  for (const int n : PerOctaveChoices)
    cbPerOctave->addItem(n == 0 ? QString("All points") : QString("%1 / octave").arg(n), n);
  cbPerOctave->setCurrentIndex(cbPerOctave->findData(DefaultPerOctave));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(2);
  row->addWidget(btnExport);
  row->addWidget(cbPerOctave, 1);
  connect(btnExport, &QPushButton::clicked, this, &TExportBar::btnExportClick);
}

void TExportBar::TakeCurve(std::vector<TCurvePoint> curve, TCurveKind kind, double rref) {
  Curve = std::move(curve);
  CurveKind = kind;
  Rref = rref;
}

std::string TExportBar::ExportTo(const std::filesystem::path& file, TExportFormat format) const {
  if (Curve.empty()) return "Nothing is measured, so nothing was exported: press Start first.";
  const TExportHeader header{
      QDateTime::currentDateTime().toString(Qt::ISODate).toStdString(), Rref, ExtraLines};
  return ExportCurve(file, ThinnedCurve(), CurveKind, format, header);
}

void TExportBar::btnExportClick() {
  std::string error;
  if (Curve.empty()) {
    error = ExportTo({}, TExportFormat::Zma);
  } else {
    const QString first = CurveKind == TCurveKind::Impedance ? ZmaFilter : FrdFilter;
    const QString second = CurveKind == TCurveKind::Impedance ? FrdFilter : ZmaFilter;
    const QString filters = first + ";;" + second + ";;" + CsvFilter;
    QString filter = first;
    const QString chosen = OnExportFileName
                               ? OnExportFileName(filters, filter)
                               : QFileDialog::getSaveFileName(this, "Export", QString(), filters,
                                                              &filter);
    if (chosen.isEmpty()) return;
    std::filesystem::path file = chosen.toStdString();
    const TExportFormat format = FormatOfChoice(file, filter);
    error = ExportTo(file, format);
  }
  if (!error.empty() && OnMessage) OnMessage(error);
}

void TExportBar::LoadSettings(const platform::TIniFile& ini) {
  const int item = cbPerOctave->findData(ini.ReadInteger(Section, PerOctaveKey, PerOctave()));
  if (item >= 0) cbPerOctave->setCurrentIndex(item);
}

void TExportBar::SaveSettings(platform::TIniFile& ini) const {
  ini.WriteInteger(Section, PerOctaveKey, PerOctave());
}

} // namespace sorvane
