#pragma once

namespace ostrevane {

// The seven priority levels of the workers: 0 idle, 1 lowest, 2 lower, 3 normal, 4 higher,
// 5 highest, 6 time critical. Levels outside 0 to 6 are taken as the nearest one.
//
// Applies the level to the calling thread: idle as SCHED_IDLE, the others as nice values. A level
// above normal needs a privilege; without it the thread quietly stays at normal priority.
void ApplyThreadPriority(int level);

}  // namespace ostrevane
