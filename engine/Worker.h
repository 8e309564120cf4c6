#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

#include "engine/WebClient.h"

namespace ostrevane {

class RunEngine;

inline constexpr std::string_view StatusConnecting = "Connecting...";
inline constexpr std::string_view StatusDownloadingFrom = "Downloading from: ";
inline constexpr std::string_view StatusFailedToGetPage = "Failed to get page";
inline constexpr std::string_view StatusProcessingPage = "Processing page...";
inline constexpr std::string_view StatusDone = "Done!";
inline constexpr std::string_view NoRemoteAddress = "0.0.0.0";

// Attempts of a worker at each page.
inline constexpr int FetchAttempts = 10;

// "%20" for every space, then "%22" for every double quote; nothing else changes.
[[nodiscard]] std::string EscapeUrl(std::string_view url);

// GETs the URL (escaped) until a request completes or `attempts` requests have failed, with no
// pause between them. A completed request counts whatever its status. Returns the client's body
// as the last attempt left it: empty when every attempt failed.
[[nodiscard]] std::string FetchPage(WebClient& client, const std::string& url, int attempts);

// A worker of the pool: a thread that carries out one job at a time and then waits for the
// next. The dispatcher writes the job fields while the worker is idle, under RunStateLock, and
// wakes it; the worker reads them after it woke. Everything the worker changes outside its own
// fields is changed by calls that run on the main thread while it waits.
class TDomainExtractor final : public WebClientObserver, public std::enable_shared_from_this<TDomainExtractor> {
public:
    TDomainExtractor(RunEngine& engine, int id, int priority);
    ~TDomainExtractor() override;
    TDomainExtractor(const TDomainExtractor&) = delete;
    TDomainExtractor& operator=(const TDomainExtractor&) = delete;

    // Starts the thread, which waits for its first job. Called once, right after construction.
    void Start();

    // The number the thread list shows for this worker.
    [[nodiscard]] int Id() const { return id_; }
    [[nodiscard]] std::string Caption() const { return std::to_string(id_); }
    // True once the thread has left its loop (and may be joined without waiting).
    [[nodiscard]] bool Ended() const { return ended_.load(); }
    void Join();

    // Worker thread, during a job: sets StatusText and shows it in the worker's row of the thread
    // list, waiting for the main thread to do so.
    void ShowStatus(std::string text);

    // Job fields. Written by the dispatcher while the worker is idle (Domain, Url, Origin, the
    // flags, Timeout) or by the worker during its job; read on the main thread only inside the
    // worker's own main-thread calls.
    std::string Domain;
    std::string Url;
    std::string PageBody;
    std::string WhoisText;
    std::string Registrar;
    std::string HostAddress;
    std::string Origin;
    std::string StatusText;
    std::string RemoteAddress{NoRemoteAddress};  // of the job's current transfer
    std::int64_t JobBytes = 0;
    std::int64_t BytesCounted = 0;  // the part of JobBytes already in BytesReceived (main thread)
    int ExtractDomains = 0;
    int ValidateDomains = 0;
    int Failed = 0;
    int Timeout = 0;

    // When the worker began its current job. Written by the worker, read by the monitor's tick.
    [[nodiscard]] std::chrono::steady_clock::time_point StartTime() const {
        return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(startTime_.load()));
    }

    // Guarded by RunStateLock: 0 new, 1 a job is running, 2 the job is finished.
    int State = 0;

private:
    friend class RunEngine;
    friend class TThreadLauncer;

    void Execute();
    // One job, steps 1 to 11; false when the worker found itself retired.
    bool RunJob();
    // Waits, with RunStateLock, until the dispatcher hands over a job; false once retired.
    bool WaitForJob();
    // A safe point: waits while the run is paused; false once retired.
    bool Checkpoint();
    // Hands the transfer's progress to the main thread: always, when something is new, or when
    // something is new and the last report is old enough (the status changing counts at once).
    enum class Report { Always, IfNew, Throttled };
    void ReportProgress(Report when);
    void PacketReceived() override;

    RunEngine& engine_;
    const int id_;
    const int priority_;
    WebClient* client_ = nullptr;  // the current job's client, worker thread only
    std::chrono::steady_clock::time_point lastReport_{};
    std::stop_source stop_;  // requested when the worker is retired; cancels its network steps
    std::thread thread_;
    std::atomic<bool> ended_{false};
    std::atomic<std::chrono::steady_clock::rep> startTime_{0};

    // Guarded by RunStateLock.
    std::condition_variable wake_;
    bool terminated_ = false;  // retired: leave at the next check
    bool jobPending_ = false;  // woken with a job that has not started yet
    bool frozen_ = false;      // paused in the middle of a job
    bool busy_ = false;        // in BusyWorkers
    bool reserved_ = false;    // chosen by a launch that is still waiting out the interval
};

}  // namespace ostrevane
