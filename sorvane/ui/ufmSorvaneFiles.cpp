// TForm1's two files: the settings file (sections "WaveSetup", "Rref", "Calibration", "Fixture"
// once a step has measured it, "Graph"),
// read at creation and written at closing, and the results file of the drawn curve.

#include <QAbstractButton>
#include <QFileDialog>

#include "sorvane/ui/uLcrMeterPanel.h"
#include "sorvane/ui/uExportBar.h"
#include "sorvane/ui/uResultsFile.h"
#include "sorvane/ui/uSorvaneChart.h"
#include "sorvane/ui/ufmSorvane.h"
#include "sorvane/ui/ufrValues.h"
#include "sorvane/ui/ufrWaveSetup.h"

namespace sorvane {
namespace {

constexpr const char* Graph = "Graph";
constexpr const char* NothingDrawn = "Nothing is drawn, so nothing was saved: press Start first.";
constexpr const char* NotSaved = "Nothing was saved.";
constexpr const char* SaveFailedAdvice =
    "Check that the folder exists and may be written, or choose another one with \"Save as...\".";

// What the last save did; `file` (its whole path, as a tip) only when it wrote one.
void ShowSaveStatus(QLabel* label, const QString& text, const std::filesystem::path& file = {}) {
  label->setText(text);
  label->setVisible(true);
  label->setStyleSheet(file.empty() ? "color: rgb(255, 0, 0);" : "");
  label->setToolTip(QString::fromStdString(file.string()));
}

} // namespace

void TForm1::LoadSettings() {
  const platform::TIniFile ini(FFiles.Settings);
  frWaveSetup1->LoadSettings(ini);
  frRref->LoadSettings(ini);
  FSignalIn->LoadSettings(ini);
  ReadFixture(ini);
  ExportBar->LoadSettings(ini);
  // Setting a box runs its handler when the state changes; ApplyGraphOptions runs them all after.
  cbModPh->setChecked(ini.ReadBool(Graph, "ModPhase", false));
  cbDrawAll->setChecked(ini.ReadBool(Graph, "DrawAll", true));
  cbLeftForAll->setChecked(ini.ReadBool(Graph, "LeftForAll", false));
  cbLogF->setChecked(ini.ReadBool(Graph, "Lg(F)", false));
  for (const auto& [choice, key] : Choices()) {
    const int item = ini.ReadInteger(Graph, key, 0);
    if (item >= 0 && item < choice->count()) choice->setCurrentIndex(item);
  }
  const int page = ini.ReadInteger(Graph, "Page", 0);
  if (page >= 0 && page < PageControl1->count()) PageControl1->setCurrentIndex(page);
  const int mode = ini.ReadInteger(Graph, "Mode", 0);
  // A mode the window does not have leaves the one in force.
  if (rgModeItems->button(mode)) SetModeItem(mode);
}

// The lists of section "Graph" and their keys: the curve of "Z graph + LCR" ("LCRCurve") and
// the LCR meter's readout ("MeterSource": 0 the fit, 1 the bin; "MeterEquivalent": 0 Auto,
// 1 Series, 2 Parallel).
std::vector<std::pair<QComboBox*, std::string>> TForm1::Choices() const {
  return {{cbLCRCurve, "LCRCurve"},
          {pnMeter->cbMeterSource, "MeterSource"},
          {pnMeter->cbEquivalent, "MeterEquivalent"}};
}

void TForm1::SaveSettings() {
  platform::TIniFile ini(FFiles.Settings);
  frWaveSetup1->SaveSettings(ini);
  frRref->SaveSettings(ini);
  FSignalIn->SaveSettings(ini);
  WriteFixture(ini);
  ExportBar->SaveSettings(ini);
  ini.WriteBool(Graph, "ModPhase", cbModPh->isChecked());
  ini.WriteBool(Graph, "DrawAll", cbDrawAll->isChecked());
  ini.WriteBool(Graph, "LeftForAll", cbLeftForAll->isChecked());
  ini.WriteBool(Graph, "Lg(F)", cbLogF->isChecked());
  for (const auto& [choice, key] : Choices()) ini.WriteInteger(Graph, key, choice->currentIndex());
  ini.WriteInteger(Graph, "Page", PageControl1->currentIndex());
  ini.WriteInteger(Graph, "Mode", ModeItem());
  const platform::TSaveResult saved = ini.UpdateFile();
  if (!saved.Ok) ShowError("Can not save the settings: " + saved.Error);
}

void TForm1::btnSaveClick() { SaveCurve(FFiles.Results); }

// Nothing drawn means nothing to ask a name for.
void TForm1::btnSaveAsClick() {
  if (NothingToSave()) return;
  const std::filesystem::path start = FSaveAsFile.empty() ? FFiles.Results : FSaveAsFile;
  const QString chosen = AskSaveFileName(QString::fromStdString(start.string()));
  if (chosen.isEmpty()) return;
  const std::filesystem::path file = chosen.toStdString();
  if (SaveCurve(file)) FSaveAsFile = file;
}

QString TForm1::AskSaveFileName(const QString& suggested) {
  if (OnSaveFileName) return OnSaveFileName(suggested);
  return QFileDialog::getSaveFileName(this, "Save as", suggested, "Text files (*.txt);;All files (*)");
}

// An empty chart would replace the last results with an empty file: it is refused.
bool TForm1::NothingToSave() {
  if (!SeriesChart->Points(0).isEmpty()) return false;
  ShowSaveStatus(lbSaveStatus, NothingDrawn);
  return true;
}

bool TForm1::SaveCurve(const std::filesystem::path& file) {
  if (NothingToSave()) return false;
  const QList<QPointF>& first = SeriesChart->Points(0);
  const QList<QPointF>& second = SeriesChart->Points(1);
  std::vector<TResultPoint> points;
  points.reserve(static_cast<size_t>(first.size()));
  for (qsizetype i = 0; i < first.size(); ++i)
    points.push_back({first[i].x(), first[i].y(), i < second.size() ? second[i].y() : 0.0});
  const std::string error = SaveResults(file, points);
  if (!error.empty()) {
    ShowSaveStatus(lbSaveStatus, NotSaved);
    ShowError(error + ". " + SaveFailedAdvice);
    return false;
  }
  ShowSaveStatus(lbSaveStatus,
                 QString("Saved %1 points to %2.")
                     .arg(points.size())
                     .arg(QString::fromStdString(file.filename().string())),
                 file);
  return true;
}

} // namespace sorvane
