// CollectDomains over synthetic result pages held in memory, beside a plain memchr scan of the
// same bytes for '<' and, when built with libgumbo, an HTML parser's link extraction. Compare
// bytes per second within one run:
//   build/bench/harvest/bench_harvest --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// BM_CollectDomains/N starts from the names of N earlier pages of the same run: time per page
// should not grow with N. BM_UnclosedAnchors feeds pages whose anchors never close, the worst
// case for the link scan: bytes per second should stay flat as the page grows.
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#if OSTREVANE_HAVE_GUMBO
#include <gumbo.h>
#endif

#include "bench/harvest/ResultPages.h"
#include "engine/FoundDomains.h"
#include "harvest/LinkExtraction.h"

namespace {

using ostrevane::FoundDomainList;

constexpr int MeasuredPages = 100;
constexpr std::string_view Keyword = "widgets";

const std::vector<std::string>& Pages() {
    static const std::vector<std::string> pages = [] {
        const ostrevane::bench::ResultPageGenerator generator(1);
        std::vector<std::string> made;
        for (int i = 0; i < MeasuredPages; ++i) {
            made.push_back(generator.Page(Keyword, i));
        }
        return made;
    }();
    return pages;
}

std::int64_t PageBytes() {
    std::int64_t bytes = 0;
    for (const std::string& page : Pages()) {
        bytes += static_cast<std::int64_t>(page.size());
    }
    return bytes;
}

void Report(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * PageBytes());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * MeasuredPages);
}

// The run's list after `earlier` other pages of the same keyword (they share its popular sites).
const FoundDomainList& FoundAfter(int earlier) {
    static std::map<int, FoundDomainList> lists;
    auto [entry, made] = lists.try_emplace(earlier);
    if (made) {
        const ostrevane::bench::ResultPageGenerator generator(1);
        for (int i = 0; i < earlier; ++i) {
            ostrevane::CollectDomains(generator.Page(Keyword, MeasuredPages + i), entry->second,
                                      "Earlier," + std::to_string(i + 1));
        }
    }
    return entry->second;
}

void BM_MemchrScan(benchmark::State& state) {
    for (auto _ : state) {
        std::size_t count = 0;
        for (const std::string& page : Pages()) {
            const char* at = page.data();
            const char* end = at + page.size();
            while ((at = static_cast<const char*>(std::memchr(at, '<', static_cast<std::size_t>(end - at)))) !=
                   nullptr) {
                ++count;
                ++at;
            }
        }
        benchmark::DoNotOptimize(count);
    }
    Report(state);
}

void BM_CollectDomains(benchmark::State& state) {
    const FoundDomainList& before = FoundAfter(static_cast<int>(state.range(0)));
    std::optional<FoundDomainList> found;
    for (auto _ : state) {
        state.PauseTiming();
        // The list as a run leaves it, grown name by name: a copy would hold its vectors at their
        // exact size and make the first new name of every iteration move all of them.
        found.emplace();
        for (std::size_t i = 0; i < before.Count(); ++i) {
            found->Append(before.Domains()[i], before.Origins()[i]);
        }
        state.ResumeTiming();
        for (const std::string& page : Pages()) {
            ostrevane::CollectDomains(page, *found, "Bench,1");
        }
        benchmark::DoNotOptimize(found->Count());
    }
    Report(state);
    state.counters["names_before"] = static_cast<double>(before.Count());
    state.counters["names_after"] = static_cast<double>(found ? found->Count() : 0);
}

void BM_ExtractLinks(benchmark::State& state) {
    std::vector<std::string> links;
    for (auto _ : state) {
        for (const std::string& page : Pages()) {
            links.clear();
            ostrevane::ExtractLinks(page, links);
            benchmark::DoNotOptimize(links.data());
        }
    }
    Report(state);
}

#if OSTREVANE_HAVE_GUMBO
// What a parser-based harvester does first: parse the page and collect the href of every a and
// area element.
void BM_GumboLinks(benchmark::State& state) {
    std::vector<std::string> links;
    std::vector<const GumboNode*> pending;
    for (auto _ : state) {
        for (const std::string& page : Pages()) {
            links.clear();
            GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
            pending.assign(1, output->root);
            while (!pending.empty()) {
                const GumboNode* node = pending.back();
                pending.pop_back();
                if (node->type != GUMBO_NODE_ELEMENT) {
                    continue;
                }
                const GumboElement& element = node->v.element;
                if (element.tag == GUMBO_TAG_A || element.tag == GUMBO_TAG_AREA) {
                    if (const GumboAttribute* href = gumbo_get_attribute(&element.attributes, "href")) {
                        links.emplace_back(href->value);
                    }
                }
                for (unsigned i = element.children.length; i > 0; --i) {
                    pending.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
                }
            }
            gumbo_destroy_output(&kGumboDefaultOptions, output);
            benchmark::DoNotOptimize(links.data());
        }
    }
    Report(state);
}
BENCHMARK(BM_GumboLinks)->Unit(benchmark::kMillisecond);
#endif

// A page of `size` bytes made of one piece again and again, and never a quote or ">".
std::string Repeated(std::string_view piece, std::size_t size) {
    std::string page;
    while (page.size() < size) {
        page += piece;
    }
    return page;
}

template <const char* Piece>
void BM_UnclosedAnchors(benchmark::State& state) {
    const std::string page = Repeated(Piece, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        FoundDomainList found;
        ostrevane::CollectDomains(page, found, "Bench,1");
        benchmark::DoNotOptimize(found.Count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(page.size()));
}

constexpr char UnclosedTarget[] = "<a href=http://w.unclosed.example/";
constexpr char NoTarget[] = "<a b ";

}  // namespace

BENCHMARK(BM_MemchrScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CollectDomains)->Arg(0)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractLinks)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_UnclosedAnchors, UnclosedTarget)->Range(1 << 16, 1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_UnclosedAnchors, NoTarget)->Range(1 << 16, 1 << 20)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
