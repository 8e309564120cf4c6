// End-to-end figures of the run engine with the real web client against a loopback server that
// runs in a child process, so that the CPU time measured is the engine's alone:
//
//   latency   100 jobs, every answer held 500 ms, 20 workers: wall time against the ideal
//             5 x 0.5 s, and the process's CPU time as a share of the wall time;
//   idle      no run for 3 s, then a validation run of 3 names 1 s apart: CPU share;
//   flood     20 workers fetching 2 MB pages as fast as loopback allows: the longest and the
//             99th-percentile wait of a worker's main-thread call.
//
//   build/bench/engine/bench_engine [latency|idle|flood]...   (all three when none is named)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "engine/CurlWebClient.h"
#include "engine/MainLoop.h"
#include "engine/MainThread.h"
#include "engine/RunEngine.h"
#include "harvest/KeywordSearch.h"
#include "tests/support/LoopbackHttpServer.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ostrevane::CallQueue;
using ostrevane::MainLoop;
using ostrevane::RunEngine;

// A loopback server in a child process; the child ends with the object.
class ServerProcess final {
public:
    explicit ServerProcess(ostrevane::test::HttpReply reply) {
        int fds[2];
        if (::pipe(fds) != 0) {
            std::perror("pipe");
            std::exit(1);
        }
        child_ = ::fork();
        if (child_ == 0) {
            ::close(fds[0]);
            ostrevane::test::LoopbackHttpServer server;
            server.SetDefault(std::move(reply));
            const std::uint16_t port = server.Port();
            [[maybe_unused]] const auto written = ::write(fds[1], &port, sizeof port);
            // Serves until the parent closes its end of the pipe... by ending this process.
            ::pause();
            std::_Exit(0);
        }
        ::close(fds[1]);
        [[maybe_unused]] const auto read = ::read(fds[0], &port_, sizeof port_);
        ::close(fds[0]);
    }
    ~ServerProcess() {
        ::kill(child_, SIGTERM);
        ::waitpid(child_, nullptr, 0);
    }
    [[nodiscard]] std::string Url(const std::string& target) const {
        return "http://127.0.0.1:" + std::to_string(port_) + target;
    }

private:
    pid_t child_ = -1;
    std::uint16_t port_ = 0;
};

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// Times how long each worker waits for its main-thread call.
class TimedCalls final : public ostrevane::MainThreadExecutor {
public:
    explicit TimedCalls(CallQueue& calls) : calls_(calls) {}
    void Invoke(const std::function<void()>& call) override {
        const auto start = Clock::now();
        calls_.Invoke(call);
        const auto waited = Clock::now() - start;
        std::lock_guard lock(mutex_);
        waits_.push_back(waited);
    }
    void Close() override { calls_.Close(); }
    std::vector<Clock::duration> Waits() {
        std::lock_guard lock(mutex_);
        return waits_;
    }

private:
    CallQueue& calls_;
    std::mutex mutex_;
    std::vector<Clock::duration> waits_;
};

class NoValidation final : public ostrevane::ValidationJobHandler {
public:
    void MarkValidating(const ostrevane::TDomainExtractor&, ostrevane::ResultsList&) override {}
    void RunValidationSteps(ostrevane::TDomainExtractor&, std::stop_token) override {}
    void MergeValidationResult(const ostrevane::TDomainExtractor&, ostrevane::ResultsList&) override {}
};

struct Rig {
    explicit Rig(ostrevane::Preferences preferences) {
        Engine.ApplyPreferences(preferences);
    }
    ostrevane::CurlGlobal Curl;
    CallQueue Calls;
    TimedCalls Timed{Calls};
    ostrevane::CurlWebClientFactory Web{Curl};
    ostrevane::HarvestJobHandler Harvest;
    NoValidation Validation;
    RunEngine Engine{RunEngine::Services{Timed, Web, Harvest, Validation}};
};

std::vector<std::string> Urls(const ServerProcess& server, int count) {
    std::vector<std::string> urls;
    for (int i = 0; i < count; ++i) {
        urls.push_back(server.Url("/page/" + std::to_string(i)));
    }
    return urls;
}

// The run from its command to its close, with the monitor ticking as the window's timer does
// (every 100 ms, the first tick a whole interval after the command) and as the command line's
// (at once, then every 10 ms).
void Latency() {
    const ServerProcess server({.Body = std::string(1000, 'x'), .Delay = 500ms});
    for (const auto tick : {100ms, 10ms}) {
        Rig rig({.Timeout = 10000, .Interval = 0, .MaxSearchConnections = 20, .MaxValidateConnections = 4});
        const auto urls = Urls(server, 100);
        const double cpuBefore = CpuSeconds();
        const auto start = Clock::now();
        rig.Engine.StartSearchRun(urls, std::vector<std::string>(urls.size(), "e,1"));
        MainLoop loop(rig.Calls, rig.Engine, tick);
        if (tick < MainLoop::MonitorInterval) {
            rig.Engine.Tick();
        }
        loop.RunUntilIdle(60s);
        const double wall = Seconds(Clock::now() - start);
        const double cpu = CpuSeconds() - cpuBefore;
        std::printf("latency  tick %3lld ms: 100 jobs x 500 ms, 20 workers: wall %.3f s = %.3fx ideal 2.5 s; "
                    "CPU %.3f s = %.2f%% of wall\n",
                    static_cast<long long>(tick.count()), wall, wall / 2.5, cpu, 100.0 * cpu / wall);
    }
}

void Idle() {
    const ServerProcess server({.Body = "RRPCode1=211"});
    Rig rig({.Timeout = 10000, .Interval = 1000, .MaxSearchConnections = 20, .MaxValidateConnections = 4});
    MainLoop loop(rig.Calls, rig.Engine);
    double cpuBefore = CpuSeconds();
    auto start = Clock::now();
    loop.RunUntil([] { return false; }, 3s);
    double wall = Seconds(Clock::now() - start);
    std::printf("idle     no run, 20 waiting workers, monitor ticking: CPU %.2f%% of one core over %.1f s\n",
                100.0 * (CpuSeconds() - cpuBefore) / wall, wall);

    for (const char* name : {"a.com", "b.com", "c.com"}) {
        rig.Engine.Results().Append(name, "e,1");
    }
    cpuBefore = CpuSeconds();
    start = Clock::now();
    rig.Engine.StartValidationRun({"c.com", "b.com", "a.com"}, server.Url("/interface.asp?DomainList="));
    loop.RunUntilIdle(30s);
    wall = Seconds(Clock::now() - start);
    std::printf("idle     validation of 3 names 1 s apart: wall %.2f s, CPU %.2f%% of one core\n", wall,
                100.0 * (CpuSeconds() - cpuBefore) / wall);
}

void Flood() {
    const ServerProcess server({.Body = std::string(2 << 20, 'y')});
    Rig rig({.Timeout = 10000, .Interval = 0, .MaxSearchConnections = 20, .MaxValidateConnections = 4});
    const auto urls = Urls(server, 200);
    const auto start = Clock::now();
    rig.Engine.StartSearchRun(urls, std::vector<std::string>(urls.size(), "e,1"));
    MainLoop loop(rig.Calls, rig.Engine);
    loop.RunUntilIdle(120s);
    const double wall = Seconds(Clock::now() - start);
    auto waits = rig.Timed.Waits();
    std::sort(waits.begin(), waits.end());
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::printf("flood    200 pages of 2 MB, 20 workers: %.0f MB in %.2f s; %zu main-thread calls, wait "
                "median %.3f ms, 99th %.3f ms, longest %.3f ms; %lld kb counted\n",
                400.0, wall, waits.size(), ms(waits[waits.size() / 2]), ms(waits[waits.size() * 99 / 100]),
                ms(waits.back()), static_cast<long long>(rig.Engine.State().BytesReceived / 1000));
}

}  // namespace

int main(int argc, char* argv[]) {
    std::vector<std::string> scenarios(argv + 1, argv + argc);
    if (scenarios.empty()) {
        scenarios = {"latency", "idle", "flood"};
    }
    for (const std::string& scenario : scenarios) {
        if (scenario == "latency") {
            Latency();
        } else if (scenario == "idle") {
            Idle();
        } else if (scenario == "flood") {
            Flood();
        } else {
            std::fprintf(stderr, "usage: bench_engine [latency|idle|flood]...\n");
            return 2;
        }
    }
    return 0;
}
