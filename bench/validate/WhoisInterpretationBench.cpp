// Reading the expiry date and the e-mail address out of real WHOIS answers with the shipped key
// and date-format lists, both files read afresh for every answer as job completion does it.
// Beside it, the same reading with the lists already loaded and the reading of the two files
// alone, so that one run shows where the time goes:
//   build/bench/validate/bench_whois_interpretation --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "validate/WhoisInterpretation.h"

namespace {

const std::filesystem::path ConfigsDir{OSTREVANE_SHIPPED_CONFIGS};
constexpr int CurrentYear = 2026;

std::string Answer(const char* relative) {
    std::ifstream in(std::filesystem::path(OSTREVANE_WHOIS_FIXTURES) / "answers" / relative, std::ios::binary);
    std::ostringstream content;
    content << "Ostrevane Pro WHOIS client\n[Connected to: whois.example.net]\n" << in.rdbuf();
    return content.str();
}

// A registry answer followed by the registrar's, 5.6 KB; the date sits on line 23 under the
// third key.
const char* const TypicalAnswer = "pywhois/imdb.com";
// A registrar answer with no expiry date: every key meets every line.
const char* const AnswerWithoutDate = "weppos/whois.enom.com/status_registered.txt";
// An old registry answer of 10 KB listing look-alike records before the real one.
const char* const LongAnswer = "pywhois/google.com";

void BM_ReadWhoisAnswer(benchmark::State& state, const char* relative) {
    const std::string answer = Answer(relative);
    for (auto _ : state) {
        ostrevane::WhoisAnswerReading reading = ostrevane::ReadWhoisAnswer(answer, ConfigsDir, CurrentYear);
        benchmark::DoNotOptimize(reading);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(answer.size()));
}

void BM_ExpiryWithLoadedLists(benchmark::State& state, const char* relative) {
    const std::string answer = Answer(relative);
    const std::vector<std::string> keys = ostrevane::LoadExpiryKeys(ConfigsDir);
    const ostrevane::DateFormatList formats = ostrevane::LoadDateFormats(ConfigsDir);
    for (auto _ : state) {
        double expiry = ostrevane::ExpiryDateFromWhois(answer, keys, formats, CurrentYear);
        benchmark::DoNotOptimize(expiry);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(answer.size()));
}

// The baseline: opening and reading the two shipped lists, nothing else.
void BM_LoadListsOnly(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::string> keys = ostrevane::LoadExpiryKeys(ConfigsDir);
        ostrevane::DateFormatList formats = ostrevane::LoadDateFormats(ConfigsDir);
        benchmark::DoNotOptimize(keys.data());
        benchmark::DoNotOptimize(formats.data());
    }
}

}  // namespace

BENCHMARK_CAPTURE(BM_ReadWhoisAnswer, typical_5k, TypicalAnswer)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadWhoisAnswer, no_date, AnswerWithoutDate)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadWhoisAnswer, long_10k, LongAnswer)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExpiryWithLoadedLists, typical_5k, TypicalAnswer)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExpiryWithLoadedLists, no_date, AnswerWithoutDate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadListsOnly)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
