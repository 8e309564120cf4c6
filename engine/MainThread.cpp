#include "engine/MainThread.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace ostrevane {

CallQueue::CallQueue()
    : mainThread_(std::this_thread::get_id()), notifyFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CallQueue::~CallQueue() {
    Close();
    if (notifyFd_ >= 0) {
        ::close(notifyFd_);
    }
}

void CallQueue::Invoke(const std::function<void()>& call) {
    if (std::this_thread::get_id() == mainThread_) {
        call();
        return;
    }
    Pending pending{&call, nullptr};
    {
        std::unique_lock lock(mutex_);
        if (closed_) {
            throw MainThreadClosed();
        }
        pending_.push_back(&pending);
        queued_.notify_one();
        if (notifyFd_ >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(notifyFd_, &one, sizeof one);
        }
        finished_.wait(lock, [&] { return pending.Done || pending.Refused; });
    }
    if (pending.Refused) {
        throw MainThreadClosed();
    }
    if (pending.Error) {
        std::rethrow_exception(pending.Error);
    }
}

void CallQueue::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (Pending* pending : pending_) {
        pending->Refused = true;
    }
    pending_.clear();
    finished_.notify_all();
}

std::size_t CallQueue::RunPending(std::size_t limit) {
    std::size_t ran = 0;
    std::unique_lock lock(mutex_);
    while (!pending_.empty() && ran < limit) {
        Pending* pending = pending_.front();
        pending_.pop_front();
        // The caller waits, so its call and result stay valid; the lock is free while it runs so
        // that other workers can queue theirs.
        lock.unlock();
        try {
            (*pending->Call)();
        } catch (...) {
            pending->Error = std::current_exception();
        }
        lock.lock();
        pending->Done = true;
        ++ran;
        finished_.notify_all();
    }
    // The descriptor stays readable while calls remain.
    if (notifyFd_ >= 0 && pending_.empty()) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto read = ::read(notifyFd_, &count, sizeof count);
    }
    return ran;
}

std::size_t CallQueue::PendingCount() {
    std::lock_guard lock(mutex_);
    return pending_.size();
}

bool CallQueue::WaitForCalls(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return queued_.wait_until(lock, deadline, [&] { return !pending_.empty() || closed_; }) && !pending_.empty();
}

}  // namespace ostrevane
