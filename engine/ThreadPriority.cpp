#include "engine/ThreadPriority.h"

#include <algorithm>
#include <array>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace ostrevane {

void ApplyThreadPriority(int level) {
    level = std::clamp(level, 0, 6);
    const pid_t thread = ::gettid();
    if (level == 0) {
        sched_param parameters{};
        parameters.sched_priority = 0;
        ::pthread_setschedparam(::pthread_self(), SCHED_IDLE, &parameters);
        return;
    }
    static constexpr std::array<int, 7> Nice{19, 10, 5, 0, -5, -10, -15};
    if (::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), Nice[static_cast<std::size_t>(level)]) != 0) {
        // Raising needs a privilege this process may not have: stay at normal.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), 0);
    }
}

}  // namespace ostrevane
