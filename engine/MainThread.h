#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace ostrevane {

// Raised in a worker whose call the main thread no longer takes (the program is shutting down).
class MainThreadClosed final : public std::runtime_error {
public:
    MainThreadClosed() : std::runtime_error("the main thread takes no more calls") {}
};

// Runs calls on the main thread for worker threads.
class MainThreadExecutor {
public:
    virtual ~MainThreadExecutor() = default;
    // Runs the call on the main thread and waits until it has run; an exception the call raises
    // is raised here again. Called on the main thread itself, it runs the call at once. Throws
    // MainThreadClosed once the main thread takes no more calls.
    virtual void Invoke(const std::function<void()>& call) = 0;
    // From now on every Invoke, also one already waiting, throws MainThreadClosed.
    virtual void Close() = 0;
};

// The calls workers hand to the main thread, drained by the main thread's own loop: a Qt event
// loop watches NotifyFd(); the command line and the tests wait with WaitForCalls. The thread that
// creates the queue is its main thread.
class CallQueue final : public MainThreadExecutor {
public:
    CallQueue();
    ~CallQueue() override;
    CallQueue(const CallQueue&) = delete;
    CallQueue& operator=(const CallQueue&) = delete;

    void Invoke(const std::function<void()>& call) override;
    void Close() override;

    // Main thread: runs the queued calls in order, at most `limit` of them; returns how many ran.
    std::size_t RunPending(std::size_t limit = static_cast<std::size_t>(-1));
    // Main thread: waits until a call is queued or the deadline passes; true when one is queued.
    bool WaitForCalls(std::chrono::steady_clock::time_point deadline);
    // How many calls wait to be run.
    [[nodiscard]] std::size_t PendingCount();
    // Readable while calls are queued; RunPending empties it.
    [[nodiscard]] int NotifyFd() const { return notifyFd_; }

private:
    struct Pending {
        const std::function<void()>* Call;
        std::exception_ptr Error;
        bool Done = false;
        bool Refused = false;
    };

    const std::thread::id mainThread_;
    const int notifyFd_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable finished_;
    std::deque<Pending*> pending_;
    bool closed_ = false;
};

}  // namespace ostrevane
