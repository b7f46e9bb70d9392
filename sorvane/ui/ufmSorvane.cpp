#include "sorvane/ui/ufmSorvane.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "platform/clock.h"
#include "platform/thread.h"
#include "platform/gui/uChartView.h"
#include "platform/gui/uHoldBar.h"
#include "sorvane/ui/uLcrMeterPanel.h"
#include "sorvane/ui/uSorvaneChart.h"
#include "sorvane/ui/uWiringImage.h"
#include "sorvane/ui/ufrSpRange.h"
#include "sorvane/ui/ufrValues.h"
#include "sorvane/ui/ufrWaveSetup.h"
#include "sorvane/ui/uExportBar.h"

namespace sorvane {
namespace {

constexpr int StopWaitMs = 2000;
constexpr int RightColumnWidth = 140; // at the least

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

void SetBold(QWidget* w) {
  QFont f = w->font();
  f.setBold(true);
  w->setFont(f);
}

} // namespace

TSorvaneFiles TSorvaneFiles::Default() {
  return {platform::SettingsFilePath(), platform::ProgramFilePath(".txt")};
}

TForm1::TForm1(TSorvaneFiles files, QWidget* parent) : QWidget(parent), FFiles(std::move(files)) {
  setObjectName("Form1");
  setWindowTitle("Sorvane");
  resize(585, 430);
  PageControl1 = Named(new QTabWidget(this), "PageControl1");
  // At least 485 by 430, and larger where the controls shown need it (the LCR meter's readout):
  // the layout keeps the window's minimum at what they take, and the two struts at the least.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addStrut(485 - 8);
  auto* row = new QHBoxLayout;
  row->addStrut(430 - 8);
  row->addWidget(PageControl1);
  layout->addLayout(row);
  BuildSetupPage();
  BuildProcessingPage();
  BuildLoudspeakerPage();
  FormCreate();
}

TForm1::~TForm1() { FormDestroy(); }

void TForm1::BuildSetupPage() {
  tsSetup = Named(new QWidget, "tsSetup");
  PageControl1->addTab(tsSetup, "Setup");
  frWaveSetup1 = Named(new TfrWaveSetup(tsSetup), "frWaveSetup1");
  Image1 = new TWiringImage(tsSetup);
  auto* layout = new QVBoxLayout(tsSetup);
  // As wide as the frame's lists ask for their longest names, and no wider.
  layout->addWidget(frWaveSetup1, 0, Qt::AlignLeft);
  layout->addWidget(Image1, 1);
}

void TForm1::BuildProcessingPage() {
  tsProcessing = Named(new QWidget, "tsProcessing");
  PageControl1->addTab(tsProcessing, "Processing");
  SeriesChart = std::make_unique<TSorvaneChart>();
  Chart = Named(new TChartView(SeriesChart->Chart(), tsProcessing), "Chart");
  const auto& series = SeriesChart->SeriesList();
  Holds = new platform::TChartHolds(SeriesChart->Chart(), {series.begin(), series.end()});
  SeriesChart->OnAxesChanged = [this] { Holds->FollowAxes(); };
  frSpRange1 = Named(new TfrSpRange(tsProcessing), "frSpRange1");
  // One line under the range, across the chart's width, so the right column keeps its height:
  // the save status and the held curves' buttons.
  lbSaveStatus = Named(new QLabel(tsProcessing), "lbSaveStatus");
  lbSaveStatus->setVisible(false); // until the first save
  HoldBar = Named(new platform::THoldBar(*Holds, tsProcessing), "HoldBar");
  auto* status = new QHBoxLayout;
  status->setContentsMargins(0, 0, 0, 0);
  status->addWidget(lbSaveStatus, 1);
  status->addStretch(); // keeps the buttons together at the right while no status is shown
  // "Export..." on the same line: the right column has no height to spare.
  ExportBar = new TExportBar(tsProcessing);
  ExportBar->OnMessage = [this](const std::string& text) { ShowError(text); };
  status->addWidget(ExportBar);
  HoldBar->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  status->addWidget(HoldBar);
  auto* left = new QVBoxLayout;
  left->setContentsMargins(0, 0, 0, 0);
  left->addWidget(Chart, 1);
  left->addWidget(frSpRange1);
  left->addWidget(BuildFixturePanel());
  left->addLayout(status);
  auto* layout = new QHBoxLayout(tsProcessing);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addLayout(left, 1);
  layout->addWidget(BuildRightColumn());
  connect(Chart, &TChartView::Painted, this, &TForm1::ChartPainted);
  connect(Chart, &TChartView::AxisClicked, this, &TForm1::ChartClickAxis);
  connect(Chart, &TChartView::WholeRangeShown, this, [this] { SeriesChart->Rescale(); });
  connect(&Chart->Cursor(), &platform::TChartCursor::MarkerChanged, this, &TForm1::ShowMeter);
}

QWidget* TForm1::BuildRightColumn() {
  auto* column = new QWidget(tsProcessing);
  // Wide enough for the LCR result's longest line, a value with its uncertainty, in the bold
  // font it is shown in.
  QFont bold = column->font();
  bold.setBold(true);
  const int resultWidth = QFontMetrics(bold).horizontalAdvance("Cx= 9.999958 \u00b1 0.000023 \u00b5F") + 24;
  // And for the meter's longest lines in its plain font.
  const QFontMetrics plain(column->font());
  const int meterWidth = std::max(plain.horizontalAdvance("Ls, Cs: no reactance above the noise"),
                                  plain.horizontalAdvance("|Z| = 99.99958 \u00b1 0.00023 kOhm")) + 24;
  column->setFixedWidth(std::max({RightColumnWidth, resultWidth, meterWidth}));
  auto* v = new QVBoxLayout(column);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(4);

  lbSaturation = Named(new QLabel("Saturation", column), "lbSaturation");
  SetBold(lbSaturation);
  lbSaturation->setStyleSheet("color: rgb(255, 0, 0);");
  lbSaturation->setAlignment(Qt::AlignCenter);
  lbSaturation->setVisible(false);
  lbCalibrationPlace = Named(new QLabel(column), "lbCalibrationPlace");
  lbCalibrationPlace->setWordWrap(true);
  lbCalibrationPlace->setStyleSheet("color: rgb(170, 85, 0);");
  lbCalibrationPlace->setVisible(false);
  btnSave = Named(new QPushButton("Save", column), "btnSave");
  btnSave->setToolTip(QString::fromStdString("Saves the drawn curve to " + FFiles.Results.string()));
  btnSaveAs = Named(new QPushButton("Save as...", column), "btnSaveAs");
  btnSaveAs->setToolTip("Saves the drawn curve to a file of your choice");
  auto* saving = new QHBoxLayout;
  saving->setSpacing(2);
  saving->addWidget(btnSave);
  saving->addWidget(btnSaveAs);

  rgMode = Named(new QGroupBox(" Mode ", column), "rgMode");
  rgModeItems = new QButtonGroup(rgMode);
  auto* modes = new QVBoxLayout(rgMode);
  modes->setSpacing(1);
  const char* items[] = {"Calibration", "Z graph", "Z graph + LCR", "Transfer graph"};
  for (int i = 0; i < 4; ++i) {
    auto* item = new QRadioButton(items[i], rgMode);
    rgModeItems->addButton(item, i);
    modes->addWidget(item);
  }
  rgModeItems->button(0)->setChecked(true);

  pnRref = Named(new QFrame(column), "pnRref");
  Label1 = Named(new QLabel("R ref", pnRref), "Label1");
  frRref = Named(new TfrValues(pnRref), "frRref");
  auto* rref = new QHBoxLayout(pnRref);
  rref->setContentsMargins(0, 0, 0, 0);
  rref->addWidget(Label1);
  rref->addWidget(frRref, 1);

  gbLCR = Named(new QGroupBox(" LCR result  ", column), "gbLCR");
  memLCRRes = Named(new QPlainTextEdit(gbLCR), "memLCRRes");
  memLCRRes->setReadOnly(true);
  SetBold(memLCRRes);
  memLCRRes->setFixedHeight(62);
  memLCRRes->setLineWrapMode(QPlainTextEdit::NoWrap);
  memLCRRes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  cbLCRCurve = Named(new QComboBox(gbLCR), "cbLCRCurve");
  cbLCRCurve->addItems({"L/C", "ESR", "Q"});
  cbLCRCurve->setToolTip("The curve drawn on its own axis: L or C, the series resistance or Q per bin");
  pnMeter = Named(new TLcrMeterPanel(gbLCR), "pnMeter");
  pnMeter->OnChoiceChange = [this] { ShowMeter(); };
  auto* lcr = new QVBoxLayout(gbLCR);
  lcr->addWidget(memLCRRes);
  lcr->addWidget(cbLCRCurve);
  lcr->addWidget(pnMeter);
  gbLCR->layout()->setContentsMargins(4, 2, 4, 4);

  gbCalibration = Named(new QGroupBox(" Calibration   ", column), "gbCalibration");
  lbCalibration = Named(new QLabel(gbCalibration), "lbCalibration");
  SetBold(lbCalibration);
  lbCalibration->setWordWrap(true);
  lbCalibration->setMinimumHeight(44);
  lbCalibration->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  btnCalibration = Named(new QPushButton("Continue", gbCalibration), "btnCalibration");
  SetBold(btnCalibration);
  btnCalibration->setVisible(false);
  auto* cal = new QVBoxLayout(gbCalibration);
  cal->addWidget(lbCalibration);
  cal->addWidget(btnCalibration);

  gbGraph = Named(new QGroupBox(" Graph ", column), "gbGraph");
  cbModPh = Named(new QCheckBox("Mod. && Phase", gbGraph), "cbModPh");
  cbDrawAll = Named(new QCheckBox("Draw all points", gbGraph), "cbDrawAll");
  cbDrawAll->setChecked(true);
  cbLeftForAll = Named(new QCheckBox("Left Y for all", gbGraph), "cbLeftForAll");
  cbLogF = Named(new QCheckBox("Lg(f)", gbGraph), "cbLogF");
  auto* graph = new QVBoxLayout(gbGraph);
  graph->setSpacing(1);
  for (QCheckBox* box : {cbModPh, cbDrawAll, cbLeftForAll, cbLogF}) graph->addWidget(box);

  btnStartStop = Named(new QPushButton("Start", column), "btnStartStop");
  SetBold(btnStartStop);

  v->addWidget(lbSaturation);
  v->addWidget(lbCalibrationPlace);
  v->addLayout(saving);
  for (QWidget* w : {static_cast<QWidget*>(rgMode), static_cast<QWidget*>(pnRref),
                     static_cast<QWidget*>(gbLCR), static_cast<QWidget*>(gbCalibration),
                     static_cast<QWidget*>(gbGraph)})
    v->addWidget(w);
  v->addStretch(1);
  v->addWidget(btnStartStop);

  connect(btnSave, &QPushButton::clicked, this, &TForm1::btnSaveClick);
  connect(btnSaveAs, &QPushButton::clicked, this, &TForm1::btnSaveAsClick);
  connect(btnStartStop, &QPushButton::clicked, this, &TForm1::btnStartStopClick);
  connect(btnCalibration, &QPushButton::clicked, this, &TForm1::btnCalibrationClick);
  connect(rgModeItems, &QButtonGroup::idClicked, this, [this] { rgModeClick(); });
  connect(cbModPh, &QCheckBox::toggled, this, &TForm1::cbModPhClick);
  connect(cbDrawAll, &QCheckBox::toggled, this, &TForm1::cbDrawAllClick);
  connect(cbLeftForAll, &QCheckBox::toggled, this, &TForm1::cbLeftForAllClick);
  connect(cbLogF, &QCheckBox::toggled, this, &TForm1::cbLogFClick);
  connect(cbLCRCurve, &QComboBox::currentIndexChanged, this, &TForm1::cbLCRCurveChange);
  return column;
}

void TForm1::FormCreate() {
  // Every number the window writes or reads uses the point, whatever the user's locale.
  FNumericLocale.Apply();
  PageControl1->setCurrentIndex(0);
  FLastMode = 2;

  FWaveOut = std::make_unique<TWaveOut>();
  FSignalIn = std::make_unique<TSignalIn>();
  FWaveOut->OnSignalChange = [this](bool on) { FSignalIn->EnableCollection(on); };
  FSignalIn->SetErrorHandler([this](const std::string& text) { ShowError(text); });
  FWaveOut->OnError = [this](const std::string& text) { ShowError(text); };
  FSignalIn->SetLostHandler([this](const std::string& text) { DeviceLost(text); });
  FWaveOut->OnLost = [this](const std::string& text) { DeviceLost(text); };
  FRunning = false;

  frWaveSetup1->OnSamplingChange = [this](int rate) { SamplingChanged(rate); };
  frWaveSetup1->OnResolutionChange = [this](int) { ResolutionChanged(); };
  FSignalIn->OnBlock = [this](TWaveData& block) { BlockReady(block); };
  frSpRange1->OnRangeChange = [this](double lo, double hi) { RangeChanged(lo, hi); };

  frRref->SetPositiveOnly(true);
  frRref->ShowValue(1);
  frRref->SetSection("Rref");

  LoadSettings();
  ApplyGraphOptions();
  SamplingChanged(frWaveSetup1->SamplingRate());
  rgModeClick();

  FSignalIn->OnSaturation = [this](bool flag) { ShowSaturation(flag); };
  FSignalIn->OnLevel = [this](double factor) { AdjustLevel(factor); };
  SeriesChart->SetRightGrid(false);
  FLevel = 1;
}

void TForm1::FormDestroy() {
  disconnect(Chart, nullptr, this, nullptr);
  disconnect(&Chart->Cursor(), nullptr, this, nullptr);
  pnMeter->OnChoiceChange = nullptr;
  frSpRange1->OnRangeChange = nullptr;
  frWaveSetup1->OnSamplingChange = nullptr;
  frWaveSetup1->OnResolutionChange = nullptr;
  // The measuring core first (it owns the capture side), then playback; their events must not
  // reach a window that is going away.
  FSignalIn->OnBlock = nullptr;
  FSignalIn->OnLevel = nullptr;
  FSignalIn->OnSaturation = nullptr;
  FSignalIn->SetErrorHandler(nullptr);
  FSignalIn->SetLostHandler(nullptr);
  FWaveOut->OnError = nullptr;
  FWaveOut->OnLost = nullptr;
  FSignalIn.reset();
  FWaveOut->OnSignalChange = nullptr;
  FWaveOut.reset();
  FNumericLocale.Restore();
}

void TForm1::ShowError(const std::string& text) {
  if (OnMessage) OnMessage(text);
  else QMessageBox::information(this, "Sorvane", QString::fromStdString(text));
}

bool TForm1::DevicesIdle() const { return FWaveOut->Idle() && FSignalIn->WaveIn().Idle(); }

bool TForm1::AwaitDevicesIdle() {
  // Polls the time of day, as the devices' own time-outs do; the steady clock bounds the wait
  // too, since a paced test card's time of day stands still once nothing plays.
  const platform::TDateTime start = platform::Now();
  const auto steadyStart = std::chrono::steady_clock::now();
  while (!DevicesIdle()) {
    const auto steadyMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - steadyStart).count();
    if (platform::MillisecondsBetween(start, platform::Now()) >= StopWaitMs || steadyMs >= StopWaitMs)
      return false;
    platform::CheckSynchronize(5);
  }
  return true;
}

std::string TForm1::FormCloseQuery() {
  SaveSettings();
  FSignalIn->Stop();
  FWaveOut->Stop();
  AwaitDevicesIdle();
  std::string message;
  if (!FSignalIn->WaveIn().Idle()) message += "Can not stop WaveIn.\r\n";
  if (!FWaveOut->Idle()) message += "Can not stop WaveOut.\r\n";
  if (!message.empty()) {
    message += "Abnormal termination.\r\nTry use Task Manager to close this software.";
    ShowError(message);
  }
  FRunning = false;
  FCloseReport = message;
  return message;
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!Closed) {
    Closed = true;
    FormCloseQuery();
  }
  event->accept();
}

} // namespace sorvane
