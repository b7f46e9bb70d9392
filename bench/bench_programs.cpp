// The whole programs at work: each window, on the offscreen platform, measures the first
// virtual box in real time (Dravik at 48 kHz, Sorvane in "Z graph + LCR" at 192 kHz), chart
// redraws included. The time reported is the audio time measured; the counter "cpu" is the
// process's CPU time (all threads) per second of audio, as a fraction of one core, and
// "peakMB" the process's peak resident memory. Run one benchmark per process (a filter) so that
// the peak belongs to that program alone.
#include <benchmark/benchmark.h>

#include "dravik/ui/uDravik.h"
#include "dravik/ui/uRadioGroup.h"
#include "platform/vmbox.h"
#include "sorvane/ui/uSorvaneTour.h"
#include "sorvane/ui/ufmSorvane.h"
#include "sorvane/ui/ufrWaveSetup.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace vmbox = platform::vmbox;
constexpr double WarmUpSeconds = 1, MeasuredSeconds = 5;

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  const auto seconds = [](const timeval& t) { return t.tv_sec + 1e-6 * t.tv_usec; };
  return seconds(u.ru_utime) + seconds(u.ru_stime);
}

double PeakMegabytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;
}

// Lets the event loop run, as the program's own loop does, until the card has run `seconds`
// more of audio.
void RunAudio(double seconds) {
  const double until = vmbox::AudioSeconds() + seconds;
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (vmbox::AudioSeconds() >= until) loop.quit();
  });
  poll.start(20);
  loop.exec();
}

// Lets the event loop run for a while of wall-clock time (the card stops when nothing plays).
void RunFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Measures while the program runs; the program is already started.
void Measure(benchmark::State& state) {
  RunAudio(WarmUpSeconds);
  const double cpu0 = ProcessCpuSeconds(), audio0 = vmbox::AudioSeconds();
  RunAudio(MeasuredSeconds);
  const double audio = vmbox::AudioSeconds() - audio0;
  state.SetIterationTime(audio);
  state.counters["cpu"] = (ProcessCpuSeconds() - cpu0) / audio;
  state.counters["peakMB"] = PeakMegabytes();
}

std::filesystem::path Scratch(const char* name) {
  const auto dir = std::filesystem::temp_directory_path() /
                   (std::string(name) + "_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  return dir;
}

void BM_DravikWindow(benchmark::State& state) {
  vmbox::Reinitialise(vmbox::DefaultBoxes(), vmbox::TSpeed::RealTime);
  const auto dir = Scratch("dravik");
  for (auto _ : state) {
    dravik::TfmLCR w(dir / "Dravik.ini");
    w.show();
    while (!w.StartupFinished()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    const QString name = QString::fromStdString(vmbox::BoxName(0));
    w.cbOut->setCurrentIndex(w.cbOut->findText(name));
    w.cbOutChange();
    w.cbIn->setCurrentIndex(w.cbIn->findText(name));
    w.cbInChange();
    w.cbSampling->setCurrentIndex(w.cbSampling->findText("48000"));
    w.rgRunMode->Item(1)->click();
    w.btnStart->click();
    Measure(state);
    state.counters["rate"] = w.SignalIn->GetSamplingRate();
    w.btnStart->click();
    RunFor(500);
  }
  std::filesystem::remove_all(dir);
}

void BM_SorvaneWindow(benchmark::State& state) {
  vmbox::Reinitialise(vmbox::DefaultBoxes(), vmbox::TSpeed::RealTime);
  const auto dir = Scratch("sorvane");
  for (auto _ : state) {
    sorvane::TForm1 w({dir / "Sorvane.ini", dir / "Sorvane.txt"});
    w.OnMessage = [](const std::string&) {};
    w.show();
    sorvane::UseBox(w, 0);
    sorvane::TypeRref(w, "10");
    w.frWaveSetup1->cbSampling->setCurrentIndex(2);
    emit w.frWaveSetup1->cbSampling->activated(2);
    w.PageControl1->setCurrentWidget(w.tsProcessing);
    w.SetModeItem(2);
    w.btnStartStop->click();
    Measure(state);
    state.counters["rate"] = w.frWaveSetup1->SamplingRate();
    w.btnStartStop->click();
    RunFor(500);
    w.close();
  }
  std::filesystem::remove_all(dir);
}

} // namespace

BENCHMARK(BM_DravikWindow)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_SorvaneWindow)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
  qputenv("VMBOX_ONLY", "1");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
