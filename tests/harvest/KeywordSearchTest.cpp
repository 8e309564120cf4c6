#include "harvest/KeywordSearch.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/MainThread.h"
#include "engine/RunEngine.h"
#include "tests/support/TempDir.h"

namespace ostrevane {
namespace {

class NoWeb final : public WebClientFactory {
public:
    std::unique_ptr<WebClient> Create(std::chrono::milliseconds, WebClientObserver&) override { return nullptr; }
};

class NoValidation final : public ValidationJobHandler {
public:
    void MarkValidating(const TDomainExtractor&, ResultsList&) override {}
    void RunValidationSteps(TDomainExtractor&, std::stop_token) override {}
    void MergeValidationResult(const TDomainExtractor&, ResultsList&) override {}
};

std::filesystem::path Catalogue(const test::TempDir& temp) {
    return temp.Write("searchengines.ini",
                      "[general]\nsecount=3\nse0=Alpha\nse1=Beta\nse2=Short\n"
                      "[Alpha]\nurl=http://a.test/?q=$Keyword&p=$Page\nmp=-1\noffset=1\nlpp=10\n"
                      "[Beta]\nurl=http://b.test/$Page/$Keyword\nmp=10\noffset=0\nlpp=1\n"
                      "[Short]\nurl=http://s.test/?q=$Keyword&p=$Page\nmp=2\noffset=1\nlpp=1\n");
}

TEST(KeywordSearchTest, QueuesEngineByEngineAndPageByPage) {
    const test::TempDir temp;
    const SearchJobs jobs = BuildSearchJobs(Catalogue(temp), {"Alpha", "Beta"}, 3, "blue widgets");
    EXPECT_EQ(jobs.Urls, (std::vector<std::string>{"http://a.test/?q=blue widgets&p=1", "http://a.test/?q=blue widgets&p=11",
                                                   "http://a.test/?q=blue widgets&p=21", "http://b.test/0/blue widgets",
                                                   "http://b.test/1/blue widgets", "http://b.test/2/blue widgets"}));
    EXPECT_EQ(jobs.Origins, (std::vector<std::string>{"Alpha,1", "Alpha,2", "Alpha,3", "Beta,1", "Beta,2", "Beta,3"}));

    // Pages an engine does not serve add no job; an empty keyword is queued all the same.
    const SearchJobs limited = BuildSearchJobs(Catalogue(temp), {"Short", "Unknown"}, 5, "");
    EXPECT_EQ(limited.Urls, (std::vector<std::string>{"http://s.test/?q=&p=1", "http://s.test/?q=&p=2"}));
    EXPECT_EQ(limited.Origins, (std::vector<std::string>{"Short,1", "Short,2"}));
}

TEST(KeywordSearchTest, StartsARunThatClosesAtOnceWithoutJobs) {
    const test::TempDir temp;
    CallQueue calls;
    NoWeb web;
    HarvestJobHandler harvest;
    NoValidation validation;
    RunEngine engine(RunEngine::Services{calls, web, harvest, validation});
    engine.ApplyPreferences({.MaxSearchConnections = 2, .MaxValidateConnections = 1});
    engine.Results().Append("old.com", "x");

    StartKeywordSearch(engine, Catalogue(temp), {"Alpha", "Beta"}, 3, "w");
    EXPECT_EQ(engine.View().GaugeMaximum, 6);
    EXPECT_TRUE(engine.Results().Empty());
    EXPECT_EQ(engine.State().JobQueue.back(), "http://b.test/2/w");
    EXPECT_EQ(engine.State().ExtractDomains, 1);
    EXPECT_EQ(engine.State().MaxWorkers, 2);
    engine.Stop();
    engine.Tick();

    StartKeywordSearch(engine, Catalogue(temp), {}, 3, "w");
    EXPECT_TRUE(engine.View().ProgressPanelVisible);
    engine.Tick();
    EXPECT_FALSE(engine.RunActive());
    EXPECT_EQ(engine.View().Heading, "Search complete. 0 domains found related to your keyword.");
}

TEST(HarvestJobHandlerTest, CollectsThePagesNamesWithItsOrigin) {
    HarvestJobHandler harvest;
    FoundDomainList found;
    harvest.CollectDomains("<a href=\"https://www.shop.example.com/\">x</a><a href='http://a.net'>", found, "Alpha,2");
    harvest.CollectDomains("<a href=\"http://SHOP.example.com/\">", found, "Alpha,3");
    EXPECT_EQ(found.Domains(), (std::vector<std::string>{"example.com", "a.net"}));
    EXPECT_EQ(found.Origins(), (std::vector<std::string>{"Alpha,2", "Alpha,2"}));
}

}  // namespace
}  // namespace ostrevane
