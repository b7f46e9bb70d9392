#include "sorvane/ui/uLcrMeterPanel.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace sorvane {
namespace {

// A heading line and the readout's eight lines.
constexpr int MeterLines = 9;

QString Heading(TMeterSource source, bool atMarker) {
  const QString where = atMarker ? "at the marker" : "at the range's centre";
  return (source == TMeterSource::Fit ? "Fit " : "Bin ") + where + ":";
}

} // namespace

TLcrMeterPanel::TLcrMeterPanel(QWidget* parent) : QWidget(parent) {
  memMeter = new QPlainTextEdit(this);
  memMeter->setObjectName("memMeter");
  memMeter->setReadOnly(true);
  memMeter->setLineWrapMode(QPlainTextEdit::NoWrap);
  memMeter->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memMeter->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memMeter->setToolTip("What an LCR meter shows at the test frequency: the marker's (click the "
                       "chart), or the range's centre without one");
  const QFontMetrics metrics(memMeter->font());
  const int margins = 2 * (memMeter->frameWidth() + static_cast<int>(memMeter->document()->documentMargin()));
  memMeter->setFixedHeight(MeterLines * metrics.lineSpacing() + margins);
  cbMeterSource = new QComboBox(this);
  cbMeterSource->setObjectName("cbMeterSource");
  cbMeterSource->addItems({"Fit", "Bin"});
  cbMeterSource->setToolTip("Read the series model fitted over the range, or the bin nearest the "
                            "test frequency");
  cbEquivalent = new QComboBox(this);
  cbEquivalent->setObjectName("cbEquivalent");
  cbEquivalent->addItems({"Auto", "Series", "Parallel"});
  cbEquivalent->setToolTip("The equivalent circuit shown: series below 10 Ohm, parallel above "
                           "10 kOhm and the nearer one between them (Auto), or the one chosen");
  auto* choices = new QHBoxLayout;
  choices->setContentsMargins(0, 0, 0, 0);
  choices->addWidget(cbMeterSource, 1);
  choices->addWidget(cbEquivalent, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(memMeter);
  layout->addLayout(choices);
  const auto changed = [this] {
    if (OnChoiceChange) OnChoiceChange();
  };
  connect(cbMeterSource, &QComboBox::currentIndexChanged, this, changed);
  connect(cbEquivalent, &QComboBox::currentIndexChanged, this, changed);
}

void TLcrMeterPanel::Show(const TLcrResult& result, double hz, bool atMarker) {
  Shown = ReadMeter(result, Source(), hz, Choice());
  if (!Shown) {
    memMeter->setPlainText(Source() == TMeterSource::Fit ? "No fit to read." : "No bin to read.");
    return;
  }
  QStringList lines{Heading(Source(), atMarker)};
  for (const std::string& line : platform::LcrMeterLines(*Shown)) lines << QString::fromStdString(line);
  memMeter->setPlainText(lines.join('\n'));
}

void TLcrMeterPanel::Clear() {
  Shown.reset();
  memMeter->clear();
}

} // namespace sorvane
