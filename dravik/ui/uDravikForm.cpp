// The window as designed: where every control stands, its first content, and which handler
// each control's event runs.

#include "platform/gui/uChartView.h"
#include "platform/gui/uHoldBar.h"
#include "dravik/ui/uDravik.h"
#include "dravik/ui/uRadioGroup.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLegend>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace dravik {
namespace {

constexpr int DesignWidth = 631;
constexpr int DesignHeight = 402;
// The log pane opens this many lines high and can be dragged taller, never below LogMinLines.
constexpr int LogOpenLines = 6;
constexpr int LogMinLines = 3;
// A device list is as wide as its longest name, and never narrower than this many characters.
constexpr int DeviceMinChars = 16;
constexpr int ProgressWidth = 200;
// The log keeps its latest lines only, so that a window left running for days, through any
// number of runs and level changes, does not grow without end.
constexpr int LogLines = 2000;
constexpr int LedSize = 14;

template <typename T, typename... Args>
T* Named(const char* name, Args&&... args) {
  T* widget = new T(std::forward<Args>(args)...);
  widget->setObjectName(name);
  return widget;
}

QComboBox* MakeList(const char* name, const QStringList& items = {}) {
  auto* list = Named<QComboBox>(name);
  list->addItems(items);
  // Source names and formats must not widen the panel; the open list shows them in full.
  list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  list->setMinimumContentsLength(4);
  return list;
}

// A device is told from the others by the whole of its name, so the list widens the panel to it.
QComboBox* MakeDeviceList(const char* name) {
  auto* list = Named<QComboBox>(name);
  list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  list->setMinimumContentsLength(DeviceMinChars);
  return list;
}

// The height of `lines` lines of the text box's font, with its frame.
int LinesHigh(const QTextEdit* box, int lines) {
  return box->fontMetrics().lineSpacing() * lines + 2 * box->frameWidth() +
         static_cast<int>(2 * box->document()->documentMargin());
}

QLabel* Caption(const QString& text) { return new QLabel(text); }

// A layout of `widget` without margins, its items `spacing` apart.
template <typename L>
L* BareLayout(QWidget* widget, int spacing) {
  auto* layout = new L(widget);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(spacing);
  return layout;
}

} // namespace

void TfmLCR::BuildControls() {
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(4, 4, 4, 4);
  root->setSpacing(4);
  FUpper = new QWidget(this);
  auto* upper = BareLayout<QHBoxLayout>(FUpper, 4);
  upper->addWidget(BuildChartSide(), 1);
  upper->addWidget(BuildPanel(), 0, Qt::AlignTop);
  splLog = Named<QSplitter>("splLog", Qt::Vertical);
  splLog->setChildrenCollapsible(false);
  splLog->addWidget(FUpper);
  splLog->addWidget(BuildLogPane());
  // A taller window gives the chart most of its height and the log some.
  splLog->setStretchFactor(0, 3);
  splLog->setStretchFactor(1, 1);
  root->addWidget(splLog, 1);
  DelayTimer = Named<QTimer>("DelayTimer", this);
  DelayTimer->setSingleShot(true);
  DelayTimer->setInterval(500);
  RunWatchTimer = Named<QTimer>("RunWatchTimer", this);
  RunWatchTimer->setInterval(250);
  resize(DesignWidth, DesignHeight);
  splLog->setSizes({DesignHeight, FProgressRow->sizeHint().height() + LinesHigh(reMes, LogOpenLines)});
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

// The calibration's progress above the log, both under the splitter's handle.
QWidget* TfmLCR::BuildLogPane() {
  auto* pane = new QWidget;
  auto* column = BareLayout<QVBoxLayout>(pane, 2);
  FProgressRow = new QWidget(pane);
  auto* progress = BareLayout<QHBoxLayout>(FProgressRow, 6);
  lblProgress = Named<QLabel>("lblProgress");
  pbCalibration = Named<QProgressBar>("pbCalibration");
  pbCalibration->setRange(0, 100);
  pbCalibration->setValue(0);
  pbCalibration->setFixedWidth(ProgressWidth);
  pbCalibration->setToolTip("How far the calibration has come: offset, amplitude and response run.");
  progress->addWidget(lblProgress, 1);
  progress->addWidget(pbCalibration);
  column->addWidget(FProgressRow);
  reMes = Named<QTextEdit>("reMes");
  reMes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  reMes->document()->setMaximumBlockCount(LogLines);
  reMes->setMinimumHeight(LinesHigh(reMes, LogMinLines));
  column->addWidget(reMes, 1);
  return pane;
}

QWidget* TfmLCR::BuildChartSide() {
  auto* side = new QWidget;
  auto* column = BareLayout<QVBoxLayout>(side, 2);
  Chart1 = Named<TChartView>("Chart1", FChart.Chart());
  Chart1->setMinimumSize(310, 297);
  Series1 = FChart.Series(TSeriesId::Series1);
  Series2 = FChart.Series(TSeriesId::Series2);
  Series3 = FChart.Series(TSeriesId::Series3);
  Series1->setObjectName("Series1");
  Series2->setObjectName("Series2");
  Series3->setObjectName("Series3");
  column->addWidget(Chart1, 1);
  auto* options = new QHBoxLayout;
  cbGraphScale = Named<QCheckBox>("cbGraphScale", "Left axis for all");
  cbFixAxis = Named<QCheckBox>("cbFixAxis", "Fix scale");
  options->addWidget(cbGraphScale);
  options->addWidget(cbFixAxis);
  options->addStretch(1);
  Holds = new platform::TChartHolds(FChart.Chart(), {Series1, Series2, Series3});
  FChart.OnAxesChanged = [this] { Holds->FollowAxes(); };
  HoldBar = Named<platform::THoldBar>("HoldBar", *Holds);
  options->addWidget(HoldBar);
  column->addLayout(options);
  return side;
}

QFrame* TfmLCR::BuildPanel() {
  PnlDeviceConnection = Named<QFrame>("PnlDeviceConnection");
  PnlDeviceConnection->setFrameShape(QFrame::StyledPanel);
  // As wide as its widest row asks (a whole device name, or the diagram), never less.
  PnlDeviceConnection->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  auto* panel = new QVBoxLayout(PnlDeviceConnection);
  panel->setContentsMargins(4, 2, 4, 4);
  panel->setSpacing(3);

  auto* run = new QHBoxLayout;
  rgRunMode = Named<TRadioGroup>("rgRunMode", QStringList{"Calibration", "Measurement"}, 2);
  rgRunMode->SetItemIndex(0);
  shLED = Named<QFrame>("shLED");
  shLED->setFixedSize(LedSize, LedSize);
  shLED->setFrameShape(QFrame::Box);
  shLED->setAutoFillBackground(true);
  btnStart = Named<QPushButton>("btnStart", "Start");
  btnStart->setEnabled(false);
  btnStart->setFixedWidth(64);
  run->addWidget(rgRunMode, 1);
  run->addWidget(shLED);
  run->addWidget(btnStart);
  panel->addLayout(run);
  panel->addLayout(BuildFixtureRow());

  auto* format = new QHBoxLayout;
  cbBits = MakeList("cbBits", {"8", "16"});
  cbBits->setCurrentIndex(1);
  cbSampling = MakeList("cbSampling", {"11025", "22050", "44100", "48000", "96000", "192000"});
  cbSampling->setCurrentIndex(3);
  cbSampling->setMinimumContentsLength(6);
  // The caption takes a line of its own so that both lists fit the panel's width.
  panel->addWidget(Caption("Output/Input settings->"));
  format->addWidget(Caption("Bits:"));
  format->addWidget(cbBits, 1);
  format->addSpacing(8);
  format->addWidget(Caption("Sampling:"));
  format->addWidget(cbSampling, 2);
  panel->addLayout(format);

  // Each device on a row of its own, so that its whole name shows; the sources below them, output
  // left and input right.
  auto* devices = new QGridLayout;
  devices->setSpacing(3);
  cbOut = MakeDeviceList("cbOut");
  cbOutSrc = MakeList("cbOutSrc");
  cbIn = MakeDeviceList("cbIn");
  cbInSrc = MakeList("cbInSrc");
  devices->addWidget(Caption("Output"), 0, 0);
  devices->addWidget(cbOut, 0, 1, 1, 2);
  devices->addWidget(Caption("Input"), 1, 0);
  devices->addWidget(cbIn, 1, 1, 1, 2);
  devices->addWidget(Caption("Sources"), 2, 0);
  devices->addWidget(cbOutSrc, 2, 1);
  devices->addWidget(cbInSrc, 2, 2);
  devices->setColumnStretch(1, 1);
  devices->setColumnStretch(2, 1);
  panel->addLayout(devices);

  Circuit = new TCircuitView;
  cbSwap = Circuit->cbSwap;
  edR = Circuit->edR;
  lblZ = Circuit->lblZ;
  lblR = Circuit->lblR;
  lblLeft = Circuit->lblLeft;
  lblRight = Circuit->lblRight;
  panel->addWidget(Circuit, 0, Qt::AlignHCenter);
  lblReadout = Named<QLabel>("lblReadout");
  lblReadout->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblReadout->setToolTip("The last result: each value with its standard uncertainty, and the "
                         "impedance at the frequency that carried the most signal.");
  panel->addWidget(lblReadout);
  panel->addLayout(BuildMeterPanel());
  panel->addStretch(1);
  return PnlDeviceConnection;
}

void TfmLCR::ConnectControls() {
  connect(DelayTimer, &QTimer::timeout, this, &TfmLCR::OnDelayTimer);
  connect(RunWatchTimer, &QTimer::timeout, this, &TfmLCR::CheckRunWatch);
  connect(btnStart, &QPushButton::clicked, this, [this] {
    if (FStartClick) (this->*FStartClick)();
  });
  connect(rgRunMode, &TRadioGroup::Clicked, this, &TfmLCR::rgRunModeClick);
  // "activated" comes only from the user, so the handlers' own selections do not recurse.
  connect(cbOut, &QComboBox::activated, this, &TfmLCR::cbOutPick);
  connect(cbIn, &QComboBox::activated, this, &TfmLCR::cbInChange);
  connect(cbOutSrc, &QComboBox::activated, this, &TfmLCR::cbOutSrcChange);
  connect(cbInSrc, &QComboBox::activated, this, &TfmLCR::cbInSrcChange);
  connect(cbBits, &QComboBox::activated, this, &TfmLCR::cbBitsSamplingChange);
  connect(cbSampling, &QComboBox::activated, this, &TfmLCR::cbBitsSamplingChange);
  connect(edR, &QLineEdit::textChanged, this, &TfmLCR::edRChange);
  connect(edR, &QLineEdit::editingFinished, this, [this] {
    if (edR->property("notANumber").toBool()) ShowReferenceProblem(edR->toolTip());
  });
  connect(cbSwap, &QCheckBox::clicked, this, &TfmLCR::cbSwapClick);
  connect(cbGraphScale, &QCheckBox::clicked, this, &TfmLCR::cbGraphScaleClick);
  connect(cbFixAxis, &QCheckBox::clicked, this, &TfmLCR::cbFixAxisClick);
  connect(Chart1, &TChartView::AxisClicked, this, &TfmLCR::Chart1ClickAxis);
  connect(Chart1, &TChartView::WholeRangeShown, this, [this] { FChart.Rescale(); });
}

void TfmLCR::FormCreate() {
  setWindowTitle("Dravik");
  DelayTimer->setInterval(100);
  FNumericLocale.Apply();
  FChart.Chart()->legend()->setBrush(palette().color(QPalette::Button));
  FChart.Chart()->legend()->setBackgroundVisible(true);
  QPalette led = shLED->palette();
  led.setColor(QPalette::Window, palette().color(QPalette::Button));
  shLED->setPalette(led);
  edRChange();
  FLeftX = lblLeft->x();
  FRightX = lblRight->x();
  rgRunModeClick();
  FChart.RightAxis()->setGridLineVisible(false);
  reMes->clear();
  reMes->setReadOnly(true);
  ClosingDone = false;
  DelayTimer->start();
}

} // namespace dravik
