// The work that each refresh tick and each report does, measured alone.
#include "mod_mbm_access.h"
#include "number_text.h"
#include "pairing.h"
#include "report.h"
#include "shared_block.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

namespace {

void ReadSnapshotFromBlock(benchmark::State& state) {
    const std::string name = "/korvid-bench-" + std::to_string(::getpid());
    auto block =
        modMBMAccess::SharedBlockWriter::Create(name, sizeof(modMBMAccess::SensorSnapshot));
    block->TryHoldExclusively();
    for ([[maybe_unused]] auto _ : state)
        benchmark::DoNotOptimize(modMBMAccess::ReadSnapshotFrom(name.c_str()));
}
BENCHMARK(ReadSnapshotFromBlock);

void ReadingText(benchmark::State& state) {
    double v = 45.125;
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(pairing::ReadingText(v, '.'));
        v += 0.01;
    }
}
BENCHMARK(ReadingText);

void BuildTheReport(benchmark::State& state) {
    MonitorModel model;
    for (auto& row : model.params)
        row = {"0", {ParamValue::Source::Refreshed, 45.12}};
    model.cpuLoad = 12;
    model.cpuType = "Sample CPU 2.4GHz";
    model.compName = "WORKSTATION";
    model.drives = {{"C:", 270582939648ull, 250000000000ull, "/"}};
    for ([[maybe_unused]] auto _ : state)
        benchmark::DoNotOptimize(BuildReport(model));
}
BENCHMARK(BuildTheReport);

} // namespace

BENCHMARK_MAIN();
