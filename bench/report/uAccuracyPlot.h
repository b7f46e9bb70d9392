#pragma once
// The accuracy study's plots: for each kind of component, the spread of each program's
// readings over the Cramér-Rao bound against the component's value, drawn with the chart
// toolkit on the offscreen platform and saved as a PNG.

#include <QString>
#include <QStringList>

namespace report {

// Reads the study's CSV and writes accuracy_R.png, accuracy_L.png and accuracy_C.png into
// folder; returns the file names written.
QStringList WriteAccuracyPlots(const QString& csvPath, const QString& folder);

} // namespace report
