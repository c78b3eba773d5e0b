// Cost of composing one target path (file-name split included), per pattern.
#include <benchmark/benchmark.h>

#include "backup/BackupPath.h"

static void BM_ComposeTargetPath(benchmark::State& state) {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 9;
    t.tm_min = 5;
    DateStamp stamp;
    FormatDateStamp(stamp, &t);
    const std::wstring folder = L"C:\\Users\\designer\\Documents\\Backup\\";
    const std::wstring drawing = L"D:\\projects\\2024\\tower-b\\plan.rev2.dwg";
    const int pattern = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::wstring target;
        benchmark::DoNotOptimize(ComposeTargetPath(folder, drawing, pattern, stamp, target));
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_ComposeTargetPath)->DenseRange(1, 4);
