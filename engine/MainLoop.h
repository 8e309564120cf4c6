#pragma once

#include <chrono>
#include <functional>

#include "engine/MainThread.h"
#include "engine/RunEngine.h"

namespace ostrevane {

// Drives a run engine on the calling thread, the main thread of the command line and the tests:
// it runs the workers' calls as they arrive and ticks the progress monitor, every 100 ms like the
// window's timer unless told otherwise. Between the two it waits; nothing polls.
class MainLoop final {
public:
    static constexpr auto MonitorInterval = std::chrono::milliseconds(100);

    MainLoop(CallQueue& calls, RunEngine& engine, std::chrono::milliseconds tickInterval = MonitorInterval)
        : calls_(calls), engine_(engine), tickInterval_(tickInterval) {}

    // Runs until `done` holds (checked after every call and tick) or `limit` has passed; true
    // when `done` held.
    bool RunUntil(const std::function<bool()>& done, std::chrono::steady_clock::duration limit);
    // Runs until the current run has closed.
    bool RunUntilIdle(std::chrono::steady_clock::duration limit) {
        return RunUntil([this] { return !engine_.RunActive(); }, limit);
    }
    // Called after every tick (a progress display, for instance).
    void OnTick(std::function<void()> observer) { onTick_ = std::move(observer); }

private:
    CallQueue& calls_;
    RunEngine& engine_;
    std::function<void()> onTick_;
    const std::chrono::milliseconds tickInterval_;
    std::chrono::steady_clock::time_point nextTick_ = std::chrono::steady_clock::now() + tickInterval_;
};

}  // namespace ostrevane
