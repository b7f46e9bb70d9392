#pragma once
// The LCR meter's readout in "Z graph + LCR": |Z|, θ, D, Q, ESR and the series or parallel
// equivalent at the test frequency, each with its uncertainty, read from the fit over the
// range or from the bin there, with the equivalent circuit chosen as a meter does ("Auto") or
// by the user. It shows what it is given; the window says when and at which frequency.

#include <QComboBox>
#include <QPlainTextEdit>
#include <QWidget>
#include <functional>
#include <optional>

#include "platform/lcr_meter.h"
#include "sorvane/analysis/uMeterReadout.h"

namespace sorvane {

class TLcrMeterPanel : public QWidget {
public:
  explicit TLcrMeterPanel(QWidget* parent = nullptr);

  QPlainTextEdit* memMeter;  // the readout's lines
  QComboBox* cbMeterSource;  // "Fit" (the fit over the range) or "Bin" (the bin there)
  QComboBox* cbEquivalent;   // "Auto", "Series", "Parallel"

  TMeterSource Source() const { return static_cast<TMeterSource>(cbMeterSource->currentIndex()); }
  platform::TEquivalentChoice Choice() const {
    return static_cast<platform::TEquivalentChoice>(cbEquivalent->currentIndex());
  }
  // Reads `result` at hz; atMarker says whether hz is the marker's or the range's centre.
  void Show(const TLcrResult& result, double hz, bool atMarker);
  void Clear();
  // The reading shown (nothing before a result, or without a fit or bins).
  const std::optional<platform::TLcrMeterReading>& Reading() const { return Shown; }

  // One of the two choices changed.
  std::function<void()> OnChoiceChange;

private:
  std::optional<platform::TLcrMeterReading> Shown;
};

} // namespace sorvane
