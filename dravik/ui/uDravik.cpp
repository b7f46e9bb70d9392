// The window's controls at work: the log, the device and format lists, the reference resistor,
// the channel swap, the chart options and the analysis's view of the window.

#include "dravik/ui/uDravik.h"

#include "platform/gui/uChartView.h"
#include "dravik/ui/uRadioGroup.h"
#include "platform/device_choice.h"

#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

#include <charconv>
#include <cmath>
#include <limits>

namespace dravik {
namespace {

// A reference resistance typed by the user: a finite number above 0 with "." as separator
// and nothing else around it but blanks, within the normal range of a double, since the
// settings file keeps it as one. False for anything else.
bool ReadResistance(const QString& text, long double& ohms) {
  const std::string t = text.trimmed().toStdString();
  long double value = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (t.empty() || ec != std::errc() || end != t.data() + t.size()) return false;
  if (!(value >= std::numeric_limits<double>::min() && value <= std::numeric_limits<double>::max()))
    return false;
  ohms = value;
  return true;
}

// The whole number a list item shows, or -1 when it shows none in 0..limit.
long long ItemNumber(const QComboBox* list, long long limit) {
  bool ok = false;
  const qulonglong n = list->currentText().trimmed().toULongLong(&ok);
  return ok && n <= static_cast<qulonglong>(limit) ? static_cast<long long>(n) : -1;
}

} // namespace

TfmLCR::TfmLCR(std::filesystem::path SettingsFile, QWidget* parent)
    : QWidget(parent), Analysis(*this), FSettingsFile(std::move(SettingsFile)) {
  setObjectName("fmLCR");
  BuildControls();
  ConnectControls();
  FormCreate();
}

TfmLCR::~TfmLCR() {
  // A window destroyed without being closed still gives the sound card back.
  SignalIn.reset();
  SignalOut.reset();
}

void TfmLCR::AddMessage(const std::string& Text, bool IsInfo) {
  const QString text = QString::fromStdString(Text);
  if (text.trimmed().isEmpty()) return;
  QTextCursor cursor(reMes->document());
  cursor.movePosition(QTextCursor::End);
  if (!reMes->document()->isEmpty()) cursor.insertBlock();
  QTextCharFormat format;
  format.setForeground(IsInfo ? palette().color(QPalette::WindowText) : QColor(Qt::red));
  cursor.insertText(text, format);
  // The last line comes into view without taking the focus from a box being typed in.
  reMes->verticalScrollBar()->setValue(reMes->verticalScrollBar()->maximum());
  emit MessageAdded(text, IsInfo);
}

// ---- Device settings ----

void TfmLCR::FillSources(QComboBox* List, int32_t Count,
                         const std::function<std::string(int32_t)>& Name, int32_t Current) {
  List->clear();
  for (int32_t i = 0; i < Count; ++i) List->addItem(QString::fromStdString(Name(i)));
  List->setCurrentIndex(Current >= 0 && Current < Count ? Current : -1);
}

void TfmLCR::cbOutChange() {
  if (!SignalOut) return;
  SignalOut->SetDevice(cbOut->currentIndex());
  if (SignalOut->GetDevice() != cbOut->currentIndex()) cbOut->setCurrentIndex(SignalOut->GetDevice());
  FillSources(cbOutSrc, SignalOut->SourceCount(),
              [this](int32_t i) { return SignalOut->SourceName(i); }, SignalOut->GetSource());
  KeepListedFormat();
  EnableStart();
}

void TfmLCR::cbOutPick() {
  cbOutChange();
  if (!SignalOut || !SignalIn) return;
  const int input =
      platform::InputBesideOutput(static_cast<UINT>(SignalOut->GetDevice()), cbIn->currentIndex());
  if (input < 0 || input == cbIn->currentIndex()) return;
  cbIn->setCurrentIndex(input);
  cbInChange();
}

void TfmLCR::cbInChange() {
  if (!SignalIn) return;
  SignalIn->SetDevice(cbIn->currentIndex());
  const int device = static_cast<int>(SignalIn->GetDevice());
  if (device != cbIn->currentIndex()) cbIn->setCurrentIndex(device < cbIn->count() ? device : -1);
  FillSources(cbInSrc, SignalIn->SourceCount(),
              [this](int32_t i) { return SignalIn->SourceName(i); }, SignalIn->GetSource());
  KeepListedFormat();
  EnableStart();
}

// A device picked by the user has settled its own default format; the lists' choice holds for
// it as for the other device. Until start-up is done, the lists follow the devices
// instead (the settings file is read then).
void TfmLCR::KeepListedFormat() {
  if (FCreationDone) cbBitsSamplingChange();
}

void TfmLCR::cbOutSrcChange() {
  if (!SignalOut) return;
  SignalOut->SetSource(cbOutSrc->currentIndex());
  cbOutSrc->setCurrentIndex(SignalOut->GetSource());
}

void TfmLCR::cbInSrcChange() {
  if (!SignalIn) return;
  SignalIn->SetSource(cbInSrc->currentIndex());
  cbInSrc->setCurrentIndex(SignalIn->GetSource());
}

// The output device decides the format; the input follows what it accepted.
void TfmLCR::cbBitsSamplingChange() {
  if (!SignalOut || !SignalIn) return;
  const long long bits = ItemNumber(cbBits, 65535);
  if (bits >= 0) {
    SignalOut->SetBits(static_cast<uint32_t>(bits));
    SignalIn->SetBits(SignalOut->GetBits());
  }
  const long long rate = ItemNumber(cbSampling, 0xFFFFFFFFLL);
  if (rate >= 0) {
    SignalOut->SetSamplingRate(static_cast<uint32_t>(rate));
    SignalIn->SetSamplingRate(SignalOut->GetSamplingRate());
  }
}

// ---- Reference resistor and swap ----

// Text that is no usable resistance keeps the value in force: the box turns red and says why
// in its tip, and the log gets one line when the user leaves the box (not one per keystroke).
void TfmLCR::edRChange() {
  const QString text = edR->text();
  long double ohms = 0;
  const bool bad = !text.trimmed().isEmpty() && !ReadResistance(text, ohms);
  if (!text.trimmed().isEmpty() && !bad) RefResistance = ohms;
  edR->setProperty("notANumber", bad);
  edR->setStyleSheet(bad ? "QLineEdit { color: red; }" : "");
  edR->setToolTip(bad ? QString("\"%1\" is not a resistance in ohms; the reference resistor stays "
                                "%2 Ohm.")
                            .arg(text.trimmed())
                            .arg(static_cast<double>(RefResistance), 0, 'g', 15)
                      : QString());
}

void TfmLCR::ShowReferenceProblem(const QString& Problem) {
  AddMessage(Problem.toStdString(), false);
}

void TfmLCR::cbSwapClick() {
  const bool swapped = cbSwap->isChecked();
  lblLeft->move(swapped ? FRightX : FLeftX, lblLeft->y());
  lblRight->move(swapped ? FLeftX : FRightX, lblRight->y());
}

// ---- Chart options ----

void TfmLCR::Chart1ClickAxis(bool RightAxis) { FChart.ShowGridOf(RightAxis); }

void TfmLCR::cbGraphScaleClick() { FChart.SetAllOnLeft(cbGraphScale->isChecked()); }

void TfmLCR::cbFixAxisClick() { FChart.SetFixedScale(cbFixAxis->isChecked()); }

// ---- The analysis's view of the window ----

bool TfmLCR::BlockConsumer(TDataMatrix& Block) {
  if (!SignalIn) return false;
  if (FResponseRun) return ResponseBlock(Block);
  Analysis.SetRefResistance(RefResistance);
  Analysis.SetSwap(cbSwap->isChecked());
  const platform::TDateTime before = Analysis.LastResultTime();
  Analysis.AnalyseBlock(Block, SignalIn->GetSamplingRate(), SignalIn->BlockLength);
  if (Analysis.LastResultTime() != before) emit ResultShown();
  return false;
}

void TfmLCR::SetResistanceText(const std::string& Text) {
  lblR->setText(QString::fromStdString(Text));
}

void TfmLCR::SetReadoutText(const std::string& Text) {
  lblReadout->setText(QString::fromStdString(Text));
}

void TfmLCR::SetReactanceText(const std::string& Text) {
  lblZ->setText(QString::fromStdString(Text));
}

void TfmLCR::SetSeriesTitle(TSeriesId Series, const std::string& Title) {
  FChart.SetTitle(Series, QString::fromStdString(Title));
}

void TfmLCR::SetSeriesPoints(TSeriesId Series, const TChartPoints& Points) {
  FChart.SetPoints(Series, Points);
}

} // namespace dravik
