#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace ostrevane {

struct RunState;
class TDomainExtractor;

// The dispatcher: one thread that takes back the workers whose job is finished and hands queued
// jobs to idle workers, never more than MaxWorkers at once, spacing validation launches
// WhoisInterval apart. It moves entries between the lists of RunState and copies jobs into
// workers; it never touches a view.
//
// It is created stopped. While awake it makes a pass, then waits for a change (a finished job, a
// wake-up, a pause request) instead of polling. Every member below must be called on the main
// thread with RunStateLock held, except the constructor, Shutdown and WaitUntilStopped, which
// take the lock themselves.
class TThreadLauncer final {
public:
    explicit TThreadLauncer(RunState& state);
    ~TThreadLauncer();
    TThreadLauncer(const TThreadLauncer&) = delete;
    TThreadLauncer& operator=(const TThreadLauncer&) = delete;

    // Lets a stopped or paused dispatcher go on with a pass.
    void Wake();
    // Pause: the dispatcher makes no further step until it is woken.
    void Suspend();
    // Asks the dispatcher to stop at the start of its next pass; a request made while it is
    // stopped stays until it is woken.
    void RequestPause();
    [[nodiscard]] bool Stopped() const { return stopped_; }
    [[nodiscard]] bool PauseRequested() const { return pauseRequest_; }
    // Something the dispatcher waits for has changed (a worker finished its job).
    void NotifyChange();

    // Waits, without holding RunStateLock, until the dispatcher has stopped.
    void WaitUntilStopped(std::unique_lock<std::mutex>& lock);
    // Ends the thread at the end of its current step and joins it. Takes the lock itself.
    void Shutdown();

private:
    void Execute();
    // Waits while suspended; false once the thread is to end.
    bool WaitWhileSuspended(std::unique_lock<std::mutex>& lock);
    void RecyclingWalk();
    void DispatchWalk(std::unique_lock<std::mutex>& lock);
    // Launches the last queued job; false when no worker is idle or the thread is to end.
    bool Launch(std::unique_lock<std::mutex>& lock);
    [[nodiscard]] std::shared_ptr<TDomainExtractor> ChooseWorker() const;

    RunState& state_;
    std::condition_variable changed_;
    std::condition_variable stoppedChanged_;
    std::uint64_t changes_ = 0;
    bool stopped_ = true;
    bool suspended_ = false;
    bool pauseRequest_ = false;
    bool terminated_ = false;
    std::thread thread_;
};

// The availability check address for a name: the prefix, then the name with every byte other
// than a letter, a digit, "-" or "." percent-encoded, so that no name can rewrite the query.
[[nodiscard]] std::string AvailabilityCheckAddress(const std::string& prefix, const std::string& domain);

}  // namespace ostrevane
