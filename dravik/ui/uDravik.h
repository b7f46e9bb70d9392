#pragma once
// The program's only window: the chart of the measured impedance (or of the waveforms while
// calibrating), the panel with the run mode, Start/Stop, the device and format lists and the
// painted measuring circuit, and the message log across the bottom. It owns the output and
// the input chain, creates them 100 ms after it appears, reads the settings file then and
// writes it when it closes. The analysis draws into it through TAnalysisOutput.
//
// Controls carry their design names both as members and as Qt object names. The methods are
// spread over these files: uDravik.cpp (controls, log, device and chart options),
// uDravikStartup.cpp (start-up, settings file, closing), uDravikRun.cpp (runs and levels) and
// uDravikResponse.cpp (the response run of the calibration).

#include "dravik/measure/uLCRAnalysis.h"
#include "dravik/signal/uSignalIn.h"
#include "dravik/signal/uSignalOut.h"
#include "dravik/ui/uCalibrationProgress.h"
#include "dravik/ui/uCircuitView.h"
#include "dravik/ui/uLCRChart.h"
#include "dravik/ui/uRunWatch.h"
#include "platform/numeric_locale.h"

#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QBoxLayout;
class QComboBox;
class QFrame;
class QLineSeries;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTextEdit;
class QTimer;

namespace platform {
struct TStoredDevice;
class TChartHolds;
class TChartView;
class THoldBar;
class TIniFile;
}

namespace dravik {

using platform::TChartView;
class TRadioGroup;

class TfmLCR : public QWidget, private TAnalysisOutput {
  Q_OBJECT
public:
  // The settings file is read at start-up and written at close.
  explicit TfmLCR(std::filesystem::path SettingsFile, QWidget* parent = nullptr);
  ~TfmLCR() override;

  // ---- Controls ----
  TChartView* Chart1;
  QLineSeries* Series1;
  QLineSeries* Series2;
  QLineSeries* Series3;
  QCheckBox* cbGraphScale;
  QCheckBox* cbFixAxis;
  platform::THoldBar* HoldBar; // "Hold" and the held curves
  platform::TChartHolds* Holds;
  QFrame* PnlDeviceConnection;
  TRadioGroup* rgRunMode;
  QFrame* shLED;
  QPushButton* btnStart;
  QPushButton* btnOpen;  // the fixture's open step
  QPushButton* btnShort; // the fixture's short step
  QPushButton* btnLoad;  // the fixture's load step, on the standard resistor in edLoad
  QLineEdit* edLoad;     // the load standard, ohms
  QCheckBox* cbFixture;  // "Fixture compensation"
  QComboBox* cbBits;
  QComboBox* cbSampling;
  QComboBox* cbOut;
  QComboBox* cbOutSrc;
  QComboBox* cbIn;
  QComboBox* cbInSrc;
  TCircuitView* Circuit;
  QCheckBox* cbSwap;
  QLineEdit* edR;
  QLabel* lblZ;
  QLabel* lblR;
  QLabel* lblLeft;
  QLabel* lblRight;
  QLabel* lblReadout; // the last result with its uncertainties
  QComboBox* cbTestFrequency; // the LCR meter's test frequency: the fit, or one analysis point
  QComboBox* cbEquivalent;    // "Auto", "Series", "Parallel"
  QLabel* lblMeter;           // the LCR meter's readout at the test frequency
  QSplitter* splLog;  // between the chart with the panel and the log pane
  QLabel* lblProgress; // the calibration's run and step, or how it ended
  QProgressBar* pbCalibration;
  QTextEdit* reMes;
  QTimer* DelayTimer;
  QTimer* RunWatchTimer; // looks, while a run is in progress, whether the capture delivers

  // ---- State ----
  std::unique_ptr<TSignalOut> SignalOut;
  std::unique_ptr<TSignalIn> SignalIn;
  long double RefResistance = 10;
  TLCRAnalysis Analysis;
  bool ClosingDone = false;

  TLCRChart& Chart() { return FChart; }
  const std::filesystem::path& SettingsFile() const { return FSettingsFile; }

  // ---- Start-up, log and closing (uDravikStartup.cpp, uDravik.cpp) ----
  void OnDelayTimer();
  // May the window close? Writes the settings and frees the chains on the first yes.
  bool FormCloseQuery();
  void AddMessage(const std::string& Text, bool IsInfo);
  // True once start-up has run, whether it succeeded or not.
  bool StartupFinished() const { return FStartupFinished; }
  // The settings file's sections "Dravik" and "Calibration": start-up reads them into the
  // controls and the chains, closing writes them to SettingsFile().
  void ReadSettings(const platform::TIniFile& Ini);
  // Saves the settings file; the failure's text, or "" when it was saved.
  std::string WriteSettings();
  void ReportCloseFailure(const std::string& Text);

  // ---- Device settings, reference resistor, swap, chart options (uDravik.cpp) ----
  void cbOutChange();
  // The user picked an output: cbOutChange, then the input that goes with the output is
  // selected (platform::InputBesideOutput). Start-up and the settings file use cbOutChange
  // alone, so a stored pair stays as stored; an input picked afterwards stays as picked.
  void cbOutPick();
  void cbInChange();
  void cbOutSrcChange();
  void cbInSrcChange();
  void cbBitsSamplingChange();
  void edRChange();
  void cbSwapClick();
  void Chart1ClickAxis(bool RightAxis);
  void cbGraphScaleClick();
  void cbFixAxisClick();

  // ---- Run control and levels (uDravikRun.cpp) ----
  using TClickHandler = void (TfmLCR::*)();
  // The multi-tone of a measurement and of the response run.
  static constexpr int32_t HighestTone = 9;
  static constexpr int32_t ToneStep = 1;
  static constexpr uint32_t TonePeriod = 1024;
  // What a click on btnStart does now.
  TClickHandler StartClick() const { return FStartClick; }
  // The run state, told by what btnStart does now: it stops a measurement (or a fixture step),
  // it stops a calibration, or it starts one of them.
  bool RunInProgress() const { return FStartClick == &TfmLCR::btnStopMeasurementClick; }
  bool CalibrationInProgress() const { return FStartClick == &TfmLCR::btnStopCalibrationClick; }
  bool ReadyToStart() const {
    return FStartClick == &TfmLCR::btnStartMeasurementClick ||
           FStartClick == &TfmLCR::btnStartCalibrationClick;
  }
  // A click on btnStart would make this start: nothing else was chosen since it was asked for.
  bool StillStarts(TClickHandler Start) const { return ReadyToStart() && FStartClick == Start; }
  void rgRunModeClick();
  void btnStartMeasurementClick();
  void btnStopMeasurementClick();
  void btnStartCalibrationClick();
  void btnStopCalibrationClick();
  void OnStart();
  void OnStop();
  void OnStopOffSetCalibr();
  void OnStopAmplitudeCalibr();
  // The response run after the amplitude run (uDravikResponse.cpp): the multi-tone on the
  // shorted jig, its blocks into the response meter, then the end of the calibration.
  void StartResponseRun();
  void OnStopResponseCalibr();
  // The fixture's steps (uDravikFixture.cpp): a measurement of a few seconds on the open or
  // the shorted leads whose admittances the analysis then takes out of every reading.
  void btnFixtureStepClick(platform::TFixtureStep Step);
  void cbFixtureClick();
  bool LowerOutputLevel(int32_t Channel);
  bool HandleSaturation(int32_t Channel);
  bool HandleLowLevel(int32_t Channel);

signals:
  // Every line the log receives, as it is appended.
  void MessageAdded(const QString& Text, bool IsInfo);
  // A failure while the window closes (saving the settings), which the log, going away with
  // the window, cannot show: also written to the standard error stream and, on a desktop, shown
  // in a message box before the window goes.
  void CloseFailed(const QString& Text);
  // The analysis has written a new result into lblR, lblZ and the chart.
  void ResultShown();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  // uDravikForm.cpp: the controls as designed and their connections.
  void BuildControls();
  QWidget* BuildChartSide();
  QFrame* BuildPanel();
  QWidget* BuildLogPane();
  void ConnectControls();
  void FormCreate();

  // uDravikStartup.cpp
  bool CreateChains();
  void ReadDevices(const platform::TIniFile& Ini);
  // The log line for a stored device that is not in its list any more.
  void SayIfNotConnected(const platform::TStoredDevice& Stored, const std::string& Kind,
                         const QComboBox& List);
  void ReadOptions(const platform::TIniFile& Ini);
  void MatchFormatLists();
  void FreeChains();
  void ShowLogOnly();
  // Start is offered once start-up is done and while both devices' mixers are set up (another
  // program may hold a control of the chosen one).
  void EnableStart();

  // uDravik.cpp
  static void FillSources(QComboBox* List, int32_t Count,
                          const std::function<std::string(int32_t)>& Name, int32_t Current);
  void ShowReferenceProblem(const QString& Problem);
  void KeepListedFormat();
  bool BlockConsumer(TDataMatrix& Block);
  void SetResistanceText(const std::string& Text) override;
  void SetReactanceText(const std::string& Text) override;
  void SetSeriesTitle(TSeriesId Series, const std::string& Title) override;
  void SetSeriesPoints(TSeriesId Series, const TChartPoints& Points) override;
  void SetReadoutText(const std::string& Text) override;

  // uDravikRun.cpp
  void StopChains();
  bool StartWhenIdle(TClickHandler Start);
  // Every Start begins the watch for a capture that delivers nothing (uRunWatch.h), which
  // RunWatchTimer checks until the run ends; a stalled run is ended with a message.
  void WatchRun();
  void CheckRunWatch();
  TWatchTime RunWatchTime() const; // the watch's two clocks now
  void SetAllOutputAttenuations(int32_t Step);
  void SetStartClick(TClickHandler Handler) { FStartClick = Handler; }
  void FinishCalibration(bool Done);
  void ContinueCalibrationWhenIdle(TClickHandler Next);
  // The run in progress at the step the input chain is at (or the response run's blocks).
  void ShowCalibrationProgress();
  // How the calibration ended, in the progress row; the bar stays where the run stopped unless
  // `Percent` is given.
  void ShowCalibrationEnd(const std::string& Text, int Percent = -1);
  // The result labels and the readout as before any result: a new mode or calibration makes
  // the old one no longer hold.
  void ClearResults();
  // uDravikFixture.cpp
  QBoxLayout* BuildFixtureRow();
  void EnableFixtureSteps(bool Enabled);
  void FixtureResult();
  void EndFixtureStep();
  void WarnOfFixture();
  void ReadFixture(const platform::TIniFile& Ini);
  void WriteFixture(platform::TIniFile& Ini) const;
  // uDravikMeter.cpp
  QBoxLayout* BuildMeterPanel();
  void ShowMeterReadout();
  // The standard typed in edLoad, ohms; 0 when it is not a positive number.
  long double LoadStandard() const;
  // uDravikResponse.cpp
  bool ResponseBlock(TDataMatrix& Block);
  void UseResponseCalibration();
  // The devices and rate in use, as a calibration made now would keep them.
  platform::TCalibrationPlace PlaceInUse() const;
  // Says so when the calibration in force was made on other devices or at another rate.
  void WarnOfCalibrationPlace();
  void RaiseOutputAttenuation(int32_t Channel);
  void LowerOutputAttenuation(int32_t Channel);
  // Would a step down (a louder level) reach a step that saturated in this run?
  bool InputMayRise(int32_t Channel) const;
  bool OutputMayRise(int32_t Channel) const;
  void ForgetSaturations();

  std::filesystem::path FSettingsFile;
  TLCRChart FChart;
  QWidget* FUpper = nullptr; // everything above the log
  QWidget* FProgressRow = nullptr;
  TCalibrationRun FCalibrationRun = TCalibrationRun::Offset;
  platform::TNumericLocale FNumericLocale;
  TClickHandler FStartClick = nullptr;
  TClickHandler FPendingStart = nullptr; // a Start waiting for the devices to close
  TRunWatch FRunWatch;
  QElapsedTimer FRunWatchClock; // real time since the run began
  qint64 FLastRunWatchLookMs = 0; // when the watch last looked, on that clock
  TResponseMeter FResponseMeter;
  bool FResponseRun = false; // the blocks go to the response meter, not to the analysis
  std::optional<platform::TFixtureStep> FFixtureStep; // the step in progress
  int FFixtureResults = 0;                            // results seen in it
  std::array<TComplex, TLCRAnalysis::FrequencyCount> FFixtureSum{};
  // The highest input and output steps that saturated in the run in progress, per channel (-1:
  // none). Where a step is not a halving, the step below a saturated one can read as a low
  // level: the low-level handler never moves a level back to a step that saturated.
  std::array<int32_t, 2> FSaturatedInput{-1, -1};
  std::array<int32_t, 2> FSaturatedOutput{-1, -1};
  int FLeftX = 0;
  int FRightX = 0;
  bool FStartupFinished = false;
  bool FCreationDone = false; // start-up created both chains and read the settings file
};

} // namespace dravik
