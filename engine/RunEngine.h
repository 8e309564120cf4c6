#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Dispatcher.h"
#include "engine/JobHandlers.h"
#include "engine/MainThread.h"
#include "engine/ResultsList.h"
#include "engine/RunState.h"
#include "engine/RunView.h"
#include "engine/WebClient.h"

namespace ostrevane {

class TDomainExtractor;

inline constexpr std::string_view HeadingGettingNames = "Please wait... Getting domain names.";
inline constexpr std::string_view HeadingValidating = "Please wait... Validating domain names.";
inline constexpr std::string_view StatusPaused = "Paused!";
inline constexpr std::string_view StatusResuming = "Resuming...";

// The preferences of configs/preferences.ini, section general, with their defaults.
struct Preferences {
    int Timeout = 60000;  // ms, every network step of a job
    int Interval = 4000;  // ms, before each validation launch
    int Priority = 2;     // worker priority level
    int MaxSearchConnections = 20;
    int MaxValidateConnections = 4;
    int Pages = 10;  // result pages per engine
};

// Reads the six values, each falling back to its default when missing or not an integer.
[[nodiscard]] Preferences ReadPreferences(const std::filesystem::path& preferencesFile);

// The run engine: the run record, the dispatcher, the worker pool, job completion, the progress
// monitor and run control, and the state the window shows (RunView, ResultsList). Everything
// public runs on the main thread: the thread that runs the executor's calls. Workers reach the
// engine only through calls they hand to that thread.
class RunEngine final {
public:
    struct Services {
        MainThreadExecutor& MainThread;
        WebClientFactory& WebClients;
        SearchJobHandler& Search;
        ValidationJobHandler& Validation;
        // The clock of the thread list's seconds; the steady clock unless a test sets another.
        std::function<std::chrono::steady_clock::time_point()> Now = [] { return std::chrono::steady_clock::now(); };
    };

    explicit RunEngine(Services services);
    ~RunEngine();
    RunEngine(const RunEngine&) = delete;
    RunEngine& operator=(const RunEngine&) = delete;

    [[nodiscard]] RunState& State() { return state_; }
    [[nodiscard]] const RunView& View() const { return view_; }
    [[nodiscard]] ResultsList& Results() { return results_; }
    [[nodiscard]] const ResultsList& Results() const { return results_; }
    [[nodiscard]] const TThreadLauncer& Dispatcher() const { return *dispatcher_; }

    // Puts the preferences into the run record and sizes the pool: MaxWorkers becomes the
    // larger connection limit, and the pool is rebuilt when its size differs.
    void ApplyPreferences(const Preferences& preferences);
    void LoadPreferences(const std::filesystem::path& preferencesFile) { ApplyPreferences(ReadPreferences(preferencesFile)); }

    // The pool. AddWorker creates a waiting worker at ThreadPriority; RetireWorker takes it out
    // of the lists, marks it terminated, cancels its network steps and wakes it, without waiting.
    void AddWorker();
    void RetireWorker(const std::shared_ptr<TDomainExtractor>& worker);
    // Retires every worker, last first, then adds MaxWorkers new ones.
    void RebuildPool();

    // Starting a run, while no run is active. A search queues result-page URLs with their
    // origins; a validation queues domain names (already in the order the dispatcher should take
    // them from the end) and the availability check's address prefix.
    void StartSearchRun(std::vector<std::string> urls, std::vector<std::string> origins);
    void StartValidationRun(std::vector<std::string> domains, std::string availabilityCheckUrl);
    [[nodiscard]] bool RunActive();

    // The progress monitor's tick (every 100 ms) and run control.
    void Tick();
    void TogglePause();  // the Pause/Resume button, by its tag
    void Pause();
    void Resume();
    void Stop();

    // Retires every worker, cancels their transfers, ends the dispatcher and waits for every
    // thread to end. Called by the destructor if not before; the executor is closed by it.
    void Shutdown();

    // Calls the workers hand to the main thread.
    void ShowProgress(TDomainExtractor& worker);
    void ShowStatus(TDomainExtractor& worker);
    void MarkValidating(TDomainExtractor& worker);
    void CompleteJob(TDomainExtractor& worker);

    // Worker thread: a job that ends without completion (a search page that could not be
    // fetched) is finished under RunStateLock.
    void EndJob(TDomainExtractor& worker);

    [[nodiscard]] MainThreadExecutor& MainThread() { return services_.MainThread; }
    [[nodiscard]] WebClientFactory& WebClients() { return services_.WebClients; }
    [[nodiscard]] ValidationJobHandler& Validation() { return services_.Validation; }
    [[nodiscard]] std::chrono::steady_clock::time_point Now() const { return services_.Now(); }

private:
    void BeginRun(bool search);
    void FinishRun();
    // Ends a pause that a finished run leaves behind; RunStateLock held.
    void EndPause();
    void SetRunCommands(bool running);
    void SetRowStatus(const TDomainExtractor& worker, std::string_view status);
    // Joins the retired workers whose threads have ended.
    void ReapRetired();
    void Changed() { ++view_.Version; }

    Services services_;
    RunState state_;
    RunView view_;
    ResultsList results_;
    std::unique_ptr<TThreadLauncer> dispatcher_;
    std::vector<std::shared_ptr<TDomainExtractor>> retired_;  // main thread only
    int nextWorkerId_ = 1;
    bool shutDown_ = false;
};

}  // namespace ostrevane
