#include <atomic>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sched.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/MainThread.h"
#include "engine/ThreadPriority.h"

namespace ostrevane {
namespace {

using namespace std::chrono_literals;

TEST(CallQueueTest, RunsCallsOnTheMainThreadAndRaisesTheirErrorsInTheCaller) {
    CallQueue calls;
    const auto mainThread = std::this_thread::get_id();
    std::thread::id ranOn;
    std::string error;
    std::thread worker([&] {
        calls.Invoke([&] { ranOn = std::this_thread::get_id(); });
        try {
            calls.Invoke([] { throw std::runtime_error("Unable to write to /x/preferences.ini"); });
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    std::size_t ran = 0;
    while (ran < 2 && std::chrono::steady_clock::now() < deadline) {
        calls.WaitForCalls(deadline);
        ran += calls.RunPending();
    }
    worker.join();
    EXPECT_EQ(ran, 2u);
    EXPECT_EQ(ranOn, mainThread);
    EXPECT_EQ(error, "Unable to write to /x/preferences.ini");

    // On the main thread itself a call runs at once.
    bool direct = false;
    calls.Invoke([&] { direct = true; });
    EXPECT_TRUE(direct);
}

TEST(CallQueueTest, CloseRefusesWaitingAndLaterCalls) {
    CallQueue calls;
    std::atomic<int> refused{0};
    std::thread waiting([&] {
        try {
            calls.Invoke([] {});
        } catch (const MainThreadClosed&) {
            ++refused;
        }
    });
    ASSERT_TRUE(calls.WaitForCalls(std::chrono::steady_clock::now() + 10s));
    calls.Close();
    waiting.join();
    std::thread late([&] {
        try {
            calls.Invoke([] {});
        } catch (const MainThreadClosed&) {
            ++refused;
        }
    });
    late.join();
    EXPECT_EQ(refused.load(), 2);
}

TEST(ThreadPriorityTest, LevelsMapOntoTheThreadsScheduling) {
    struct Row {
        int Level;
        int Policy;
        int Nice;  // when the level asks for more than normal, without privilege 0
    };
    constexpr Row Rows[] = {{0, SCHED_IDLE, 0}, {1, SCHED_OTHER, 10}, {2, SCHED_OTHER, 5}, {3, SCHED_OTHER, 0},
                            {5, SCHED_OTHER, -10}, {9, SCHED_OTHER, -15}};
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Level);
        int policy = -1;
        int nice = 99;
        bool mayRaise = false;
        std::thread([&] {
            ApplyThreadPriority(row.Level);
            policy = sched_getscheduler(0);
            nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
            // Whether this process may raise a thread above normal at all.
            mayRaise = setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -1) == 0;
        }).join();
        EXPECT_EQ(policy, row.Policy);
        if (row.Nice < 0 && !mayRaise) {
            EXPECT_EQ(nice, 0);
        } else if (row.Level != 0) {
            EXPECT_EQ(nice, row.Nice);
        }
    }
}

}  // namespace
}  // namespace ostrevane
