#include "harvest/SearchEngines.h"

#include <array>
#include <climits>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "util/IniFile.h"

namespace ostrevane {
namespace {

using Texts = std::vector<std::string>;

constexpr std::string_view Catalogue =
    "[general]\r\n"
    "secount=7\r\n"
    "se0=Tens\r\n"
    "se1=Unlimited\r\n"
    "se2=Defaults\r\n"
    "se3=NoLimit\r\n"
    "se4=Wrapping\r\n"
    "se5=Listed only\r\n"
    "se6=Hex\r\n"
    "\r\n"
    "; start index from 0, ten results a page\r\n"
    "[Tens]\r\n"
    "url=https://tens.example/s?q=$Keyword&first=$Page&again=$Keyword\r\n"
    "mp=3\r\n"
    "offset=0\r\n"
    "lpp=10\r\n"
    "[unlimited]\r\n"
    "URL=https://unlimited.example/$Page/$Keyword\r\n"
    "mp=-1\r\n"
    "offset=1\r\n"
    "lpp=1\r\n"
    "[Defaults]\r\n"
    "url=https://defaults.example/?p=$Page\r\n"
    "mp=5\r\n"
    "[NoLimit]\r\n"
    "url=https://nolimit.example/?p=$Page\r\n"
    "offset=1\r\n"
    "lpp=1\r\n"
    "[Wrapping]\r\n"
    "url=https://wrapping.example/?p=$Page\r\n"
    "mp=-1\r\n"
    "offset=2147483647\r\n"
    "lpp=1000\r\n"
    "[Hex]\r\n"
    "url=https://hex.example/?p=$Page\r\n"
    "mp=$FFFFFFFF\r\n"
    "offset=0x10\r\n"
    "lpp=$10\r\n";

TEST(LoadSearchEnginesTest, ListsTheCatalogueInOrderUnchecked) {
    const test::TempDir temp;
    const auto path = temp.Write("configs/searchengines.ini", Catalogue);
    SearchEngineList list;
    LoadSearchEngines(path, list);
    ASSERT_EQ(list.Count(), 7u);
    Texts names;
    for (const SearchEngineRow& row : list.Rows()) {
        names.push_back(row.Name);
        EXPECT_FALSE(row.Checked);
    }
    EXPECT_EQ(names, (Texts{"Tens", "Unlimited", "Defaults", "NoLimit", "Wrapping", "Listed only", "Hex"}));
}

TEST(LoadSearchEnginesTest, CountAndNameDefaults) {
    struct Row {
        const char* Name;
        std::string_view Text;  // the catalogue, unless it is Missing
        bool Missing;
        Texts Expected;
    };
    const std::array Rows{
        Row{"missing catalogue lists nothing", "", true, {}},
        Row{"no secount lists nothing", "[general]\nse0=Alpha\n", false, {}},
        Row{"unreadable secount lists nothing", "[general]\nsecount=two\nse0=Alpha\n", false, {}},
        Row{"negative secount lists nothing", "[general]\nsecount=-3\nse0=Alpha\n", false, {}},
        Row{"a missing se key gives n/a", "[general]\nsecount=2\nse0=Alpha\n", false, {"Alpha", "n/a"}},
        Row{"hexadecimal count, keys in any case",
            "[GENERAL]\nSECOUNT=0x2\nSe1=Beta\nse0=Alpha\n",
            false,
            {"Alpha", "Beta"}},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        const test::TempDir temp;
        const std::filesystem::path path =
            row.Missing ? temp.Path() / "searchengines.ini" : temp.Write("searchengines.ini", row.Text);
        EXPECT_EQ(ReadSearchEngineNames(path), row.Expected);
    }
}

TEST(LoadSearchEnginesTest, MistypedHugeCountIsBounded) {
    const test::TempDir temp;
    const auto path = temp.Write("searchengines.ini", "[general]\nsecount=2147483647\nse0=Alpha\n");
    const Texts names = ReadSearchEngineNames(path);
    ASSERT_EQ(names.size(), static_cast<std::size_t>(MaxSearchEngines));
    EXPECT_EQ(names.front(), "Alpha");
    EXPECT_EQ(names.back(), "n/a");
}

TEST(SearchEngineListTest, ChecksAndReloading) {
    SearchEngineList list;
    list.Assign({"Alpha", "Beta", "Gamma"});
    const auto before = list.Version();
    list.SetChecked(2, true);
    list.SetChecked(0, true);
    EXPECT_GT(list.Version(), before);
    EXPECT_EQ(list.CheckedNames(), (Texts{"Alpha", "Gamma"}));
    list.SetChecked(0, false);
    EXPECT_EQ(list.CheckedNames(), Texts{"Gamma"});
    EXPECT_THROW(list.SetChecked(3, true), std::out_of_range);
    list.Assign({"Delta"});
    EXPECT_TRUE(list.CheckedNames().empty());
}

TEST(BuildResultUrlTest, PagesOfEachEngine) {
    struct Row {
        const char* Name;
        std::string_view Engine;
        int Page;
        std::string_view Keyword;
        std::string_view Expected;
    };
    constexpr std::array Rows{
        Row{"page 1 from offset 0", "Tens", 1, "widgets", "https://tens.example/s?q=widgets&first=0&again=widgets"},
        Row{"page 2 a step further", "Tens", 2, "widgets", "https://tens.example/s?q=widgets&first=10&again=widgets"},
        Row{"the last page mp allows", "Tens", 3, "widgets", "https://tens.example/s?q=widgets&first=20&again=widgets"},
        Row{"a page above mp", "Tens", 4, "widgets", ""},
        Row{"engine name in another case", "TENS", 1, "x", "https://tens.example/s?q=x&first=0&again=x"},
        Row{"keyword as typed, blanks and all", "Tens", 1, " two words ",
            "https://tens.example/s?q= two words &first=0&again= two words "},
        Row{"empty keyword", "Tens", 1, "", "https://tens.example/s?q=&first=0&again="},
        Row{"a keyword holding $Page gets the page value", "Unlimited", 3, "a$Page", "https://unlimited.example/3/a3"},
        Row{"mp -1 allows any page", "Unlimited", 100000, "k", "https://unlimited.example/100000/k"},
        Row{"mp as hexadecimal -1, offset and lpp in hexadecimal", "Hex", 3, "k", "https://hex.example/?p=48"},
        Row{"offset and lpp missing count 1000 each", "Defaults", 1, "k", "https://defaults.example/?p=1000"},
        Row{"offset and lpp missing, page 2", "Defaults", 2, "k", "https://defaults.example/?p=2000"},
        Row{"mp missing gives no page", "NoLimit", 1, "k", ""},
        Row{"page value wraps at 32 bits", "Wrapping", 2, "k", "https://wrapping.example/?p=-2147482649"},
        Row{"listed engine without a section", "Listed only", 1, "k", ""},
        Row{"engine not in the catalogue", "Elsewhere", 1, "k", ""},
    };
    const test::TempDir temp;
    const auto path = temp.Write("searchengines.ini", Catalogue);
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(BuildResultUrl(path, row.Engine, row.Page, row.Keyword), row.Expected);
    }
}

TEST(BuildResultUrlTest, MissingCatalogueGivesNoPage) {
    const test::TempDir temp;
    EXPECT_EQ(BuildResultUrl(temp.Path() / "searchengines.ini", "Tens", 1, "k"), "");
}

TEST(BuildResultUrlTest, CatalogueIsReadAfreshEachTime) {
    const test::TempDir temp;
    const auto path = temp.Write("searchengines.ini", "[A]\nurl=https://a.example/$Page\nmp=1\noffset=1\nlpp=1\n");
    EXPECT_EQ(BuildResultUrl(path, "A", 1, "k"), "https://a.example/1");
    temp.Write("searchengines.ini", "[A]\nurl=https://b.example/$Page\nmp=1\noffset=7\nlpp=1\n");
    EXPECT_EQ(BuildResultUrl(path, "A", 1, "k"), "https://b.example/7");
}

// The catalogue the program ships: every engine it lists has an https template with the keyword
// in it, at least one page, and pages that the engine numbers one apart.
TEST(ShippedCatalogueTest, EveryListedEngineYieldsDistinctPages) {
    const std::filesystem::path path = std::filesystem::path(OSTREVANE_SHIPPED_CONFIGS) / SearchEnginesFileName;
    const Texts names = ReadSearchEngineNames(path);
    ASSERT_FALSE(names.empty());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_NE(name, UnnamedEngine);
        const std::string first = BuildResultUrl(path, name, 1, "widgets");
        EXPECT_TRUE(first.starts_with("https://")) << first;
        EXPECT_NE(first.find("widgets"), std::string::npos) << first;
        EXPECT_EQ(first.find('$'), std::string::npos) << first;
        const std::string second = BuildResultUrl(path, name, 2, "widgets");
        if (!second.empty()) {
            EXPECT_NE(second, first);
        }
        EXPECT_EQ(BuildResultUrl(path, name, MaxPagesPerEngine + 1, "widgets"), "")
            << "an engine should stop well before the highest page count";
    }
}

TEST(PagesPerEngineTest, ClampsToTheRange) {
    struct Row {
        const char* Name;
        int Value;
        int Expected;
    };
    constexpr std::array Rows{
        Row{"lowest", INT_MIN, 0},     Row{"negative", -1, 0},     Row{"zero", 0, 0},
        Row{"inside", 25, 25},         Row{"highest", 1000, 1000}, Row{"above", 1001, 1000},
        Row{"largest", INT_MAX, 1000},
    };
    const test::TempDir temp;
    const auto path = temp.Write("configs/preferences.ini", "[general]\npages=10\n");
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(ClampPagesPerEngine(row.Value), row.Expected);
        EXPECT_EQ(StorePagesPerEngine(path, row.Value), row.Expected);
        EXPECT_EQ(IniFile(path).ReadInteger("general", "pages", -7), row.Expected);
    }
}

TEST(PagesPerEngineTest, StoringLeavesTheOtherSettingsAlone) {
    const test::TempDir temp;
    const std::string before =
        "; tuning\r\n"
        "[General]\r\n"
        "timeout=60000\r\n"
        "interval=4000\r\n"
        "pages=10\r\n"
        "mcs=20\r\n"
        "[other]\r\n"
        "pages=3\r\n";
    const auto path = temp.Write("preferences.ini", before);
    EXPECT_EQ(StorePagesPerEngine(path, 25), 25);
    const IniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("general", "pages", 0), 25);
    EXPECT_EQ(ini.ReadInteger("general", "timeout", 0), 60000);
    EXPECT_EQ(ini.ReadInteger("general", "interval", 0), 4000);
    EXPECT_EQ(ini.ReadInteger("general", "mcs", 0), 20);
    EXPECT_EQ(ini.ReadInteger("other", "pages", 0), 3);
    std::string expected = before;
    expected.replace(expected.find("pages=10"), 8, "pages=25");
    EXPECT_EQ(temp.Read("preferences.ini"), expected);
}

TEST(PagesPerEngineTest, MissingFileIsCreated) {
    const test::TempDir temp;
    EXPECT_EQ(StorePagesPerEngine(temp.Path() / "preferences.ini", 1234), 1000);
    EXPECT_EQ(IniFile(temp.Path() / "preferences.ini").ReadInteger("general", "pages", 0), 1000);
}

TEST(PagesPerEngineTest, WriteFailureNamesTheFile) {
    const test::TempDir temp;
    // A regular file where the configs folder should be: no one, root included, can write below.
    temp.Write("configs", "not a folder");
    const std::filesystem::path path = temp.Path() / "configs" / "preferences.ini";
    try {
        (void)StorePagesPerEngine(path, 5000);
        FAIL() << "the write should fail";
    } catch (const IniWriteError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + path.string());
    }
    EXPECT_EQ(ClampPagesPerEngine(5000), 1000);
}

}  // namespace
}  // namespace ostrevane
