// TForm1's two files: the settings file (sections "WaveSetup", "Rref", "Calibration", "Graph"),
// read at creation and written at closing, and the results file of the drawn curve.

#include <QAbstractButton>

#include "sorvane/ui/uResultsFile.h"
#include "sorvane/ui/uSorvaneChart.h"
#include "sorvane/ui/ufmSorvane.h"
#include "sorvane/ui/ufrValues.h"
#include "sorvane/ui/ufrWaveSetup.h"

namespace sorvane {
namespace {

constexpr const char* Graph = "Graph";

} // namespace

void TForm1::LoadSettings() {
  const platform::TIniFile ini(FFiles.Settings);
  frWaveSetup1->LoadSettings(ini);
  frRref->LoadSettings(ini);
  FSignalIn->LoadSettings(ini);
  // Setting a box runs its handler when the state changes; ApplyGraphOptions runs them all after.
  cbModPh->setChecked(ini.ReadBool(Graph, "ModPhase", false));
  cbDrawAll->setChecked(ini.ReadBool(Graph, "DrawAll", true));
  cbLeftForAll->setChecked(ini.ReadBool(Graph, "LeftForAll", false));
  cbLogF->setChecked(ini.ReadBool(Graph, "Lg(F)", false));
  const int curve = ini.ReadInteger(Graph, "LCRCurve", 0);
  if (curve >= 0 && curve < cbLCRCurve->count()) cbLCRCurve->setCurrentIndex(curve);
  const int page = ini.ReadInteger(Graph, "Page", 0);
  if (page >= 0 && page < PageControl1->count()) PageControl1->setCurrentIndex(page);
  const int mode = ini.ReadInteger(Graph, "Mode", 0);
  // A mode the window does not have leaves the one in force.
  if (rgModeItems->button(mode)) SetModeItem(mode);
}

void TForm1::SaveSettings() {
  platform::TIniFile ini(FFiles.Settings);
  frWaveSetup1->SaveSettings(ini);
  frRref->SaveSettings(ini);
  FSignalIn->SaveSettings(ini);
  ini.WriteBool(Graph, "ModPhase", cbModPh->isChecked());
  ini.WriteBool(Graph, "DrawAll", cbDrawAll->isChecked());
  ini.WriteBool(Graph, "LeftForAll", cbLeftForAll->isChecked());
  ini.WriteBool(Graph, "Lg(F)", cbLogF->isChecked());
  ini.WriteInteger(Graph, "LCRCurve", cbLCRCurve->currentIndex());
  ini.WriteInteger(Graph, "Page", PageControl1->currentIndex());
  ini.WriteInteger(Graph, "Mode", ModeItem());
  const platform::TSaveResult saved = ini.UpdateFile();
  if (!saved.Ok) ShowError("Can not save the settings: " + saved.Error);
}

void TForm1::btnSaveClick() {
  const QList<QPointF>& first = SeriesChart->Points(0);
  const QList<QPointF>& second = SeriesChart->Points(1);
  std::vector<TResultPoint> points;
  points.reserve(static_cast<size_t>(first.size()));
  for (qsizetype i = 0; i < first.size(); ++i)
    points.push_back({first[i].x(), first[i].y(), i < second.size() ? second[i].y() : 0.0});
  const std::string error = SaveResults(FFiles.Results, points);
  if (!error.empty()) ShowError(error);
}

} // namespace sorvane
