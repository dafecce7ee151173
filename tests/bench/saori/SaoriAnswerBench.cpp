// Reading answers of growing size: the time per byte should stay flat.
#include <benchmark/benchmark.h>

#include <string>

#include "saori/SaoriHost.h"

namespace {

std::string ManyHeaders(size_t bytes) {
    std::string answer = "SAORI/1.0 200 OK\r\n";
    for (int i = 0; answer.size() < bytes; ++i) {
        answer += "Name" + std::to_string(i) + ": value " + std::to_string(i) + "\r\n";
    }
    return answer + "\r\n";
}

std::string ManyLineBreaks(size_t bytes) {
    std::string answer = "SAORI/1.0 200 OK";
    while (answer.size() < bytes) {
        answer += "\r\n";
    }
    return answer;
}

void Run(benchmark::State& state, const std::string& answer) {
    for (auto _ : state) {
        norvo::HeaderTable table;
        benchmark::DoNotOptimize(norvo::ParseSaoriAnswer(answer.data(), answer.size(), table));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}

void BM_ManyHeaders(benchmark::State& state) {
    Run(state, ManyHeaders(static_cast<size_t>(state.range(0))));
}
void BM_ManyLineBreaks(benchmark::State& state) {
    Run(state, ManyLineBreaks(static_cast<size_t>(state.range(0))));
}
void BM_OneHugeValue(benchmark::State& state) {
    Run(state, "SAORI/1.0 200 OK\r\nA: " + std::string(static_cast<size_t>(state.range(0)), 'v') +
                   "\r\n\r\n");
}

BENCHMARK(BM_ManyHeaders)->RangeMultiplier(4)->Range(1 << 16, 1 << 24);
BENCHMARK(BM_ManyLineBreaks)->RangeMultiplier(4)->Range(1 << 16, 1 << 24);
BENCHMARK(BM_OneHugeValue)->RangeMultiplier(4)->Range(1 << 16, 1 << 24);

}  // namespace
