// Speed of the core: simulated walk ticks per second, and the report over a
// large log.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

#include "log/log_file.h"
#include "app/core.h"
#include "tests/fake_services.h"
#include "tests/stage.h"

namespace tw {
namespace {

// A core on the fake machine, started as the saver starts one.
struct StartedCore {
  StartedCore() { core.start(); }
  VirtualTime time;
  test::FakeServices services{time};
  test::FakeDisk disk;
  Core core{services, disk, time};
};

void BM_WalkTicks(benchmark::State& state) {
  StartedCore started;
  // Nothing but walking: no trench opens, and the hint's one time-out in the
  // first ten seconds is all the message costs.
  test::Stage(started.core).setFallsEnabled(false);
  constexpr int64_t kTicks = 100'000;
  for (auto _ : state) started.core.advanceBy(kTicks * 100);
  state.SetItemsProcessed(state.iterations() * kTicks);
}
BENCHMARK(BM_WalkTicks)->Unit(benchmark::kMillisecond);

// Walk, trenches and falls together, as the saver runs unattended.
void BM_UnattendedHour(benchmark::State& state) {
  StartedCore started;
  for (auto _ : state) started.core.advanceBy(3600 * 1000);
}
BENCHMARK(BM_UnattendedHour)->Unit(benchmark::kMillisecond);

// Mostly two-decimal metres, with centimetres between, as long runs write them.
void reportOver(benchmark::State& state, int records) {
  std::string log = std::string(kLogBanner) + kLineEnd;
  for (int i = 0; i < records; ++i)
    log += recordLine(i % 2 ? "12.34" : "57", i % 2 ? "mts" : "cm", "12-08-2026", "17:04:09");
  for (auto _ : state) {
    std::istringstream in(log);
    benchmark::DoNotOptimize(reportText(reportDistances(sumLoggedDistances(in))));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(log.size()));
}

void BM_ReportOverAMillionRecords(benchmark::State& state) { reportOver(state, 1'000'000); }
BENCHMARK(BM_ReportOverAMillionRecords)->Unit(benchmark::kMillisecond);

void BM_ReportOverTwoMillionRecords(benchmark::State& state) { reportOver(state, 2'000'000); }
BENCHMARK(BM_ReportOverTwoMillionRecords)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tw

BENCHMARK_MAIN();
