#pragma once
// The loudspeaker page: the Thiele-Small parameters fitted to the impedance curve drawn last
// (over the range chosen under the chart), each with its uncertainty and the fit's misfit, and
// from a second curve with a known mass on the cone the moving mass, compliance, force factor
// and equivalent air volume. The result goes into the exported ZMA file's header.

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "sorvane/analysis/uLogThinning.h"
#include "sorvane/analysis/uThieleSmall.h"

namespace sorvane {

class TThieleSmallPanel : public QWidget {
  Q_OBJECT
public:
  explicit TThieleSmallPanel(QWidget* parent = nullptr);

  // The impedance curve and the range the fit takes, asked for at each fit.
  std::function<std::vector<TCurvePoint>()> Curve;
  std::function<std::pair<double, double>()> Range;
  // Called with the result's lines ("Re= 6.2 ± 0.01 Ohm", ...) after every fit.
  std::function<void(const std::vector<std::string>& lines)> OnResult;

  // Fits the curve in free air (the first fit) or with the added mass on the cone.
  void btnFreeAirClick();
  void btnAddedMassClick();
  // ... or in a closed box of the volume typed.
  void btnClosedBoxClick();

  const TThieleSmallFit& FreeAir() const { return FFreeAir; }
  const TDriverMechanics& Mechanics() const { return FMechanics; }
  // The lines shown: the free-air parameters, then the mechanics where measured.
  std::vector<std::string> ResultLines() const;

  QPushButton* btnFreeAir;
  QPushButton* btnAddedMass;
  QPushButton* btnClosedBox;
  QCheckBox* cbLossyCoil;
  QLineEdit* edMass; // grams
  QLineEdit* edSd;   // square centimetres
  QLineEdit* edVb;   // litres
  QPlainTextEdit* memTs;

private:
  TThieleSmallFit Fit() const;
  // The second fit and what it adds to the free-air one.
  void SecondFit(const std::function<TDriverMechanics(const TThieleSmallFit&)>& mechanics);
  void Show();

  TThieleSmallFit FFreeAir;
  TDriverMechanics FMechanics;
};

// "fs= 45.002 ± 0.013 Hz" for each row, in the row's unit (Vas in litres, Mms in grams).
std::vector<std::string> ThieleSmallLines(const std::vector<TResultRow>& rows);

} // namespace sorvane
