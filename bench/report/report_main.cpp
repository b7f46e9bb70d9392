// Writes bench/REPORT.md from the benchmark programs' JSON results and the accuracy study.
// Usage: bench_report <results folder> <report folder>. The results folder holds
// analysis.json, fft.json, sorvane_block.json, programs_dravik.json, programs_sorvane.json,
// vmbox.json, accuracy.md and accuracy.csv; the report and its plots go to the report folder.
#include "bench/report/uAccuracyPlot.h"
#include "bench/report/uBenchResults.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QSysInfo>
#include <QTextStream>

#include <thread>

namespace report {
namespace {

QString Num(double v, int digits = 3) { return QString::number(v, 'g', digits); }
QString Percent(double fraction) { return QString::number(100 * fraction, 'f', 3) + " %"; }

QString CpuModel() {
  QFile f("/proc/cpuinfo");
  if (f.open(QIODevice::ReadOnly | QIODevice::Text))
    for (const QString& line : QString(f.readAll()).split('\n'))
      if (line.startsWith("model name")) return line.section(':', 1).trimmed();
  return QSysInfo::currentCpuArchitecture();
}

QString Compiler() {
#if defined(__clang__)
  return QString("clang ") + __clang_version__;
#elif defined(__GNUC__)
  return QString("g++ ") + __VERSION__;
#else
  return "unknown";
#endif
}

void Machine(QTextStream& md) {
  md << "Ran on " << QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd HH:mm") << " UTC; CPU "
     << CpuModel() << ", " << std::thread::hardware_concurrency() << " cores; "
     << QSysInfo::prettyProductName() << "; compiler " << Compiler()
     << "; build type RelWithDebInfo. The machine may have been shared with other work: the "
        "per-block times are the measuring thread's CPU time, the ratios come from one run.\n";
}

// Dravik: per block at each rate that uses the block length.
void DravikBlocks(QTextStream& md, const TBenchFile& f) {
  md << "\n## Speed\n\n### Dravik, per block (fraction of the block's real-time duration)\n\n"
        "| Step | N | CPU per block | at the rates that use N |\n|---|---|---|---|\n";
  const std::pair<const char*, const char*> steps[] = {
      {"BM_AnalyseBlock/", "AnalyseBlock (accumulate)"},
      {"BM_AnalyseBlockWithResult/", "AnalyseBlock with the result (fit, labels, chart points)"},
      {"BM_CalibrateBlock/", "input calibration (TCalibrIn)"}};
  for (const auto& [prefix, title] : steps)
    for (const TBenchResult* r : f.Starting(prefix)) {
      QStringList costs;
      for (auto it = r->Counters.begin(); it != r->Counters.end(); ++it)
        if (it.key().startsWith("cost@")) costs << it.key().mid(5) + "Hz " + Percent(it.value());
      md << "| " << title << " | " << FirstArg(r->Name) << " | " << Num(r->RealNs / 1e3) << " us | "
         << costs.join(", ") << " |\n";
    }
}

void SorvaneBlocks(QTextStream& md, const TBenchFile& f) {
  md << "\n### Sorvane, per hand-off (fraction of the 300 ms hand-off)\n\n"
        "| Step | 48000 Hz (N 2048) | 96000 Hz (N 4096) | 192000 Hz (N 8192) |\n|---|---|---|---|\n";
  const std::pair<const char*, const char*> steps[] = {
      {"BM_ProcessBlockMeasure/", "ProcessBlock, measuring"},
      {"BM_ProcessBlockCalibration/", "ProcessBlock, calibrating (two fits)"},
      {"BM_ComputeImpedance/", "ComputeImpedance with LCR, 20 Hz .. 20 kHz"},
      {"BM_ComputeTransfer/", "ComputeTransfer, 20 Hz .. 20 kHz"},
      {"BM_ChartPoints/", "chart points of four series"}};
  for (const auto& [prefix, title] : steps) {
    md << "| " << title;
    for (const TBenchResult* r : f.Starting(prefix))
      md << " | " << Num(r->RealNs / 1e3) << " us = " << Percent(r->Counters.value("of300ms"));
    md << " |\n";
  }
}

void Transforms(QTextStream& md, const TBenchFile& analysis, const TBenchFile& fft) {
  md << "\n### Transforms against FFTW\n\n| Transform | size | ours | FFTW | ours / FFTW |\n"
        "|---|---|---|---|---|\n";
  for (const TBenchResult* r : analysis.Starting("BM_Four1/")) {
    const TBenchResult* ref = analysis.Find("BM_Fftwl/" + FirstArg(r->Name));
    if (!ref) continue;
    md << "| Four1 (long double, complex) vs fftwl | " << FirstArg(r->Name) << " points | "
       << Num(r->CpuNs / 1e3) << " us | " << Num(ref->CpuNs / 1e3) << " us | "
       << Num(r->CpuNs / ref->CpuNs) << " |\n";
  }
  for (const TBenchResult* r : fft.Starting("BM_RealFFT/")) {
    const TBenchResult* ref = fft.Find("BM_Fftw/" + FirstArg(r->Name));
    md << "| RealFFT (double, real) vs fftw | " << FirstArg(r->Name) << " samples | "
       << Num(r->CpuNs / 1e3) << " us | " << (ref ? Num(ref->CpuNs / 1e3) + " us" : "-") << " | "
       << Num(r->Counters.value("vs_fftw")) << " (plain radix-2: "
       << Num(r->Counters.value("vs_plain")) << ") |\n";
  }
  md << "\nFour1's ratio is of CPU times measured one after the other; RealFFT's ratios come "
        "from interleaved bursts in the same run (best of 20).\n";
}

// The card simulator's own CPU per second of audio (it runs inside the measured process).
double BoxCost(const TBenchFile& vmbox, const QString& name) {
  const TBenchResult* r = vmbox.Find(name);
  return r && r->Counters.value("xRealTime") > 0 ? 1 / r->Counters.value("xRealTime") : 0;
}

void Programs(QTextStream& md, const TBenchFile& dravik, const TBenchFile& sorvane,
              const TBenchFile& vmbox) {
  md << "\n### Whole programs\n\nEach window on the offscreen platform measures the box "
        "\"3.3 Ohm + 1 mH\" in real time for 5 s of audio after 1 s of warm-up, chart redraws "
        "included. CPU is the process's (all threads) per second of audio, as a share of one "
        "core; it includes the simulated card itself, whose own share (from the box benchmark, "
        "4 ms steps at 48 kHz, 16 ms at 192 kHz) is given and subtracted.\n\n"
        "| Program | rate | CPU | simulated card | program alone | target | peak memory |\n"
        "|---|---|---|---|---|---|---|\n";
  const struct {
    const TBenchFile* f;
    const char *name, *bench, *box, *target;
    double limit;
  } rows[] = {{&dravik, "Dravik", "BM_DravikWindow", "BM_BoxProcess/48000/0/192", "< 3 %", 0.03},
              {&sorvane, "Sorvane", "BM_SorvaneWindow", "BM_BoxProcess/192000/0/768", "< 10 %", 0.10}};
  for (const auto& row : rows) {
    const QVector<const TBenchResult*> found = row.f->Starting(row.bench);
    if (found.isEmpty()) {
      md << "| " << row.name << " | - | not run | | | " << row.target << " | |\n";
      continue;
    }
    const TBenchResult& r = *found.front();
    const double cpu = r.Counters.value("cpu"), card = BoxCost(vmbox, row.box);
    const double alone = cpu - card;
    md << "| " << row.name << " | " << Num(r.Counters.value("rate"), 6) << " Hz | " << Percent(cpu)
       << " | " << Percent(card) << " | " << Percent(alone) << " | " << row.target
       << (alone < row.limit ? " met" : " missed") << " | " << Num(r.Counters.value("peakMB"))
       << " MB |\n";
  }
}

void Settings(QTextStream& md, const TBenchFile& settings) {
  md << "\n### Settings file\n\nA settings file with one large section (the value list of "
        "Sorvane's \"Rref\"), loaded and read as at start-up: its count, then its first 1000 "
        "entries by key.\n\n| Section | time | target |\n|---|---|---|\n";
  for (const char* mb : {"1", "10"}) {
    const TBenchResult* r = settings.Find(QString("BM_LargeSection/") + mb);
    if (!r) {
      md << "| " << mb << " MB | not run | |\n";
      continue;
    }
    const bool ten = QString(mb) == "10";
    const double ms = r->RealNs / 1e6;
    md << "| " << mb << " MB | " << Num(ms) << " ms | "
       << (ten ? (ms < 2000 ? "< 2 s met" : "< 2 s missed") : "") << " |\n";
  }
}

void Append(QTextStream& md, const QString& path) {
  QFile f(path);
  if (f.open(QIODevice::ReadOnly | QIODevice::Text)) md << "\n" << QString::fromUtf8(f.readAll());
  else md << "\n(The accuracy study did not run.)\n";
}

} // namespace
} // namespace report

int main(int argc, char** argv) {
  using namespace report;
  QApplication app(argc, argv);
  if (argc < 3) {
    QTextStream(stderr) << "usage: bench_report <results folder> <report folder>\n";
    return 2;
  }
  const QString results = argv[1], out = argv[2];
  QFile file(out + "/REPORT.md");
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate)) {
    QTextStream(stderr) << "cannot write " << file.fileName() << "\n";
    return 1;
  }
  QTextStream md(&file);
  md << "# Benchmarks and accuracy\n\nWritten by `make bench`.\n\n";
  Machine(md);
  const TBenchFile analysis = ReadBenchFile(results + "/analysis.json");
  DravikBlocks(md, analysis);
  SorvaneBlocks(md, ReadBenchFile(results + "/sorvane_block.json"));
  Transforms(md, analysis, ReadBenchFile(results + "/fft.json"));
  const TBenchFile vmbox = ReadBenchFile(results + "/vmbox.json");
  Programs(md, ReadBenchFile(results + "/programs_dravik.json"),
           ReadBenchFile(results + "/programs_sorvane.json"), vmbox);
  Settings(md, ReadBenchFile(results + "/settings.json"));
  md << "\n";
  Append(md, results + "/accuracy.md");
  const QStringList plots = WriteAccuracyPlots(results + "/accuracy.csv", out);
  if (!plots.isEmpty()) md << "\n## Plots\n\n";
  for (const QString& p : plots) md << "![" << p << "](" << p << ")\n\n";
  return 0;
}
