#include "engine/Dispatcher.h"

#include <chrono>

#include "engine/RunState.h"
#include "engine/Worker.h"

namespace ostrevane {

TThreadLauncer::TThreadLauncer(RunState& state) : state_(state), thread_([this] { Execute(); }) {}

TThreadLauncer::~TThreadLauncer() { Shutdown(); }

void TThreadLauncer::Wake() {
    stopped_ = false;
    suspended_ = false;
    ++changes_;
    changed_.notify_all();
}

void TThreadLauncer::Suspend() { suspended_ = true; }

void TThreadLauncer::RequestPause() {
    pauseRequest_ = true;
    changed_.notify_all();
}

void TThreadLauncer::NotifyChange() {
    ++changes_;
    changed_.notify_all();
}

void TThreadLauncer::WaitUntilStopped(std::unique_lock<std::mutex>& lock) {
    // A paused dispatcher could never reach its stop, so it is let go first.
    if (suspended_) {
        suspended_ = false;
        changed_.notify_all();
    }
    stoppedChanged_.wait(lock, [this] { return stopped_ || terminated_; });
}

void TThreadLauncer::Shutdown() {
    {
        std::lock_guard lock(state_.RunStateLock);
        terminated_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool TThreadLauncer::WaitWhileSuspended(std::unique_lock<std::mutex>& lock) {
    changed_.wait(lock, [this] { return !suspended_ || terminated_; });
    return !terminated_;
}

void TThreadLauncer::Execute() {
    std::unique_lock lock(state_.RunStateLock);
    pauseRequest_ = false;
    while (!terminated_) {
        changed_.wait(lock, [this] { return !stopped_ || terminated_; });
        if (!WaitWhileSuspended(lock)) {
            break;
        }
        if (pauseRequest_) {
            pauseRequest_ = false;
            stopped_ = true;
            stoppedChanged_.notify_all();
            continue;
        }
        RecyclingWalk();
        DispatchWalk(lock);
        // Nothing changes until a worker finishes, a job is queued or a request arrives, so
        // the next pass waits for one of those instead of polling.
        const std::uint64_t seen = changes_;
        changed_.wait(lock, [&] { return changes_ != seen || pauseRequest_ || terminated_ || stopped_ || suspended_; });
    }
    stopped_ = true;
    stoppedChanged_.notify_all();
}

void TThreadLauncer::RecyclingWalk() {
    auto& busy = state_.BusyWorkers;
    for (std::size_t i = busy.size(); i-- > 0 && !pauseRequest_;) {
        if (busy[i]->State == 2) {
            busy[i]->busy_ = false;
            busy.erase(busy.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void TThreadLauncer::DispatchWalk(std::unique_lock<std::mutex>& lock) {
    // Jobs go from the end of the queue, so the entries that remain keep their indexes. Once
    // the limit is reached it stays reached for the rest of the walk: BusyWorkers only shrinks
    // in the recycling walk.
    while (!state_.JobQueue.empty() && !pauseRequest_ && !terminated_ &&
           static_cast<int>(state_.BusyWorkers.size()) < state_.MaxWorkers) {
        if (!Launch(lock)) {
            break;
        }
    }
}

std::shared_ptr<TDomainExtractor> TThreadLauncer::ChooseWorker() const {
    // The idle worker nearest the end of the pool.
    std::shared_ptr<TDomainExtractor> chosen;
    for (const auto& worker : state_.WorkerPool) {
        if (!worker->busy_ && !worker->reserved_ && !worker->terminated_) {
            chosen = worker;
        }
    }
    return chosen;
}

bool TThreadLauncer::Launch(std::unique_lock<std::mutex>& lock) {
    const std::shared_ptr<TDomainExtractor> worker = ChooseWorker();
    if (!worker) {
        return false;  // the job stays queued until a worker is free
    }
    const std::size_t j = state_.JobQueue.size() - 1;
    const std::string job = state_.JobQueue[j];
    if (state_.ValidateDomains) {
        worker->Url = AvailabilityCheckAddress(state_.AvailabilityCheckUrl, job);
        worker->Domain = job;
        // The chosen worker stays reserved while the lock is free for the interval; only the
        // end of the program cuts the wait short.
        worker->reserved_ = true;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(state_.WhoisInterval);
        changed_.wait_until(lock, until, [this] { return terminated_; });
        const bool goOn = WaitWhileSuspended(lock);
        worker->reserved_ = false;
        if (!goOn) {
            return false;
        }
    } else {
        worker->Url = job;
        worker->Origin = j < state_.JobOrigins.size() ? state_.JobOrigins[j] : std::string();
    }
    worker->State = 1;
    worker->busy_ = true;
    state_.BusyWorkers.push_back(worker);
    worker->ExtractDomains = state_.ExtractDomains;
    worker->ValidateDomains = state_.ValidateDomains;
    worker->Timeout = state_.ConnectionTimeout;
    worker->jobPending_ = true;
    worker->wake_.notify_all();
    state_.JobQueue.pop_back();
    return true;
}

std::string AvailabilityCheckAddress(const std::string& prefix, const std::string& domain) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string address = prefix;
    for (const char c : domain) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
            byte == '-' || byte == '.') {
            address += c;
        } else {
            address += '%';
            address += Hex[byte >> 4];
            address += Hex[byte & 0x0F];
        }
    }
    return address;
}

}  // namespace ostrevane
