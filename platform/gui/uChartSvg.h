#pragma once
// The chart as a vector image: the view's scene is painted through a paint engine that writes
// SVG elements (paths with their pens and brushes, text as text, clipping as clip paths), so
// the file holds what the window shows, sharp at any size.

#include <QString>

class QGraphicsView;

namespace platform {

// False when the file cannot be written.
bool WriteChartSvg(QGraphicsView& view, const QString& file);

} // namespace platform
