// How long a settings file with one very large section takes to load and read, as a program
// reads it at start-up: the section's count, then its entries by key. Reading must stay linear
// in the file's size: a 10 MB section loads and is read within two seconds.

#include <benchmark/benchmark.h>

#include "platform/inifile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A file whose "Rref" section holds `megabytes` of entries, Value0 .. ValueN, in a scratch folder.
fs::path LargeSettingsFile(int megabytes) {
  const fs::path folder = fs::temp_directory_path() / ("bench_settings_" + std::to_string(getpid()));
  fs::create_directories(folder);
  const fs::path file = folder / "Large.ini";
  std::ofstream out(file, std::ios::binary);
  out << "[WaveSetup]\nInputID=0\n\n[Rref]\nCount=1000\n";
  const size_t bytes = static_cast<size_t>(megabytes) << 20;
  size_t written = 0;
  for (int k = 0; written < bytes; ++k) {
    const std::string line = "Value" + std::to_string(k) + "=" + std::to_string(k) + ".47\n";
    out << line;
    written += line.size();
  }
  return file;
}

void BM_LargeSection(benchmark::State& state) {
  const fs::path file = LargeSettingsFile(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const platform::TIniFile ini(file);
    const int count = ini.ReadInteger("Rref", "Count", 0);
    double sum = 0;
    for (int k = 0; k < count; ++k) sum += ini.ReadFloat("Rref", "Value" + std::to_string(k), 0);
    benchmark::DoNotOptimize(sum);
  }
  state.counters["MB"] = static_cast<double>(state.range(0));
  fs::remove_all(file.parent_path());
}
BENCHMARK(BM_LargeSection)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
