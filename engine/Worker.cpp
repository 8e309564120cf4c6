#include "engine/Worker.h"

#include <exception>
#include <mutex>

#include "engine/JobHandlers.h"
#include "engine/RunEngine.h"
#include "engine/ThreadPriority.h"
#include "util/Text.h"

namespace ostrevane {
namespace {

// Progress is handed to the main thread at most this often per worker, and at once when the
// status changes; the last report of a job is always exact.
constexpr auto ReportInterval = std::chrono::milliseconds(100);

}  // namespace

std::string EscapeUrl(std::string_view url) { return ReplaceAll(ReplaceAll(url, " ", "%20"), "\"", "%22"); }

std::string FetchPage(WebClient& client, const std::string& url, int attempts) {
    const std::string escaped = EscapeUrl(url);
    for (int failures = 0; failures < attempts;) {
        try {
            client.Get(escaped);
            break;
        } catch (const WebClientError&) {
            ++failures;
        }
    }
    return client.Body();
}

TDomainExtractor::TDomainExtractor(RunEngine& engine, int id, int priority)
    : engine_(engine), id_(id), priority_(priority) {}

TDomainExtractor::~TDomainExtractor() { Join(); }

void TDomainExtractor::Start() {
    thread_ = std::thread([this] { Execute(); });
}

void TDomainExtractor::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

void TDomainExtractor::ShowStatus(std::string text) {
    StatusText = std::move(text);
    engine_.MainThread().Invoke([this] { engine_.ShowStatus(*this); });
}

void TDomainExtractor::Execute() {
    ApplyThreadPriority(priority_);
    try {
        while (WaitForJob() && RunJob()) {
        }
    } catch (...) {
        // The main thread took no more calls (shutdown) or a step failed beyond repair: the
        // worker ends; the engine joins it.
    }
    ended_ = true;
}

bool TDomainExtractor::WaitForJob() {
    std::unique_lock lock(engine_.State().RunStateLock);
    wake_.wait(lock, [this] { return jobPending_ || terminated_; });
    jobPending_ = false;
    return !terminated_;
}

bool TDomainExtractor::Checkpoint() {
    std::unique_lock lock(engine_.State().RunStateLock);
    wake_.wait(lock, [this] { return !frozen_ || terminated_; });
    return !terminated_;
}

bool TDomainExtractor::RunJob() {
    MainThreadExecutor& mainThread = engine_.MainThread();
    startTime_ = engine_.Now().time_since_epoch().count();
    BytesCounted = 0;
    JobBytes = 0;
    RemoteAddress = NoRemoteAddress;

    const std::unique_ptr<WebClient> client =
        engine_.WebClients().Create(std::chrono::milliseconds(std::max(Timeout, 0)), *this);
    client_ = client.get();
    // Retiring the worker cancels the transfer under way, from the retiring thread.
    const std::stop_callback cancel(stop_.get_token(), [&client] { client->Cancel(); });
    struct ClientRelease {
        WebClient*& Client;
        ~ClientRelease() { Client = nullptr; }
    } release{client_};

    ReportProgress(Report::Always);
    if (!Checkpoint()) {
        return false;
    }
    if (ValidateDomains) {
        mainThread.Invoke([this] { engine_.MarkValidating(*this); });
    }

    PageBody = FetchPage(*client, Url, FetchAttempts);
    ReportProgress(Report::IfNew);

    Failed = 0;
    if (PageBody.empty()) {
        Failed = 1;
        ShowStatus(std::string(StatusFailedToGetPage));
        if (!ValidateDomains) {
            engine_.EndJob(*this);
            return true;
        }
    } else {
        ShowStatus(std::string(StatusProcessingPage));
    }
    if (!Checkpoint()) {
        return false;
    }
    if (ValidateDomains) {
        try {
            engine_.Validation().RunValidationSteps(*this, stop_.get_token());
        } catch (const std::exception&) {
            Failed = 1;
        }
        if (!Checkpoint()) {
            return false;
        }
    }
    mainThread.Invoke([this] { engine_.CompleteJob(*this); });
    return true;
}

void TDomainExtractor::ReportProgress(Report when) {
    if (client_ != nullptr) {
        JobBytes = client_->BytesReceived();
    }
    const std::string address = client_ != nullptr ? client_->RemoteAddress() : std::string(NoRemoteAddress);
    const auto now = std::chrono::steady_clock::now();
    const bool newAddress = address != RemoteAddress;
    // BytesCounted changes only inside this worker's own main-thread calls.
    const bool newBytes = JobBytes != BytesCounted;
    bool report = true;
    if (when == Report::IfNew) {
        report = newAddress || newBytes;
    } else if (when == Report::Throttled) {
        report = newAddress || (newBytes && now - lastReport_ >= ReportInterval);
    }
    if (report) {
        RemoteAddress = address;
        lastReport_ = now;
        engine_.MainThread().Invoke([this] { engine_.ShowProgress(*this); });
    }
}

void TDomainExtractor::PacketReceived() {
    if (!Checkpoint()) {
        if (client_ != nullptr) {
            client_->Cancel();
        }
        return;
    }
    ReportProgress(Report::Throttled);
}

}  // namespace ostrevane
