#pragma once
// The component's value bin by bin, drawn in "Z graph + LCR" beside the impedance: L(f) or
// C(f), flat for an ideal part, or its series resistance ESR(f), or its quality factor Q(f),
// each from the measured Zx of the bin. L, C and small resistances are scaled to a prefixed
// unit ("µH", "nF", "mOhm"), so that the curve's own axis carries readable numbers.

#include <QList>
#include <QPointF>
#include <QString>

namespace sorvane {

enum class TLcrCurve { LC, ESR, Q };

struct TBinCurve {
  QString Quantity; // "L", "C", "ESR", "Q"
  QString Unit;     // with its prefix; empty for Q
  QList<QPointF> Points;
};

// re and im: Re Zx and Im Zx at the same frequencies (Hz). inductive: L(f) rather than C(f).
// Bins where the quantity has no meaning (no reactance, C of an inductive bin, Q of a part
// without resistance) are left out.
TBinCurve LcrCurve(TLcrCurve which, const QList<QPointF>& re, const QList<QPointF>& im, bool inductive);

} // namespace sorvane
