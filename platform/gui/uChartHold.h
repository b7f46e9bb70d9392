#pragma once
// "Hold": copies of the curves drawn now, kept on the chart to compare later measurements with.
// Each hold is named (the time it was taken, or the file it came from), is drawn faintly behind
// the live curves on their axes, can be hidden or removed, and can be saved and loaded as a
// results file: one line per frequency, the frequency and each curve's value there, every number
// in the 23-character scientific form (" 4.40000000000000E+0002"), CR LF line ends.

#include <QChart>
#include <QLineSeries>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Sign position, one digit, point, 14 digits, "E", exponent sign, four exponent digits; a value
// that is not a finite number as "NAN", "INF" or "-INF", right-aligned in the field.
std::string FormatResultNumber(double v);

class TChartHolds : public QObject {
  Q_OBJECT
public:
  // The live curves in the order of the results file's columns.
  TChartHolds(QChart* chart, std::vector<QLineSeries*> live);
  ~TChartHolds() override;

  // Keeps a copy of the live curves that have points; its name (the time); empty when none has.
  QString Hold();
  int Count() const { return static_cast<int>(Holds.size()); }
  QString Name(int i) const;
  bool Visible(int i) const;
  void SetVisible(int i, bool visible);
  void Remove(int i);
  // The held curves of hold i, in the live curves' order (for the readout and the tests).
  std::vector<QLineSeries*> Curves(int i) const;

  // Empty on success, otherwise the reason.
  QString Save(int i, const QString& file) const;
  QString Load(const QString& file);

  // After the program has moved its live curves to other axes: the held ones follow, and are
  // hidden while the frequency axis shows something else (waveforms in ms).
  void FollowAxes();

signals:
  void Changed();

private:
  struct THold;
  QLineSeries* AddCurve(THold& hold, std::size_t source, const QList<QPointF>& points, const QString& prefix);
  void ShowHold(THold& hold);

  QChart* Chart;
  std::vector<QLineSeries*> Live;
  std::vector<std::unique_ptr<THold>> Holds;
};

} // namespace platform
