// Time of `entries --format=json` on a settings file of 100,000 entries,
// some of whose captions collide, so that their entries go by number.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "Arguments.h"
#include "EntriesJson.h"

namespace {

// The settings file, written once into the temporary folder.
const std::string& SettingsPath() {
  static const std::string path = [] {
    const char* folder = std::getenv("TMPDIR");
    std::string p = std::string(folder && *folder ? folder : "/tmp") + "/marquill-entries-bench.txt";
    std::ofstream out(p, std::ios::binary);
    for (int i = 0; i < 100000; ++i) {
      // Every tenth caption is shared by two entries; some have access keys and shortcuts.
      const int name = i % 10 == 1 ? i - 1 : i;
      out << "s" << i << " \t\xE5\xBC\x95\xE7\x94\xA8 " << name << (i % 3 ? "(&Q)" : "") << (i % 7 ? "" : "\\tCtrl+Q")
          << "\r\n";
    }
    return p;
  }();
  return path;
}

void BM_EntriesJson100k(benchmark::State& state) {
  TFilterOptions options;
  options.Settings = SettingsPath();
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string json = EntriesJson(options);
    bytes = json.size();
    benchmark::DoNotOptimize(json.data());
  }
  state.counters["json_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EntriesJson100k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
