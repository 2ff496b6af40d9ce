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
    ReportInputs in;
    for (int i = 0; i < 9; ++i) {
        in.paramNames.emplace_back(pairing::kParamNames[i]);
        in.values.emplace_back("45.12");
    }
    in.cpuLoad = "12";
    in.cpuType = "Sample CPU 2.4GHz";
    in.compName = "WORKSTATION";
    in.driveRows = {"Drive C:" + std::string(24, ' ') + "252.0,     232.9"};
    for ([[maybe_unused]] auto _ : state)
        benchmark::DoNotOptimize(BuildReport(in));
}
BENCHMARK(BuildTheReport);

} // namespace

BENCHMARK_MAIN();
