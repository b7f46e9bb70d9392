#pragma once
// TForm1, Sorvane's only window. It owns the playback device and the measuring core (which owns
// the capture side), runs the four modes (two-step calibration, "Z graph", "Z graph + LCR",
// "Transfer graph"), draws each analysed block into one chart of four series and asks for the
// next block once the chart has painted them. It reads the settings file when created, writes
// it when closed, saves the drawn curve on request, and lets the program end only after both
// device threads have stopped (or 2000 ms have passed).

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPlainTextEdit>
#include <QPointF>
#include <QPushButton>
#include <QTabWidget>
#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/fixture.h"
#include "platform/inifile.h"
#include "platform/lcr_meter.h"
#include "platform/numeric_locale.h"
#include "sorvane/analysis/uFixtureBins.h"
#include "sorvane/analysis/uSignalIn.h"
#include "sorvane/engine/uWaveOut.h"

namespace platform {
class TChartHolds;
class TChartView;
class THoldBar;
}

namespace sorvane {

using platform::TChartView;
class TLcrMeterPanel;
class TSorvaneChart;
class TWiringImage;
class TfrSpRange;
class TfrValues;
class TfrWaveSetup;
class TExportBar;
class TThieleSmallPanel;

// Where the window keeps its two files: beside the program by default.
struct TSorvaneFiles {
  std::filesystem::path Settings;
  std::filesystem::path Results;
  static TSorvaneFiles Default();
};

// One point per log-spaced cell of `perOctave` per octave: the mean of the cell's points.
QList<QPointF> ThinnedPoints(const QList<QPointF>& points, int perOctave);

class TForm1 : public QWidget {
  Q_OBJECT
public:
  explicit TForm1(TSorvaneFiles files = TSorvaneFiles::Default(), QWidget* parent = nullptr);
  ~TForm1() override;

  // Writes the drawn curve to `file` and says so in lbSaveStatus; with nothing drawn it writes
  // nothing and says that instead. False when nothing was written.
  bool SaveCurve(const std::filesystem::path& file);

  // Controls, named as their Qt objects.
  QTabWidget* PageControl1;
  QWidget* tsSetup;
  QWidget* tsProcessing;
  QWidget* tsLoudspeaker;              // the Thiele-Small parameters of the curve drawn last
  TThieleSmallPanel* pnThieleSmall;
  TfrWaveSetup* frWaveSetup1;
  TWiringImage* Image1;
  TChartView* Chart;
  TfrSpRange* frSpRange1;
  QLabel* lbSaveStatus; // what the last save did, under the range
  QLabel* lbSaturation;
  // Shown while measuring on other cards or at another rate than the calibration was made on.
  QLabel* lbCalibrationPlace;
  QPushButton* btnSave;
  QPushButton* btnSaveAs;
  TExportBar* ExportBar; // "Export..." of the measured curve as ZMA, FRD or CSV
  QGroupBox* rgMode;
  QButtonGroup* rgModeItems;
  QFrame* pnRref;
  QLabel* Label1;
  TfrValues* frRref;
  QGroupBox* gbLCR;
  QPlainTextEdit* memLCRRes;
  QComboBox* cbLCRCurve; // what Series4 shows in "Z graph + LCR": "L/C", "ESR" or "Q" per bin
  TLcrMeterPanel* pnMeter; // the LCR meter's readout beside memLCRRes
  // The fixture's steps under the chart, in "Z graph" and "Z graph + LCR".
  QWidget* pnFixture;
  QPushButton* btnOpen;  // the open step: nothing connected to the leads
  QPushButton* btnShort; // the short step: the leads shorted at their far end
  QPushButton* btnLoad;  // the load step: the resistor typed into edLoad
  QLabel* lbLoad;        // "Load (Ohm)"
  QLineEdit* edLoad;
  QCheckBox* cbFixture;  // "Fixture compensation"
  QLabel* lbFixture;     // what the last step measured, or why the fixture is not used
  QGroupBox* gbCalibration;
  QLabel* lbCalibration;
  QPushButton* btnCalibration;
  QGroupBox* gbGraph;
  QCheckBox* cbModPh;
  QCheckBox* cbDrawAll;
  QCheckBox* cbLeftForAll;
  QCheckBox* cbLogF;
  QPushButton* btnStartStop;
  platform::THoldBar* HoldBar; // "Hold" and the held curves
  platform::TChartHolds* Holds;

  // State, read by the tour and the tests.
  bool Running() const { return FRunning; }
  int BlockLen() const { return FBlockLen; }
  double RangeLo() const { return FRangeLo; }
  double RangeHi() const { return FRangeHi; }
  int DrawStyle() const { return FDrawStyle; }
  double Level() const { return FLevel; }
  int LastMode() const { return FLastMode; }
  bool ShowModPhase() const { return FShowModPhase; }
  int PendingDraws() const { return FPendingDraws; }
  int ModeItem() const { return rgModeItems->checkedId(); }
  TSorvaneChart& ChartData() const { return *SeriesChart; }
  TSignalIn& SignalIn() const { return *FSignalIn; }
  TWaveOut& WaveOut() const { return *FWaveOut; }
  // What the last close reported (empty when both devices stopped in time).
  const std::string& CloseReport() const { return FCloseReport; }
  const TSorvaneFiles& Files() const { return FFiles; }

  // Shows a message to the user: a modal message box unless OnMessage is assigned (the tour and
  // the tests collect the texts instead).
  void ShowError(const std::string& text);
  std::function<void(const std::string& text)> OnMessage;
  // Every text lbFixture shows, as it is shown (the tour prints them).
  std::function<void(const std::string& text)> OnFixtureStatus;
  // Asks for the file that "Save as..." writes, starting from `suggested`; an empty answer means
  // the user cancelled. A file dialog unless assigned (the tests answer without one).
  std::function<QString(const QString& suggested)> OnSaveFileName;

  // The event handlers.
  void btnStartStopClick();
  void btnCalibrationClick();
  void btnSaveClick();
  void btnSaveAsClick();
  void rgModeClick();
  void SetModeItem(int item); // selects an item of rgMode and runs rgModeClick
  void cbModPhClick();
  void cbDrawAllClick();
  void cbLeftForAllClick();
  void cbLogFClick();
  void cbLCRCurveChange();
  void ChartClickAxis(bool rightAxis);
  // The fixture's steps (uSorvaneFixture.cpp): a measurement of a few blocks over the whole
  // band on the devices chosen, whose mean admittance per bin the fixture keeps.
  void btnFixtureStepClick(platform::TFixtureStep step);
  void cbFixtureClick();
  bool FixtureStepRunning() const { return FFixtureStep.has_value(); }
  // The readout's test frequency: the marker's, or the range's geometric centre without one.
  double TestFrequency() const;
  // The LCR meter's readout as shown (nothing before a result).
  const std::optional<platform::TLcrMeterReading>& MeterReading() const;
  // The close check: saves the settings, stops both devices and waits for them; returns the
  // report (also kept in CloseReport). Closing is always allowed.
  std::string FormCloseQuery();

  // The handlers given to other objects.
  void BlockReady(TWaveData& block);
  void RangeChanged(double lo, double hi);
  void SamplingChanged(int rate);
  void ResolutionChanged();
  void AdjustLevel(double factor);
  void ShowSaturation(bool flag);
  // The cards and rate of the devices chosen now.
  platform::TCalibrationPlace PlaceInUse() const;
  void ShowCalibrationPlace();
  void ShowCalibrationStatus(const std::string& text);
  void ShowLCRResult(const std::string& text);
  void SeriesDrawn();
  // A device went away while running (its OnLost).
  void DeviceLost(const std::string& text);

  void LoadSettings();
  void SaveSettings();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void BuildSetupPage();
  void BuildProcessingPage();
  void BuildLoudspeakerPage(); // uSorvaneLoudspeaker.cpp
  // The range bar's full range at the rate and block length in use.
  double FullRangeLo() const;
  bool ThinsTheChart(bool calibrating) const;
  double FullRangeHi() const;
  QWidget* BuildRightColumn();
  void FormCreate();
  void FormDestroy();
  void ApplyGraphOptions();
  // True, and said in lbSaveStatus, when no curve is drawn.
  bool NothingToSave();
  QString AskSaveFileName(const QString& suggested);
  void DrawBlock(const TWaveData& block);
  TBinRange ExportBins(int n) const;
  std::vector<double> ExportVariances(const TWaveData& block, bool swap) const;
  void TakeExportCurve(const TWaveData& block, const std::vector<double>& variances);
  void ClearSeries();
  void SetDrawAllPoints(bool flag);
  void SetLeftAxisForAll(bool flag);
  void ChartPainted();
  void ShowUnits();
  // The L/C, ESR or Q curve of the bins drawn in "Z graph + LCR", in place of the model's.
  bool DrawsBinCurve() const;
  QList<QPointF> BinCurve(const std::array<QList<QPointF>, 4>& points);
  void AfterStartStop();
  // uSorvaneFixture.cpp
  QWidget* BuildFixturePanel();
  void FixtureBlock(const TWaveData& block, bool swap);
  void EndFixtureStep();
  // Ends the step's run and gives the user's range back.
  void FinishFixtureRun();
  void EnableFixtureSteps(bool enabled); // idle only: a step is a run of its own
  void ShowFixtureStatus(const std::string& text, bool warning);
  void WarnOfFixture();
  void ReadFixture(const platform::TIniFile& ini);
  void WriteFixture(platform::TIniFile& ini) const;
  std::vector<std::pair<QComboBox*, std::string>> Choices() const;
  // uSorvaneMeter.cpp
  void ShowMeter();
  void ClearResults();
  bool DevicesIdle() const;
  // Waits until both device threads are idle, at most 2000 ms; true when they are.
  bool AwaitDevicesIdle();

  TSorvaneFiles FFiles;
  platform::TNumericLocale FNumericLocale;
  bool FRunning = false;
  std::unique_ptr<TSorvaneChart> SeriesChart;
  std::unique_ptr<TWaveOut> FWaveOut;
  std::unique_ptr<TSignalIn> FSignalIn;
  std::array<bool, 4> AwaitingPaint{};
  int FPendingDraws = 0;
  int FBlockLen = 2048;
  double FRangeLo = 0, FRangeHi = 0;
  int FDrawStyle = 0;
  double FLevel = 1;
  int FLastMode = 2;
  bool FShowModPhase = false;
  std::string FCloseReport;
  std::filesystem::path FSaveAsFile; // the file "Save as..." wrote last (empty: none yet)
  bool Closed = false;
  std::optional<platform::TFixtureStep> FFixtureStep; // the step in progress
  int FFixtureBlocks = 0;                             // its blocks seen so far
  TAdmittanceAverage FFixtureAverage;
  double FUserLo = 0, FUserHi = 0; // the range before the step took the whole band
  double FFixtureStandard = 0;     // the load step's resistor, ohms
};

} // namespace sorvane
