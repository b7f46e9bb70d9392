#pragma once
// The results of one benchmark program, read from its JSON output: per benchmark its name,
// times (in nanoseconds) and counters.

#include <QMap>
#include <QString>
#include <QVector>

namespace report {

struct TBenchResult {
  QString Name;
  double RealNs = 0;
  double CpuNs = 0;
  QMap<QString, double> Counters;
};

struct TBenchFile {
  QVector<TBenchResult> Results;
  bool Read = false;
  const TBenchResult* Find(const QString& name) const;
  // Results whose name starts with prefix, in file order.
  QVector<const TBenchResult*> Starting(const QString& prefix) const;
};

TBenchFile ReadBenchFile(const QString& path);

// The argument after the first "/" of a benchmark name ("BM_X/2048/manual_time" -> "2048").
QString FirstArg(const QString& name);

} // namespace report
