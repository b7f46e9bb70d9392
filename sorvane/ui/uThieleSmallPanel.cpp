#include "sorvane/ui/uThieleSmallPanel.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>

#include "platform/gui/uNamedButton.h"
#include "platform/lcr_meter.h"

namespace sorvane {
namespace {

// A number typed in the box, NaN when it is not one above zero.
double Typed(const QLineEdit* edit) {
  bool ok = false;
  const double value = edit->text().trimmed().toDouble(&ok);
  return ok && std::isfinite(value) && value > 0 ? value : NAN;
}

// The rows in the units a loudspeaker builder reads them in.
TResultRow InUsualUnits(TResultRow row) {
  const auto scale = [&](double factor, const char* unit) {
    row.Value.Value *= factor;
    row.Value.U *= factor;
    row.Unit = unit;
  };
  if (row.Unit == "m^3") scale(1e3, "l");
  else if (row.Unit == "kg") scale(1e3, "g");
  return row;
}

} // namespace

std::vector<std::string> ThieleSmallLines(const std::vector<TResultRow>& rows) {
  std::vector<std::string> lines;
  for (const TResultRow& raw : rows) {
    const TResultRow row = InUsualUnits(raw);
    // Litres, grams, per cent and ratios are read without a decimal prefix.
    const bool plainUnit = row.Unit == "l" || row.Unit == "g" || row.Unit == "%" || row.Unit.empty();
    const std::string suffix = plainUnit && !row.Unit.empty() ? " " + row.Unit : "";
    const platform::TMeterValue value{platform::TMeterValue::TKind::Measured, row.Value.Value,
                                      row.Value.U > 0 ? row.Value.U : NAN};
    lines.push_back(row.Name + "= " + platform::FormatMeterValue(value, plainUnit ? "" : row.Unit) + suffix);
  }
  return lines;
}

TThieleSmallPanel::TThieleSmallPanel(QWidget* parent) : QWidget(parent) {
  setObjectName("pnThieleSmall");
  btnFreeAir = platform::NamedButton("btnFreeAir", "Fit in free air",
                      "Fits the Thiele-Small parameters to the impedance curve drawn last, over "
                      "the range under the chart. Measure in \"Z graph\" at a fine resolution.");
  btnAddedMass = platform::NamedButton("btnAddedMass", "Fit with the added mass",
                        "Fits the curve drawn last with the mass typed below on the cone: gives "
                        "the moving mass, the compliance, Bl and Vas.");
  btnClosedBox = platform::NamedButton("btnClosedBox", "Fit in the closed box",
                        "Fits the curve drawn last with the driver in a sealed box of the volume "
                        "typed below: gives Vas and the mechanics from the box's resonance.");
  cbLossyCoil = new QCheckBox("Lossy voice coil (Le with Rl || Ll)");
  cbLossyCoil->setObjectName("cbLossyCoil");
  edMass = new QLineEdit;
  edMass->setObjectName("edMass");
  edSd = new QLineEdit;
  edSd->setObjectName("edSd");
  edVb = new QLineEdit;
  edVb->setObjectName("edVb");
  memTs = new QPlainTextEdit;
  memTs->setObjectName("memTs");
  memTs->setReadOnly(true);
  auto* typed = new QFormLayout;
  typed->addRow("Added mass (g)", edMass);
  typed->addRow("Sd (cm²)", edSd);
  typed->addRow("Box volume (l)", edVb);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(btnFreeAir);
  layout->addWidget(cbLossyCoil);
  layout->addLayout(typed);
  auto* second = new QHBoxLayout;
  second->addWidget(btnAddedMass);
  second->addWidget(btnClosedBox);
  layout->addLayout(second);
  layout->addWidget(memTs, 1);
  connect(btnFreeAir, &QPushButton::clicked, this, &TThieleSmallPanel::btnFreeAirClick);
  connect(btnAddedMass, &QPushButton::clicked, this, &TThieleSmallPanel::btnAddedMassClick);
  connect(btnClosedBox, &QPushButton::clicked, this, &TThieleSmallPanel::btnClosedBoxClick);
}

TThieleSmallFit TThieleSmallPanel::Fit() const {
  std::vector<TImpedancePoint> points;
  if (Curve)
    for (const TCurvePoint& p : Curve()) points.push_back({p.F, p.Value, p.Variance});
  const auto [lo, hi] = Range ? Range() : std::pair(0.0, 0.0);
  if (points.empty()) {
    TThieleSmallFit none;
    none.Failure = "No impedance curve: measure the loudspeaker in \"Z graph\" first.";
    return none;
  }
  return FitThieleSmall(points, lo, hi, cbLossyCoil->isChecked() ? TCoilModel::Lossy : TCoilModel::Inductance);
}

void TThieleSmallPanel::btnFreeAirClick() {
  FFreeAir = Fit();
  FMechanics = {};
  Show();
}

void TThieleSmallPanel::SecondFit(const std::function<TDriverMechanics(const TThieleSmallFit&)>& mechanics) {
  const TThieleSmallFit second = Fit();
  FMechanics = {};
  if (!FFreeAir.Ok) FMechanics.Failure = "Fit the loudspeaker in free air first.";
  else if (!second.Ok) FMechanics.Failure = second.Failure;
  else FMechanics = mechanics(second);
  Show();
}

void TThieleSmallPanel::btnAddedMassClick() {
  SecondFit([this](const TThieleSmallFit& loaded) {
    return MechanicsByAddedMass(FFreeAir, loaded, Typed(edMass) / 1e3, Typed(edSd) / 1e4);
  });
}

void TThieleSmallPanel::btnClosedBoxClick() {
  SecondFit([this](const TThieleSmallFit& inBox) {
    return MechanicsByClosedBox(FFreeAir, inBox, Typed(edVb) / 1e3, Typed(edSd) / 1e4);
  });
}

std::vector<std::string> TThieleSmallPanel::ResultLines() const {
  if (!FFreeAir.Ok) return {FFreeAir.Failure};
  std::vector<std::string> lines = ThieleSmallLines(ResultRows(FFreeAir));
  if (FMechanics.Ok) {
    for (const std::string& line : ThieleSmallLines(ResultRows(FMechanics))) lines.push_back(line);
  } else if (!FMechanics.Failure.empty()) {
    lines.push_back(FMechanics.Failure);
  }
  return lines;
}

void TThieleSmallPanel::Show() {
  const std::vector<std::string> lines = ResultLines();
  QStringList text;
  for (const std::string& line : lines) text << QString::fromStdString(line);
  memTs->setPlainText(text.join('\n'));
  if (OnResult && FFreeAir.Ok) OnResult(lines);
}

} // namespace sorvane
