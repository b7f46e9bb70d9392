#pragma once
// How the charts of both programs draw their curves: one palette that people with the common
// colour-vision deficiencies can still tell apart (and from the white background), measured
// curves solid, fitted or model curves dashed and thinner, held copies faint. A curve also
// carries its unit, which the cursor readout shows beside its values.

#include "platform/gui/uColourVision.h"

#include <QColor>
#include <QString>
#include <QXYSeries>
#include <array>

namespace platform {

enum class TCurveKind { Measured, Model, Held };

// Red, blue, near-black and sky blue: the curves' colours in this order.
const std::array<TRgb, 4>& CurvePalette();
QColor CurveColour(std::size_t index);
// The chart's background, against which the palette is checked.
TRgb ChartBackground();

QPen CurvePen(const QColor& colour, TCurveKind kind);
void StyleCurve(QXYSeries* series, const QColor& colour, TCurveKind kind);

// The unit of a series' values or of an axis ("Ohm", "H", "°", "Hz"); empty for a plain ratio.
void SetUnit(QObject* seriesOrAxis, const QString& unit);
QString UnitOf(const QObject* seriesOrAxis);

} // namespace platform
