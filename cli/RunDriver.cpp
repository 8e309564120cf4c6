#include "cli/RunDriver.h"

#include <algorithm>
#include <chrono>
#include <ostream>
#include <string>

#include "engine/MainLoop.h"

namespace ostrevane::cli {
namespace {

constexpr int BarWidth = 24;

// The monitor ticks more often than the window's timer: a tick wakes the dispatcher and closes
// the run, and a short run should not wait for the timer at either end. The progress line is
// redrawn at the window's pace.
constexpr auto TickInterval = std::chrono::milliseconds(10);
constexpr auto RedrawInterval = std::chrono::milliseconds(100);

std::string ProgressLine(RunEngine& engine, std::string_view jobName) {
    const RunView& view = engine.View();
    std::size_t busy = 0;
    {
        std::lock_guard lock(engine.State().RunStateLock);
        busy = engine.State().BusyWorkers.size();
    }
    const int total = std::max(view.GaugeMaximum, 0);
    const int done = std::clamp(view.GaugePosition, 0, total);
    const int filled = total == 0 ? BarWidth : done * BarWidth / total;
    std::string line = "\r[";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(BarWidth - filled), '.');
    line += "] " + std::to_string(done) + "/" + std::to_string(total) + " " + std::string(jobName) + ", " +
            std::to_string(busy) + " active, " + std::to_string(engine.State().BytesReceived / 1000) + " kb, " +
            std::to_string(engine.State().Found.Count()) + " names  ";
    return line;
}

}  // namespace

void RunToEnd(RunEngine& engine, CallQueue& calls, Console& console, std::string_view jobName) {
    MainLoop loop(calls, engine, TickInterval);
    bool stopping = false;
    auto lastDrawn = std::chrono::steady_clock::time_point{};
    engine.Tick();
    loop.OnTick([&] {
        const auto now = std::chrono::steady_clock::now();
        if (console.ErrIsTerminal && now - lastDrawn >= RedrawInterval) {
            lastDrawn = now;
            console.Err << ProgressLine(engine, jobName) << std::flush;
        }
    });
    const auto interrupted = [&] { return console.Interrupted != nullptr && console.Interrupted->load(); };
    loop.RunUntil(
        [&] {
            if (interrupted() && !stopping && engine.RunActive()) {
                stopping = true;
                engine.Stop();
            }
            return !engine.RunActive();
        },
        std::chrono::hours(24 * 365));
    if (console.ErrIsTerminal) {
        console.Err << "\r\033[K" << std::flush;
    }
    if (stopping) {
        console.Err << "Stopped.\n";
    }
}

}  // namespace ostrevane::cli
