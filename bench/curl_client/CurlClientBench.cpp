// One GET per iteration through CurlWebClient (a new client per request, as a worker makes one
// per job) beside curl_easy_perform on a new easy handle with the same options: the difference
// is what the multi-interface loop, the stall clock and the observer calls cost. Both fetch from
// a loopback server, a 2 KiB page and a 4 MiB one.
//   build/bench/curl_client/bench_curl_client --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "engine/CurlWebClient.h"
#include "tests/support/LoopbackHttpServer.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

using namespace std::chrono_literals;
using ostrevane::CurlWebClient;

class CountingObserver final : public ostrevane::WebClientObserver {
public:
    void PacketReceived() override { ++Calls; }
    std::int64_t Calls = 0;
};

std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

void FetchWithClient(benchmark::State& state, const std::string& url, std::size_t expected) {
    CountingObserver observer;
    for (auto _ : state) {
        CurlWebClient client(10s, observer);
        client.Get(url);
        if (client.Body().size() != expected) {
            state.SkipWithError("short body");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * expected));
    state.counters["packets/request"] =
        benchmark::Counter(static_cast<double>(observer.Calls) / static_cast<double>(state.iterations()));
}

// The same options as the client, minus its loop: the plain baseline.
void FetchWithEasyPerform(benchmark::State& state, const std::string& url, std::size_t expected) {
    for (auto _ : state) {
        std::string body;
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, CurlWebClient::MaxRedirects);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, 10000L);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, CurlWebClient::UserAgent.data());
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &AppendBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
        const CURLcode result = curl_easy_perform(easy);
        curl_easy_cleanup(easy);
        if (result != CURLE_OK || body.size() != expected) {
            state.SkipWithError("transfer failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * expected));
}

}  // namespace

int main(int argc, char** argv) {
    const ostrevane::CurlGlobal curl;
    ostrevane::test::LoopbackHttpServer server;
    constexpr std::size_t SmallPage = 2 * 1024;
    constexpr std::size_t LargePage = 4 * 1024 * 1024;
    server.Route("/small", {.Body = std::string(SmallPage, 's')});
    server.Route("/large", {.Body = std::string(LargePage, 'l')});
    const std::string small = server.Url("/small");
    const std::string large = server.Url("/large");

    benchmark::RegisterBenchmark("SmallPage/CurlWebClient", [&](benchmark::State& state) {
        FetchWithClient(state, small, SmallPage);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("SmallPage/EasyPerform", [&](benchmark::State& state) {
        FetchWithEasyPerform(state, small, SmallPage);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("LargePage/CurlWebClient", [&](benchmark::State& state) {
        FetchWithClient(state, large, LargePage);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LargePage/EasyPerform", [&](benchmark::State& state) {
        FetchWithEasyPerform(state, large, LargePage);
    })->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
