#include "engine/MainLoop.h"

#include <algorithm>

namespace ostrevane {

bool MainLoop::RunUntil(const std::function<bool()>& done, std::chrono::steady_clock::duration limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        calls_.RunPending();
        auto now = std::chrono::steady_clock::now();
        if (now >= nextTick_) {
            engine_.Tick();
            if (onTick_) {
                onTick_();
            }
            nextTick_ += tickInterval_;
            if (nextTick_ <= now) {
                nextTick_ = now + tickInterval_;
            }
        }
        if (done()) {
            return true;
        }
        now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        calls_.WaitForCalls(std::min(nextTick_, deadline));
    }
}

}  // namespace ostrevane
