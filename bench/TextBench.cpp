// StripWhitespace and ReplaceAll over a 10 MB page-like text, beside a plain copy of the same
// bytes. Compare bytes per second within one run:
//   build/bench/bench_text --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <string>

#include <benchmark/benchmark.h>

#include "bench/PageLikeText.h"
#include "util/Text.h"

namespace {

const std::string& Page() {
    static const std::string page = ostrevane::bench::PageLikeText(10u << 20);
    return page;
}

template <typename Operation>
void Measure(benchmark::State& state, Operation operation) {
    const std::string& page = Page();
    for (auto _ : state) {
        std::string result = operation(page);
        benchmark::DoNotOptimize(result.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.size()));
}

void BM_Copy(benchmark::State& state) {
    Measure(state, [](const std::string& page) { return std::string(page); });
}

void BM_StripLineBreaks(benchmark::State& state) {
    Measure(state, [](const std::string& page) { return ostrevane::StripLineBreaks(page); });
}

void BM_StripWhitespace(benchmark::State& state) {
    Measure(state, [](const std::string& page) { return ostrevane::StripWhitespace(page); });
}

// The URL builder's placeholder, which a page does not hold.
void BM_ReplaceAllPlaceholder(benchmark::State& state) {
    Measure(state, [](const std::string& page) { return ostrevane::ReplaceAll(page, "$Keyword", "widgets"); });
}

// A word that comes every 200 bytes or so.
void BM_ReplaceAllSparse(benchmark::State& state) {
    Measure(state, [](const std::string& page) { return ostrevane::ReplaceAll(page, "widgets", "gizmos"); });
}

// Every blank, as the page fetcher escapes addresses.
void BM_ReplaceAllDense(benchmark::State& state) {
    Measure(state, [](const std::string& page) { return ostrevane::ReplaceAll(page, " ", "%20"); });
}

// Every double quote, the other escape of the page fetcher.
void BM_ReplaceAllQuotes(benchmark::State& state) {
    Measure(state, [](const std::string& page) { return ostrevane::ReplaceAll(page, "\"", "%22"); });
}

}  // namespace

BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StripLineBreaks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StripWhitespace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAllPlaceholder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAllSparse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAllDense)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAllQuotes)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
