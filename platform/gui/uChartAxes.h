#pragma once
// Axes a person can read: the labelled ticks of a value axis stay on round values (1-2-5 steps)
// whatever range the program, a zoom or a pan gives it, as many as fit its length, written with
// the decimals that tell them apart; a logarithmic axis labels its decades. Labels are never
// shortened with an ellipsis: the plot area makes room for them instead.

#include <QChart>
#include <QLogValueAxis>
#include <QString>
#include <QStringList>
#include <QValueAxis>

namespace platform {

// Follows the axis's range and the chart's plot area from now on.
void KeepRoundTicks(QChart* chart, QValueAxis* axis);
void KeepDecadeLabels(QLogValueAxis* axis);
// Sets the range of an axis that keeps round ticks. A far wider range set directly would first
// be laid out with the old, fine step: thousands of ticks.
void SetRoundRange(QChart* chart, QValueAxis* axis, double lo, double hi);
// The ticks sit a ten-millionth of a step above the round values (so that zero never reads
// "-0"): a range meant to end on ticks is widened by this part of its step.
constexpr double TickEndPad = 1e-6;

// The most labels of the axis's font that fit along lengthPx for lo..hi.
int FittingTickCount(const QAbstractAxis* axis, Qt::Orientation orientation, double lengthPx,
                     double lo, double hi);

// The labels a value axis with round ticks shows now, from bottom (left) to top (right).
QStringList TickLabels(const QValueAxis* axis);

// "Re (Ohm)": a quantity and its unit as an axis title; the quantity alone without a unit.
QString AxisTitle(const QString& quantity, const QString& unit);

} // namespace platform
