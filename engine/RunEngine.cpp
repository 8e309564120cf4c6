#include "engine/RunEngine.h"

#include <algorithm>

#include "engine/Worker.h"
#include "harvest/Tld.h"
#include "util/IniFile.h"

namespace ostrevane {
namespace {

constexpr std::string_view TitlePrefix = "Ostrevane - searching ";
constexpr std::string_view GeneralSection = "general";

std::string RunStatusLine(std::size_t busy, std::int64_t bytes, std::size_t names) {
    return std::to_string(busy) + " active threads. Got " + std::to_string(bytes / 1000) + " kb so far. " +
           std::to_string(names) + " domains.";
}

}  // namespace

Preferences ReadPreferences(const std::filesystem::path& preferencesFile) {
    const IniFile ini(preferencesFile);
    const Preferences defaults;
    Preferences read;
    read.Timeout = ini.ReadInteger(GeneralSection, "timeout", defaults.Timeout);
    read.Interval = ini.ReadInteger(GeneralSection, "interval", defaults.Interval);
    read.Priority = ini.ReadInteger(GeneralSection, "priority", defaults.Priority);
    read.MaxSearchConnections = ini.ReadInteger(GeneralSection, "mcs", defaults.MaxSearchConnections);
    read.MaxValidateConnections = ini.ReadInteger(GeneralSection, "mcv", defaults.MaxValidateConnections);
    read.Pages = ini.ReadInteger(GeneralSection, "pages", defaults.Pages);
    return read;
}

RunEngine::RunEngine(Services services)
    : services_(std::move(services)), dispatcher_(std::make_unique<TThreadLauncer>(state_)) {}

RunEngine::~RunEngine() { Shutdown(); }

void RunEngine::ApplyPreferences(const Preferences& preferences) {
    std::size_t poolSize = 0;
    int maxWorkers = 0;
    {
        std::lock_guard lock(state_.RunStateLock);
        state_.ConnectionTimeout = preferences.Timeout;
        state_.WhoisInterval = preferences.Interval;
        state_.ThreadPriority = preferences.Priority;
        state_.MaxSearchConnections = preferences.MaxSearchConnections;
        state_.MaxValidateConnections = preferences.MaxValidateConnections;
        // The "Pages" number box holds its value within 0 to 1000.
        state_.PagesPerEngine = std::clamp(preferences.Pages, 0, 1000);
        state_.MaxWorkers = std::max(state_.MaxSearchConnections, state_.MaxValidateConnections);
        poolSize = state_.WorkerPool.size();
        maxWorkers = state_.MaxWorkers;
    }
    if (static_cast<int>(poolSize) != std::max(maxWorkers, 0)) {
        RebuildPool();
    }
}

void RunEngine::AddWorker() {
    int priority = 0;
    {
        std::lock_guard lock(state_.RunStateLock);
        priority = state_.ThreadPriority;
    }
    auto worker = std::make_shared<TDomainExtractor>(*this, nextWorkerId_++, priority);
    worker->Start();
    std::lock_guard lock(state_.RunStateLock);
    state_.WorkerPool.push_back(std::move(worker));
}

void RunEngine::RetireWorker(const std::shared_ptr<TDomainExtractor>& worker) {
    {
        std::lock_guard lock(state_.RunStateLock);
        std::erase(state_.WorkerPool, worker);
        std::erase(state_.BusyWorkers, worker);
        worker->busy_ = false;
        worker->terminated_ = true;
        worker->wake_.notify_all();
    }
    // Cancels the worker's transfer or lookup under way, here on the main thread.
    worker->stop_.request_stop();
    retired_.push_back(worker);
}

void RunEngine::RebuildPool() {
    std::vector<std::shared_ptr<TDomainExtractor>> pool;
    int count = 0;
    {
        std::lock_guard lock(state_.RunStateLock);
        pool = state_.WorkerPool;
        count = std::max(state_.MaxWorkers, 0);
    }
    for (auto it = pool.rbegin(); it != pool.rend(); ++it) {
        RetireWorker(*it);
    }
    for (int i = 0; i < count; ++i) {
        AddWorker();
    }
}

void RunEngine::BeginRun(bool search) {
    {
        std::lock_guard lock(state_.RunStateLock);
        state_.MaxWorkers = search ? state_.MaxSearchConnections : state_.MaxValidateConnections;
        state_.ExtractDomains = search ? 1 : 0;
        state_.ValidateDomains = search ? 0 : 1;
        state_.BytesReceived = 0;
        state_.RunActive = 1;
        state_.JobQueue.clear();
        for (const auto& worker : state_.BusyWorkers) {
            worker->busy_ = false;
        }
        state_.BusyWorkers.clear();
        if (search) {
            state_.JobOrigins.clear();
        }
    }
    SetRunCommands(true);
    view_.ThreadRows.clear();
    if (search) {
        results_.Clear();
        state_.Found.Clear();
    }
}

void RunEngine::StartSearchRun(std::vector<std::string> urls, std::vector<std::string> origins) {
    BeginRun(true);
    {
        std::lock_guard lock(state_.RunStateLock);
        state_.JobQueue = std::move(urls);
        state_.JobOrigins = std::move(origins);
        view_.GaugeMaximum = static_cast<int>(state_.JobQueue.size());
    }
    view_.GaugePosition = 0;
    view_.Heading = HeadingGettingNames;
    view_.ProgressPanelVisible = true;
    Changed();
}

void RunEngine::StartValidationRun(std::vector<std::string> domains, std::string availabilityCheckUrl) {
    BeginRun(false);
    {
        std::lock_guard lock(state_.RunStateLock);
        state_.JobQueue = std::move(domains);
        state_.AvailabilityCheckUrl = std::move(availabilityCheckUrl);
        view_.GaugeMaximum = static_cast<int>(state_.JobQueue.size());
    }
    view_.GaugePosition = 0;
    view_.Heading = HeadingValidating;
    view_.ProgressPanelVisible = true;
    Changed();
}

bool RunEngine::RunActive() {
    std::lock_guard lock(state_.RunStateLock);
    return state_.RunActive != 0;
}

void RunEngine::SetRunCommands(bool running) {
    for (const Command command : {Command::NewClear, Command::Export, Command::Search, Command::Validate,
                                  Command::Options, Command::File, Command::ValidateAll, Command::RevalidateErrors}) {
        view_.SetEnabled(command, !running);
    }
    if (!running) {
        view_.SetEnabled(Command::StopMenu, true);
        view_.SetEnabled(Command::PauseResumeMenu, true);
    }
    view_.SetEnabled(Command::Pause, running);
    view_.SetEnabled(Command::Stop, running);
    Changed();
}

void RunEngine::Tick() {
    bool finish = false;
    {
        std::lock_guard lock(state_.RunStateLock);
        const auto queued = static_cast<int>(state_.JobQueue.size());
        const auto busy = static_cast<int>(state_.BusyWorkers.size());
        view_.GaugePosition = view_.GaugeMaximum - queued - busy;
        if (view_.Percentage() != 100) {
            view_.ApplicationTitle = std::string(TitlePrefix) + std::to_string(view_.Percentage()) + "% done";
        }
        if (queued > 0 && busy <= state_.MaxWorkers && dispatcher_->Stopped() && state_.Paused == 0) {
            dispatcher_->Wake();
        }
        if (state_.Paused == 0) {
            view_.StatusLine = RunStatusLine(state_.BusyWorkers.size(), state_.BytesReceived, state_.Found.Count());
        }
        finish = queued == 0 && busy == 0 && state_.RunActive == 1;
    }
    const auto now = Now();
    for (std::size_t i = view_.ThreadRows.size(); i-- > 0;) {
        ThreadRow& row = view_.ThreadRows[i];
        const auto elapsed = now >= row.Worker->StartTime() ? now - row.Worker->StartTime() : row.Worker->StartTime() - now;
        row.SubItems[2] = std::to_string(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
        if (row.SubItems[0] == StatusDone) {
            view_.ThreadRows.erase(view_.ThreadRows.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    if (finish) {
        FinishRun();
    }
    ReapRetired();
    Changed();
}

void RunEngine::FinishRun() {
    bool search = false;
    {
        std::lock_guard lock(state_.RunStateLock);
        state_.RunActive = 0;
        search = state_.ExtractDomains != 0;
    }
    if (search) {
        // Last name first, so the list holds the kept names in reverse order of discovery; the
        // origins stay where they are, and the walk downwards still pairs them by index.
        FoundDomainList& found = state_.Found;
        for (std::size_t i = found.Count(); i-- > 0;) {
            const std::string& name = found.Domains()[i];
            if (HasListedTld(name)) {
                results_.Append(name, i < found.Origins().size() ? found.Origins()[i] : std::string());
            }
        }
        found.RemoveDomainsIf([](const std::string& name) { return !HasListedTld(name); });
    }
    results_.Renumber();
    view_.Heading = "Search complete. " + std::to_string(results_.Count()) + " domains found related to your keyword.";
    view_.ProgressPanelVisible = false;
    {
        std::lock_guard lock(state_.RunStateLock);
        dispatcher_->RequestPause();
        // A pause clicked after the last job was taken back must not outlive the run.
        if (state_.Paused != 0) {
            EndPause();
        }
    }
    SetRunCommands(false);
}

void RunEngine::EndPause() {
    for (const auto& worker : state_.WorkerPool) {
        worker->frozen_ = false;
        worker->wake_.notify_all();
    }
    state_.Paused = 0;
    view_.PauseButtonTag = 0;
    view_.PauseButtonCaption = PauseCaption;
    dispatcher_->Wake();
}

void RunEngine::TogglePause() {
    if (view_.PauseButtonTag == 0) {
        Pause();
    } else {
        Resume();
    }
}

void RunEngine::Pause() {
    {
        std::lock_guard lock(state_.RunStateLock);
        dispatcher_->Suspend();
        state_.Paused = 1;
        for (const auto& worker : state_.WorkerPool) {
            if (worker->busy_ && worker->State == 1) {
                worker->frozen_ = true;
            }
        }
    }
    view_.PauseButtonTag = 1;
    view_.PauseButtonCaption = ResumeCaption;
    view_.StatusLine = StatusPaused;
    view_.SetEnabled(Command::Stop, false);
    Changed();
}

void RunEngine::Resume() {
    {
        std::lock_guard lock(state_.RunStateLock);
        for (const auto& worker : state_.WorkerPool) {
            worker->frozen_ = false;
            worker->wake_.notify_all();
        }
        state_.Paused = 0;
        dispatcher_->Wake();
    }
    view_.PauseButtonTag = 0;
    view_.PauseButtonCaption = PauseCaption;
    view_.StatusLine = StatusResuming;
    view_.SetEnabled(Command::Stop, true);
    Changed();
}

void RunEngine::Stop() {
    {
        std::unique_lock lock(state_.RunStateLock);
        dispatcher_->RequestPause();
        dispatcher_->WaitUntilStopped(lock);
        state_.MaxWorkers = std::max(state_.MaxSearchConnections, state_.MaxValidateConnections);
    }
    RebuildPool();
    {
        std::lock_guard lock(state_.RunStateLock);
        state_.BusyWorkers.clear();
        state_.JobQueue.clear();
        dispatcher_->Wake();
    }
    Changed();
}

void RunEngine::Shutdown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    std::vector<std::shared_ptr<TDomainExtractor>> pool;
    {
        std::lock_guard lock(state_.RunStateLock);
        pool = state_.WorkerPool;
    }
    for (auto it = pool.rbegin(); it != pool.rend(); ++it) {
        RetireWorker(*it);
    }
    dispatcher_->Shutdown();
    // Workers waiting for a main-thread call get MainThreadClosed and end.
    services_.MainThread.Close();
    for (const auto& worker : retired_) {
        worker->Join();
    }
    retired_.clear();
    view_.ThreadRows.clear();
}

void RunEngine::ReapRetired() {
    std::erase_if(retired_, [](const std::shared_ptr<TDomainExtractor>& worker) {
        if (!worker->Ended()) {
            return false;
        }
        worker->Join();
        return true;
    });
}

void RunEngine::SetRowStatus(const TDomainExtractor& worker, std::string_view status) {
    const std::string caption = worker.Caption();
    for (ThreadRow& row : view_.ThreadRows) {
        if (row.Caption == caption) {
            row.SubItems[0] = status;
        }
    }
    Changed();
}

void RunEngine::ShowProgress(TDomainExtractor& worker) {
    // A retired worker's numbers belong to no run any more. (Only the main thread sets the
    // terminated mark, so reading it here needs no lock.)
    if (worker.terminated_) {
        return;
    }
    state_.BytesReceived += worker.JobBytes - worker.BytesCounted;
    worker.BytesCounted = worker.JobBytes;
    const std::string status = worker.RemoteAddress != NoRemoteAddress
                                   ? std::string(StatusDownloadingFrom) + worker.RemoteAddress
                                   : std::string(StatusConnecting);
    const std::string caption = worker.Caption();
    const std::string bytes = std::to_string(worker.JobBytes);
    bool matched = false;
    for (ThreadRow& row : view_.ThreadRows) {
        if (row.Caption == caption) {
            row.SubItems[1] = bytes;
            row.SubItems[0] = status;
            matched = true;
        }
    }
    if (!matched) {
        view_.ThreadRows.push_back(ThreadRow{caption, {status, bytes, "0"}, worker.shared_from_this()});
    }
    Changed();
}

void RunEngine::ShowStatus(TDomainExtractor& worker) {
    if (!worker.terminated_) {
        SetRowStatus(worker, worker.StatusText);
    }
}

void RunEngine::MarkValidating(TDomainExtractor& worker) {
    if (!worker.terminated_) {
        services_.Validation.MarkValidating(worker, results_);
        results_.Touch();
    }
}

void RunEngine::CompleteJob(TDomainExtractor& worker) {
    // A worker retired in the middle of its job never merges it: a later run would receive the
    // names or rows of the old one.
    if (worker.terminated_) {
        return;
    }
    try {
        if (worker.ValidateDomains) {
            services_.Validation.MergeValidationResult(worker, results_);
        }
        if (worker.ExtractDomains) {
            services_.Search.CollectDomains(worker.PageBody, state_.Found, worker.Origin);
        }
    } catch (const std::exception&) {
        // The job still ends, so that the worker is taken back and the run can close.
        if (worker.ValidateDomains) {
            if (ResultRow* row = results_.Find(worker.Domain)) {
                row->Picture = ImageError;
            }
        }
    }
    results_.Touch();
    worker.StatusText = StatusDone;
    SetRowStatus(worker, StatusDone);
    std::lock_guard lock(state_.RunStateLock);
    worker.State = 2;
    dispatcher_->NotifyChange();
}

void RunEngine::EndJob(TDomainExtractor& worker) {
    std::lock_guard lock(state_.RunStateLock);
    worker.State = 2;
    dispatcher_->NotifyChange();
}

}  // namespace ostrevane
