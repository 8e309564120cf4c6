#include "engine/RunEngine.h"

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "engine/Dispatcher.h"
#include "engine/Worker.h"
#include "tests/engine/EngineHarness.h"

namespace ostrevane {
namespace {

using namespace std::chrono_literals;
using test::EngineHarness;
using test::Gate;
using test::NumberedJobs;
using test::ScriptedTransfer;

// One gate per URL, opened by the test one at a time.
struct Gates {
    Gate& operator[](const std::string& url) {
        std::lock_guard lock(Mutex);
        auto& gate = Map[url];
        if (!gate) {
            gate = std::make_unique<Gate>();
        }
        return *gate;
    }
    std::mutex Mutex;
    std::map<std::string, std::unique_ptr<Gate>> Map;
};

// Runs the workers' calls (but no ticks) until the condition holds. The condition watches
// state the dispatcher changes without a call, so it is looked at again every few milliseconds.
bool PumpUntil(EngineHarness& h, const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        h.Calls.RunPending();
        if (done()) {
            return true;
        }
        h.Calls.WaitForCalls(std::min(deadline, std::chrono::steady_clock::now() + 5ms));
    }
    return false;
}

std::set<std::string> AsSet(const std::vector<std::string>& items) { return {items.begin(), items.end()}; }

TEST(DispatchTest, TakesJobsFromTheEndOfTheQueueUpToTheLimit) {
    Gates gates;
    EngineHarness h([&](const std::string& url, int, ScriptedTransfer& transfer) {
        transfer.Hold(gates[url]);
        return url + ".com";
    });
    auto [urls, origins] = NumberedJobs(30);
    h.Engine.StartSearchRun(urls, origins);

    ASSERT_TRUE(h.RunUntil([&] { return h.Web.Requests().size() == 20; }));
    std::set<std::string> expected;
    for (int i = 29; i >= 10; --i) {
        expected.insert("u" + std::to_string(i));
    }
    EXPECT_EQ(AsSet(h.Web.Requests()), expected);
    EXPECT_EQ(h.BusyCount(), 20u);

    // One worker comes back: the next job is index 9, the new end of the queue.
    gates["u17"].Open();
    ASSERT_TRUE(h.RunUntil([&] { return h.Web.Requests().size() == 21; }));
    EXPECT_EQ(h.Web.Requests().back(), "u9");

    for (int i = 0; i < 30; ++i) {
        gates["u" + std::to_string(i)].Open();
    }
    ASSERT_TRUE(h.RunUntilIdle());
    EXPECT_EQ(h.Engine.State().Found.Count(), 30u);
    // Each name keeps the origin of the page it came from.
    const auto& found = h.Engine.State().Found;
    for (std::size_t i = 0; i < found.Count(); ++i) {
        const std::string index = found.Domains()[i].substr(1, found.Domains()[i].size() - 5);
        EXPECT_EQ(found.Origins()[i], "e," + std::to_string(std::stoi(index) + 1));
    }
}

TEST(DispatchTest, ValidationLaunchesAreSpacedByTheInterval) {
    auto preferences = EngineHarness::TestPreferences();
    preferences.Interval = 150;
    EngineHarness h([](const std::string&, int, ScriptedTransfer&) { return std::string("Registered"); }, preferences);
    for (const char* name : {"top.com", "middle.net", "bottom.org"}) {
        h.Engine.Results().Append(name, "e,1");
    }
    // The queue runs from the last row to the first, so the top row is taken first.
    const auto start = std::chrono::steady_clock::now();
    h.Engine.StartValidationRun({"bottom.org", "middle.net", "top.com"}, "http://reseller.test/interface.asp?DomainList=");
    ASSERT_TRUE(h.RunUntilIdle());

    EXPECT_EQ(h.Web.Requests(), (std::vector<std::string>{"http://reseller.test/interface.asp?DomainList=top.com",
                                                           "http://reseller.test/interface.asp?DomainList=middle.net",
                                                           "http://reseller.test/interface.asp?DomainList=bottom.org"}));
    EXPECT_EQ(h.Validation.Merged, (std::vector<std::string>{"top.com", "middle.net", "bottom.org"}));
    // Each launch waits the interval first, so the k-th request comes at least k intervals after
    // the start. (Gaps between two requests also hold each worker's own wake-up delay.)
    const auto times = h.Web.RequestTimes();
    for (std::size_t k = 0; k < times.size(); ++k) {
        EXPECT_GE(times[k] - start, 150ms * static_cast<int>(k + 1)) << k;
    }
    for (const ResultRow& row : h.Engine.Results().Rows()) {
        EXPECT_EQ(row.Picture, ImageValidated) << row.Domain();
    }
}

TEST(DispatchTest, AvailabilityAddressEncodesTheName) {
    struct Row {
        const char* Name;
        const char* Domain;
        const char* Expected;
    };
    constexpr std::array Rows{
        Row{"plain name", "shop-1.example.com", "P=shop-1.example.com"},
        Row{"query characters", "a&uid=x#?%.com", "P=a%26uid%3Dx%23%3F%25.com"},
        Row{"blank and bytes above 127", "a b\xC3\xA9.com", "P=a%20b%C3%A9.com"},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(AvailabilityCheckAddress("P=", row.Domain), row.Expected);
    }
}

TEST(WorkerTest, AFailedPageIsTriedTenTimesAndNeverCompleted) {
    auto preferences = EngineHarness::TestPreferences();
    preferences.MaxSearchConnections = 1;  // one worker takes both jobs, the failing one first
    EngineHarness h(
        [](const std::string& url, int, ScriptedTransfer& transfer) {
            if (url == "bad") {
                transfer.Deliver(10);
                transfer.Fail();
            }
            return std::string("good.com");
        },
        preferences);
    h.Engine.StartSearchRun({"good", "bad"}, {"e,2", "e,1"});
    ASSERT_TRUE(h.RunUntilIdle());

    EXPECT_EQ(h.Web.Count("bad"), FetchAttempts);
    EXPECT_EQ(h.Web.Count("good"), 1);
    EXPECT_EQ(h.Search.Pages, std::vector<std::string>{"good.com"});
    EXPECT_EQ(h.Engine.State().Found.Domains(), std::vector<std::string>{"good.com"});
    // Each retry took the bytes of the attempt before it back; the last failed attempt's stay.
    EXPECT_EQ(h.Engine.State().BytesReceived, 10);
}

TEST(WorkerTest, AFailedPageKeepsItsStatusRow) {
    EngineHarness h([](const std::string&, int, ScriptedTransfer& transfer) -> std::string { transfer.Fail(); return {}; });
    h.Engine.StartSearchRun({"bad"}, {"e,1"});
    ASSERT_TRUE(h.RunUntilIdle());
    ASSERT_EQ(h.Engine.View().ThreadRows.size(), 1u);
    EXPECT_EQ(h.Engine.View().ThreadRows[0].SubItems[0], StatusFailedToGetPage);
    EXPECT_TRUE(h.Search.Pages.empty());
}

TEST(WorkerTest, AnAbandonedAttemptTakesItsBytesBack) {
    EngineHarness h([](const std::string&, int attempt, ScriptedTransfer& transfer) {
        if (attempt == 1) {
            transfer.Deliver(1000);
            transfer.Fail();
        }
        transfer.Deliver(300);
        return std::string("x.com");
    });
    h.Engine.StartSearchRun({"u"}, {"e,1"});
    ASSERT_TRUE(h.RunUntilIdle());
    EXPECT_EQ(h.Engine.State().BytesReceived, 300);
    EXPECT_EQ(h.Web.Count("u"), 2);
}

TEST(WorkerTest, EscapeUrlReplacesBlanksAndQuotesOnly) {
    EXPECT_EQ(EscapeUrl("http://x.test/s?q=cheap \"blue\" widgets&p=1"),
              "http://x.test/s?q=cheap%20%22blue%22%20widgets&p=1");
    EXPECT_EQ(EscapeUrl("http://x.test/a%20b?<>"), "http://x.test/a%20b?<>");
}

TEST(RunControlTest, PauseFreezesEveryTransferAndResumeContinuesIt) {
    Gate gate;
    EngineHarness h([&](const std::string& url, int, ScriptedTransfer& transfer) {
        transfer.Deliver(100);
        transfer.Hold(gate);
        transfer.Deliver(100);
        transfer.Deliver(100);
        return url + ".com";
    });
    h.Engine.StartSearchRun({"a", "b", "c"}, {"e,1", "e,1", "e,1"});
    ASSERT_TRUE(h.RunUntil([&] { return gate.WaitForWaiters(3, 0ms) && h.Engine.State().BytesReceived == 300; }));

    h.Engine.Pause();
    EXPECT_EQ(h.Engine.View().PauseButtonCaption, "Resume");
    EXPECT_EQ(h.Engine.View().StatusLine, "Paused!");
    EXPECT_FALSE(h.Engine.View().IsEnabled(Command::Stop));
    gate.Open();
    // Frozen workers make no progress however long the main loop runs.
    EXPECT_FALSE(h.RunUntil([&] { return h.Engine.State().BytesReceived > 300 || !h.Engine.RunActive(); }, 400ms));
    EXPECT_EQ(h.Engine.View().StatusLine, "Paused!");

    h.Engine.Resume();
    EXPECT_EQ(h.Engine.View().PauseButtonCaption, "Pause");
    ASSERT_TRUE(h.RunUntilIdle());
    EXPECT_EQ(h.Engine.State().BytesReceived, 900);
    EXPECT_EQ(h.Engine.Results().Count(), 3u);
}

TEST(RunControlTest, StopClosesTheRunOnTheNextTickWithTheNamesFoundSoFar) {
    EngineHarness h([](const std::string& url, int, ScriptedTransfer& transfer) {
        if (url.starts_with("slow")) {
            Gate never;
            transfer.Hold(never);
        }
        return url + ".com";
    });
    // The fast pages are at the end of the queue, so they go first.
    h.Engine.StartSearchRun({"slow1", "slow2", "slow3", "fast1", "fast2", "fast3"},
                            {"e,1", "e,2", "e,3", "e,4", "e,5", "e,6"});
    ASSERT_TRUE(h.RunUntil([&] { return h.Engine.State().Found.Count() == 3 && h.Web.Requests().size() == 6; }));

    h.Engine.Stop();
    EXPECT_TRUE(h.Engine.RunActive());
    h.Engine.Tick();
    EXPECT_FALSE(h.Engine.RunActive());
    ASSERT_EQ(h.Engine.Results().Count(), 3u);
    // Reverse order of discovery, numbered from 1.
    std::set<std::string> names;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(h.Engine.Results()[i].Caption, std::to_string(i + 1));
        names.insert(h.Engine.Results()[i].Domain());
    }
    EXPECT_EQ(names, (std::set<std::string>{"fast1.com", "fast2.com", "fast3.com"}));
    EXPECT_EQ(h.Engine.View().Heading, "Search complete. 3 domains found related to your keyword.");
    EXPECT_EQ(h.PoolSize(), 20u);
    EXPECT_EQ(h.BusyCount(), 0u);
    EXPECT_FALSE(h.Engine.View().ProgressPanelVisible);
    EXPECT_TRUE(h.Engine.View().IsEnabled(Command::Search));
    EXPECT_FALSE(h.Engine.View().IsEnabled(Command::Pause));
}

TEST(RunControlTest, PoolKeepsItsSizeThroughRunsStopsAndPreferences) {
    EngineHarness h([](const std::string& url, int, ScriptedTransfer&) { return url + ".com"; });
    EXPECT_EQ(h.PoolSize(), 20u);

    auto [urls, origins] = NumberedJobs(25);
    h.Engine.StartSearchRun(urls, origins);
    ASSERT_TRUE(h.RunUntilIdle());
    EXPECT_EQ(h.PoolSize(), 20u);

    h.Engine.StartValidationRun({"a.com"}, "http://r.test/?d=");
    h.Engine.Stop();
    ASSERT_TRUE(h.RunUntilIdle());
    EXPECT_EQ(h.PoolSize(), 20u);

    auto preferences = EngineHarness::TestPreferences();
    preferences.MaxSearchConnections = 3;
    preferences.MaxValidateConnections = 8;
    h.Engine.ApplyPreferences(preferences);
    EXPECT_EQ(h.PoolSize(), 8u);
    EXPECT_EQ(h.Engine.State().MaxWorkers, 8);
    h.Engine.StartSearchRun(urls, origins);
    EXPECT_EQ(h.Engine.State().MaxWorkers, 3);
    ASSERT_TRUE(h.RunUntilIdle());
    EXPECT_EQ(h.PoolSize(), 8u);
}

TEST(RunControlTest, NoWorkersKeepsTheRunOpenUntilStop) {
    auto preferences = EngineHarness::TestPreferences();
    preferences.MaxSearchConnections = 0;
    preferences.MaxValidateConnections = 0;
    EngineHarness h([](const std::string& url, int, ScriptedTransfer&) { return url; }, preferences);
    EXPECT_EQ(h.PoolSize(), 0u);
    h.Engine.StartSearchRun({"a", "b"}, {"e,1", "e,2"});
    EXPECT_FALSE(h.RunUntil([&] { return !h.Engine.RunActive(); }, 300ms));
    EXPECT_TRUE(h.Web.Requests().empty());
    h.Engine.Stop();
    h.Engine.Tick();
    EXPECT_FALSE(h.Engine.RunActive());
}

TEST(MonitorTest, AnEmptyRunClosesOnTheFirstTick) {
    EngineHarness h([](const std::string& url, int, ScriptedTransfer&) { return url; });
    h.Engine.StartSearchRun({}, {});
    EXPECT_TRUE(h.Engine.View().ProgressPanelVisible);
    EXPECT_EQ(h.Engine.View().Heading, "Please wait... Getting domain names.");
    h.Engine.Tick();
    EXPECT_FALSE(h.Engine.RunActive());
    EXPECT_EQ(h.Engine.View().GaugeMaximum, 0);
    EXPECT_EQ(h.Engine.View().ApplicationTitle, "Ostrevane - searching 0% done");
    EXPECT_EQ(h.Engine.View().Heading, "Search complete. 0 domains found related to your keyword.");
}

// Only names whose top-level domain is exactly one of the six are listed, last found first, each
// with the origin of its own page.
TEST(MonitorTest, FinishRunListsTheNamesOfTheSixTopLevelDomains) {
    EngineHarness h([](const std::string& url, int, ScriptedTransfer&) { return url; });
    h.Engine.StartSearchRun({}, {});
    struct Row {
        const char* Name;
        bool Listed;
    };
    constexpr std::array Rows{
        Row{"a.com", true},   Row{"b.co.uk", false}, Row{"c.info", true}, Row{"d.om", false},
        Row{"e.COM", true},   Row{"f.", false},      Row{"", false},      Row{"g.us", true},
        Row{"h.s", false},    Row{"i.bizz", false},  Row{"j.Net", true},  Row{"com", false},
        Row{"k.et", false},   Row{"l.fo", false},    Row{"m.org", true},  Row{"n.biz", true},
    };
    for (std::size_t i = 0; i < Rows.size(); ++i) {
        h.Engine.State().Found.Append(Rows[i].Name, "page " + std::to_string(i));
    }
    h.Engine.Tick();

    std::vector<std::pair<std::string, std::string>> expected;
    for (std::size_t i = Rows.size(); i-- > 0;) {
        if (Rows[i].Listed) {
            expected.emplace_back(Rows[i].Name, "page " + std::to_string(i));
        }
    }
    std::vector<std::pair<std::string, std::string>> listed;
    for (const ResultRow& row : h.Engine.Results().Rows()) {
        listed.emplace_back(row.Domain(), row.SubItems[SubFoundOn]);
        EXPECT_EQ(row.Picture, ImageFound);
        EXPECT_EQ(row.SubItems[SubWhoisText], WhoisPromptText);
    }
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(h.Engine.State().Found.Count(), expected.size());
}

TEST(MonitorTest, StatusLineCountsThreadsKilobytesAndNames) {
    Gate gate;
    EngineHarness h([&](const std::string& url, int, ScriptedTransfer& transfer) {
        transfer.Deliver(url == "a" ? 1'666'668 : 1'666'666);
        transfer.Hold(gate);
        return url;
    });
    h.Engine.StartSearchRun({"a", "b", "c"}, {"e,1", "e,1", "e,1"});
    for (int i = 0; i < 120; ++i) {
        h.Engine.State().Found.Append("n" + std::to_string(i) + ".com", "e,1");
    }
    ASSERT_TRUE(h.RunUntil([&] { return h.Engine.State().BytesReceived == 5'000'000; }));
    h.Engine.Tick();
    EXPECT_EQ(h.Engine.View().StatusLine, "3 active threads. Got 5000 kb so far. 120 domains.");
    EXPECT_EQ(h.Engine.View().ThreadRows.size(), 3u);
    for (const ThreadRow& row : h.Engine.View().ThreadRows) {
        EXPECT_EQ(row.SubItems[0], "Downloading from: 127.0.0.1");
    }
    EXPECT_EQ(h.Engine.View().GaugePosition, 0);
    EXPECT_EQ(h.Engine.View().ApplicationTitle, "Ostrevane - searching 0% done");
    gate.Open();
    ASSERT_TRUE(h.RunUntilIdle());
    // The finished rows are gone.
    EXPECT_TRUE(h.Engine.View().ThreadRows.empty());
}

// A pause clicked after the last job was taken back, before the tick that closes the run, must
// not leave the next run paused with nothing dispatched.
TEST(MendedFaultTest, FinishRunEndsAPauseThatOutlivedTheJobs) {
    EngineHarness h([](const std::string& url, int, ScriptedTransfer&) { return url + ".com"; });
    h.Engine.StartSearchRun({"a"}, {"e,1"});
    h.Engine.Tick();
    ASSERT_TRUE(PumpUntil(h, [&] { return h.Engine.State().Found.Count() == 1 && h.BusyCount() == 0; }));
    h.Engine.Pause();
    h.Engine.Tick();
    EXPECT_FALSE(h.Engine.RunActive());
    EXPECT_EQ(h.Engine.State().Paused, 0);
    EXPECT_EQ(h.Engine.View().PauseButtonCaption, "Pause");
    EXPECT_EQ(h.Engine.View().PauseButtonTag, 0);

    h.Engine.StartSearchRun({"b"}, {"e,1"});
    ASSERT_TRUE(h.RunUntilIdle());
    EXPECT_EQ(h.Engine.State().Found.Domains(), std::vector<std::string>{"b.com"});
}

// An error inside job completion (an unreadable configuration file while a result is merged)
// still ends the job, so the run closes; the row shows the error.
TEST(MendedFaultTest, AnErrorInJobCompletionStillEndsTheJob) {
    EngineHarness h([](const std::string&, int, ScriptedTransfer&) { return std::string("Registered"); });
    h.Validation.ThrowOnMerge = true;
    h.Engine.Results().Append("a.com", "e,1");
    h.Engine.Results().Append("b.com", "e,1");
    h.Engine.StartValidationRun({"b.com", "a.com"}, "http://r.test/?d=");
    ASSERT_TRUE(h.RunUntilIdle());
    EXPECT_EQ(h.BusyCount(), 0u);
    for (const ResultRow& row : h.Engine.Results().Rows()) {
        EXPECT_EQ(row.Picture, ImageError) << row.Domain();
    }
}

// A worker retired by Stop after it fetched its page, with its completion still waiting for the
// main thread, must not merge the old page into the next run.
TEST(MendedFaultTest, ARetiredWorkerNeverMergesIntoALaterRun) {
    EngineHarness h([](const std::string& url, int, ScriptedTransfer&) { return url + ".com"; });
    h.Engine.StartSearchRun({"old"}, {"e,1"});
    h.Engine.Tick();
    // Its calls come one at a time, each waiting for the one before; the last is the completion.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    const auto nextCall = [&] {
        while (h.Calls.PendingCount() == 0 && std::chrono::steady_clock::now() < deadline) {
            h.Calls.WaitForCalls(deadline);
        }
        return h.Calls.PendingCount() == 1;
    };
    while (h.Engine.View().ThreadRows.empty() || h.Engine.View().ThreadRows[0].SubItems[0] != StatusProcessingPage) {
        ASSERT_TRUE(nextCall());
        h.Calls.RunPending(1);
    }
    ASSERT_TRUE(nextCall());

    h.Engine.Stop();
    h.Engine.Tick();
    ASSERT_FALSE(h.Engine.RunActive());
    h.Engine.StartSearchRun({"new"}, {"e,1"});
    ASSERT_TRUE(h.RunUntilIdle());
    EXPECT_EQ(h.Engine.State().Found.Domains(), std::vector<std::string>{"new.com"});
    EXPECT_EQ(h.Search.Pages, std::vector<std::string>{"new.com"});
}

// The engine goes away with workers in every state: holding a transfer, frozen by a pause,
// waiting for a main-thread call that never runs. Every thread must end first.
TEST(MendedFaultTest, ShutdownEndsEveryThreadWhateverItIsDoing) {
    Gate never;
    Gate held;
    auto h = std::make_unique<EngineHarness>([&](const std::string& url, int, ScriptedTransfer& transfer) {
        transfer.Deliver(1);
        if (url == "stuck") {
            transfer.Hold(never);
        }
        transfer.Hold(held);
        transfer.Deliver(1);
        return url;
    });
    h->Engine.StartSearchRun({"stuck", "frozen1", "frozen2"}, {"e,1", "e,1", "e,1"});
    ASSERT_TRUE(h->RunUntil([&] { return held.WaitForWaiters(2, 0ms) && never.WaitForWaiters(1, 0ms); }));
    h->Engine.Pause();
    held.Open();
    h.reset();
}

// Many pauses, resumes and stops at random moments of runs: every run still closes.
TEST(StressTest, PauseResumeAndStopNeverDeadlock) {
    EngineHarness h([](const std::string& url, int, ScriptedTransfer& transfer) {
        for (int i = 0; i < 3; ++i) {
            transfer.Deliver(10);
        }
        return url + ".com";
    });
    std::mt19937 random(11);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        auto [urls, origins] = NumberedJobs(60);
        h.Engine.StartSearchRun(urls, origins);
        for (int step = 0; step < 6 && h.Engine.RunActive(); ++step) {
            h.RunUntil([] { return false; }, std::chrono::milliseconds(random() % 30));
            switch (random() % 3) {
            case 0:
                h.Engine.TogglePause();
                break;
            case 1:
                if (h.Engine.View().PauseButtonTag == 1) {
                    h.Engine.Resume();
                }
                break;
            default:
                if (h.Engine.View().IsEnabled(Command::Stop)) {
                    h.Engine.Stop();
                }
                break;
            }
        }
        if (h.Engine.View().PauseButtonTag == 1) {
            h.Engine.Resume();
        }
        ASSERT_TRUE(h.RunUntilIdle(20s));
        EXPECT_EQ(h.PoolSize(), 20u);
        EXPECT_EQ(h.BusyCount(), 0u);
    }
}

}  // namespace
}  // namespace ostrevane
