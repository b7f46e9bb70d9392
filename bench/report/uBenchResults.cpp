#include "bench/report/uBenchResults.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace report {

namespace {

double ToNs(double value, const QString& unit) {
  if (unit == "us") return value * 1e3;
  if (unit == "ms") return value * 1e6;
  if (unit == "s") return value * 1e9;
  return value;
}

// Keys of a benchmark entry that are not counters.
bool IsStandardKey(const QString& key) {
  static const QStringList keys = {"name", "family_index", "per_family_instance_index",
                                   "run_name", "run_type", "repetitions", "repetition_index",
                                   "threads", "iterations", "real_time", "cpu_time",
                                   "time_unit", "items_per_second", "aggregate_name"};
  return keys.contains(key);
}

} // namespace

const TBenchResult* TBenchFile::Find(const QString& name) const {
  for (const TBenchResult& r : Results)
    if (r.Name == name) return &r;
  return nullptr;
}

QVector<const TBenchResult*> TBenchFile::Starting(const QString& prefix) const {
  QVector<const TBenchResult*> found;
  for (const TBenchResult& r : Results)
    if (r.Name.startsWith(prefix)) found.push_back(&r);
  return found;
}

TBenchFile ReadBenchFile(const QString& path) {
  TBenchFile file;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return file;
  const QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
  file.Read = doc.isObject();
  for (const QJsonValue& v : doc.object().value("benchmarks").toArray()) {
    const QJsonObject o = v.toObject();
    TBenchResult r;
    r.Name = o.value("name").toString();
    const QString unit = o.value("time_unit").toString();
    r.RealNs = ToNs(o.value("real_time").toDouble(), unit);
    r.CpuNs = ToNs(o.value("cpu_time").toDouble(), unit);
    for (auto it = o.begin(); it != o.end(); ++it)
      if (!IsStandardKey(it.key()) && it.value().isDouble()) r.Counters[it.key()] = it.value().toDouble();
    file.Results.push_back(r);
  }
  return file;
}

QString FirstArg(const QString& name) { return name.section('/', 1, 1); }

} // namespace report
