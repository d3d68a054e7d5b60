// The process snapshot with 1,000 extra processes: reading every name on each call
// against reading names only for new pids.
#include "IdleChildren.h"
#include "platform/linux/ProcProcessTable.h"

#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

using Tollgate::Platform::ProcProcessTable;

constexpr int ExtraProcesses = 1000;

void fullScan(benchmark::State& state)
{
    ProcProcessTable table;
    qsizetype processes = 0;
    for (auto _ : state)
        processes = table.fullSnapshot().size();
    state.counters["processes"] = double(processes);
}

void incrementalSnapshot(benchmark::State& state)
{
    ProcProcessTable table;
    table.snapshot();
    qsizetype processes = 0;
    for (auto _ : state)
        processes = table.snapshot().size();
    state.counters["processes"] = double(processes);
}

// What a listing of /proc costs when every name is known already.
void listingOfKnownProcesses(benchmark::State& state)
{
    ProcProcessTable table;
    table.snapshot();
    table.setListingInterval(0);
    for (auto _ : state)
        benchmark::DoNotOptimize(table.snapshot().size());
}

BENCHMARK(fullScan)->Unit(benchmark::kMillisecond);
BENCHMARK(listingOfKnownProcesses)->Unit(benchmark::kMicrosecond);
BENCHMARK(incrementalSnapshot)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const IdleChildren children(ExtraProcesses);
    if (children.size() != size_t(ExtraProcesses))
        std::fprintf(stderr, "only %zu of %d extra processes started\n", children.size(), ExtraProcesses);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
