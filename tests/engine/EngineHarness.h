#pragma once

// A run engine wired for tests: the test thread is the main thread, a scripted web client stands
// in for the network where a test needs to hold a transfer at a chosen point, and the handlers
// record what job completion hands them.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/FoundDomains.h"
#include "engine/JobHandlers.h"
#include "engine/MainLoop.h"
#include "engine/MainThread.h"
#include "engine/ResultsList.h"
#include "engine/RunEngine.h"
#include "engine/WebClient.h"
#include "engine/Worker.h"

namespace ostrevane::test {

using namespace std::chrono_literals;

// A door that transfers wait at until the test opens it. Cancelling the waiting client also
// lets it through, so that a retired worker never hangs here.
class Gate final {
public:
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    // Waits until open or cancelled; false when cancelled. A client's Cancel cannot reach the
    // gate, so the cancel flag is looked at again every few milliseconds.
    bool Wait(const std::atomic<bool>& cancelled) {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        while (!open_ && !cancelled.load()) {
            changed_.wait_for(lock, 5ms);
        }
        --waiting_;
        return open_;
    }
    bool WaitForWaiters(int count, std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return waiting_ >= count; });
    }
private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    int waiting_ = 0;
};

class ScriptedWebClientFactory;

// What one Get does, decided by the test's script on the worker's thread.
class ScriptedTransfer final {
public:
    ScriptedTransfer(ScriptedWebClientFactory& factory, WebClientObserver& observer, std::atomic<bool>& cancelled,
                     std::int64_t& bytes, std::string& address)
        : factory_(factory), observer_(observer), cancelled_(cancelled), bytes_(bytes), address_(address) {}

    // Receives `count` more bytes from 127.0.0.1 and tells the observer.
    void Deliver(std::int64_t count) {
        address_ = "127.0.0.1";
        bytes_ += count;
        observer_.PacketReceived();
        ThrowIfCancelled();
    }
    void Fail() { throw WebClientError("scripted failure"); }
    void Hold(Gate& gate) {
        if (!gate.Wait(cancelled_)) {
            Fail();
        }
    }
    void ThrowIfCancelled() const {
        if (cancelled_) {
            throw WebClientError("cancelled");
        }
    }

private:
    ScriptedWebClientFactory& factory_;
    WebClientObserver& observer_;
    std::atomic<bool>& cancelled_;
    std::int64_t& bytes_;
    std::string& address_;
};

// A Get's script: returns the body of a completed request or throws through Fail().
using TransferScript = std::function<std::string(const std::string& url, int attempt, ScriptedTransfer& transfer)>;

class ScriptedWebClientFactory final : public WebClientFactory {
public:
    explicit ScriptedWebClientFactory(TransferScript script) : script_(std::move(script)) {}

    std::unique_ptr<WebClient> Create(std::chrono::milliseconds timeout, WebClientObserver& observer) override;

    // Every request in arrival order.
    std::vector<std::string> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    int Count(const std::string& url) const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(requests_.begin(), requests_.end(), url));
    }
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
    }
    std::vector<std::chrono::steady_clock::time_point> RequestTimes() const {
        std::lock_guard lock(mutex_);
        return times_;
    }
    int Record(const std::string& url) {
        std::lock_guard lock(mutex_);
        requests_.push_back(url);
        times_.push_back(std::chrono::steady_clock::now());
        changed_.notify_all();
        return ++attempts_[url];
    }
    std::string Run(const std::string& url, int attempt, ScriptedTransfer& transfer) {
        return script_(url, attempt, transfer);
    }

private:
    TransferScript script_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> requests_;
    std::vector<std::chrono::steady_clock::time_point> times_;
    std::map<std::string, int> attempts_;
};

class ScriptedWebClient final : public WebClient {
public:
    ScriptedWebClient(ScriptedWebClientFactory& factory, WebClientObserver& observer)
        : factory_(factory), observer_(observer) {}

    void Get(const std::string& url) override {
        body_.clear();
        bytes_ = 0;
        const int attempt = factory_.Record(url);
        ScriptedTransfer transfer(factory_, observer_, cancelled_, bytes_, address_);
        transfer.ThrowIfCancelled();
        body_ = factory_.Run(url, attempt, transfer);
    }
    const std::string& Body() const override { return body_; }
    std::int64_t BytesReceived() const override { return bytes_; }
    std::string RemoteAddress() const override { return address_; }
    void Cancel() override { cancelled_ = true; }

private:
    ScriptedWebClientFactory& factory_;
    WebClientObserver& observer_;
    std::atomic<bool> cancelled_{false};
    std::int64_t bytes_ = 0;
    std::string address_ = "0.0.0.0";
    std::string body_;
};

inline std::unique_ptr<WebClient> ScriptedWebClientFactory::Create(std::chrono::milliseconds, WebClientObserver& observer) {
    return std::make_unique<ScriptedWebClient>(*this, observer);
}

// Collects the page's text as one name, with its origin; throws when told to.
class RecordingSearchHandler final : public SearchJobHandler {
public:
    void CollectDomains(const std::string& page, FoundDomainList& found, const std::string& origin) override {
        Pages.push_back(page);
        if (!page.empty() && !found.Contains(page)) {
            found.Append(page, origin);
        }
    }
    std::vector<std::string> Pages;
};

class RecordingValidationHandler final : public ValidationJobHandler {
public:
    void MarkValidating(const TDomainExtractor& worker, ResultsList& results) override {
        if (ResultRow* row = results.Find(worker.Domain)) {
            row->Picture = ImageValidating;
        }
    }
    void RunValidationSteps(TDomainExtractor& worker, std::stop_token) override {
        worker.WhoisText = "whois of " + worker.Domain;
    }
    void MergeValidationResult(const TDomainExtractor& worker, ResultsList& results) override {
        Merged.push_back(worker.Domain);
        if (ThrowOnMerge) {
            throw std::runtime_error("Unable to read configs/whoisresponse.ini");
        }
        if (ResultRow* row = results.Find(worker.Domain)) {
            row->SubItems[SubRegistered] = worker.PageBody;
            row->Picture = ImageValidated;
        }
    }
    std::vector<std::string> Merged;
    bool ThrowOnMerge = false;
};

// The engine with its main thread (the test's), run by a MainLoop.
struct EngineHarness {
    explicit EngineHarness(TransferScript script, Preferences preferences = TestPreferences())
        : Web(std::move(script)),
          Engine(RunEngine::Services{Calls, Web, Search, Validation}),
          Loop(Calls, Engine) {
        Engine.ApplyPreferences(preferences);
    }

    static Preferences TestPreferences() {
        Preferences preferences;
        preferences.Timeout = 2000;
        preferences.Interval = 0;
        preferences.Priority = 3;
        preferences.MaxSearchConnections = 20;
        preferences.MaxValidateConnections = 4;
        return preferences;
    }

    // Runs the main loop until the condition holds; false after the limit.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
        return Loop.RunUntil(done, limit);
    }
    bool RunUntilIdle(std::chrono::milliseconds limit = 10s) { return Loop.RunUntilIdle(limit); }

    std::size_t PoolSize() {
        std::lock_guard lock(Engine.State().RunStateLock);
        return Engine.State().WorkerPool.size();
    }
    std::size_t BusyCount() {
        std::lock_guard lock(Engine.State().RunStateLock);
        return Engine.State().BusyWorkers.size();
    }

    CallQueue Calls;
    ScriptedWebClientFactory Web;
    RecordingSearchHandler Search;
    RecordingValidationHandler Validation;
    RunEngine Engine;
    MainLoop Loop;
};

// Queue entries "u0".."u{n-1}" with origins "e,1".."e,n".
inline std::pair<std::vector<std::string>, std::vector<std::string>> NumberedJobs(int count) {
    std::vector<std::string> urls;
    std::vector<std::string> origins;
    for (int i = 0; i < count; ++i) {
        urls.push_back("u" + std::to_string(i));
        origins.push_back("e," + std::to_string(i + 1));
    }
    return {urls, origins};
}

}  // namespace ostrevane::test
