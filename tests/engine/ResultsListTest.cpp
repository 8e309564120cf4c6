#include "engine/ResultsList.h"

#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ostrevane {
namespace {

std::vector<std::string> Column(const ResultsList& list, std::size_t item) {
    std::vector<std::string> texts;
    for (const ResultRow& row : list.Rows()) {
        texts.push_back(item == static_cast<std::size_t>(-1) ? row.Caption : row.SubItems[item]);
    }
    return texts;
}

constexpr std::size_t CaptionColumn = static_cast<std::size_t>(-1);

TEST(ResultsListTest, NewRowsHoldTheirNameOriginAndThePrompt) {
    ResultsList list;
    const ResultRow& row = list.Append("shop.com", "Bing,2");
    EXPECT_EQ(row.Domain(), "shop.com");
    EXPECT_EQ(row.SubItems[SubFoundOn], "Bing,2");
    for (std::size_t item = SubRegistered; item <= SubEmail; ++item) {
        EXPECT_EQ(row.SubItems[item], "");
    }
    EXPECT_EQ(row.SubItems[SubWhoisText], WhoisPromptText);
    EXPECT_EQ(row.Picture, ImageFound);
    EXPECT_EQ(row.Caption, "");
}

TEST(ResultsListTest, FindsByExactDomainText) {
    ResultsList list;
    list.Append("Shop.com", "a");
    list.Append("shop.com", "b");
    list.Append("shop.com", "c");
    ASSERT_NE(list.Find("shop.com"), nullptr);
    EXPECT_EQ(list.Find("shop.com")->SubItems[SubFoundOn], "b");  // the first of two
    EXPECT_EQ(list.Find("SHOP.COM"), nullptr);
    EXPECT_EQ(list.Find("shop.co"), nullptr);
}

TEST(ResultsListTest, SortsAscendingByNumberOrBytes) {
    struct Row {
        const char* Name;
        std::size_t Column;
        std::vector<std::string> Texts;  // caption or the column's sub-item, in list order
        std::vector<std::string> Sorted;
    };
    const std::array Rows{
        Row{"numbers, not text", 0, {"10", "2", "1", "12", "3"}, {"1", "2", "3", "10", "12"}},
        Row{"a caption that is no number first", 0, {"2", "x", "1"}, {"x", "1", "2"}},
        Row{"expiry dates: empty, then dates, then n/a", 4, {"n/a", "2027-01-05", "", "2026-12-31"},
            {"", "2026-12-31", "2027-01-05", "n/a"}},
        Row{"bytes: capitals first, a prefix first", 1, {"beta.com", "Zeta.com", "b", "\xC3\xA9.com"},
            {"Zeta.com", "b", "beta.com", "\xC3\xA9.com"}},
        Row{"addresses as text", 6, {"9.1.1.1", "10.0.0.1", "n/a"}, {"10.0.0.1", "9.1.1.1", "n/a"}},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        ResultsList list;
        for (const std::string& text : row.Texts) {
            ResultRow& added = list.Append("d", "o");
            if (row.Column == 0) {
                added.Caption = text;
            } else {
                added.SubItems[row.Column - 1] = text;
            }
        }
        const std::size_t item = row.Column == 0 ? CaptionColumn : row.Column - 1;
        list.Sort(row.Column);
        EXPECT_EQ(Column(list, item), row.Sorted);
        EXPECT_EQ(list.SortColumn(), row.Column);
        // A second click sorts the same way again.
        list.Sort(row.Column);
        EXPECT_EQ(Column(list, item), row.Sorted);
    }
}

TEST(ResultsListTest, RenumberingFollowsThePresentOrder) {
    ResultsList list;
    for (const char* name : {"c.com", "a.com", "b.com"}) {
        list.Append(name, "o");
    }
    list.Renumber();
    list.Sort(1);
    EXPECT_EQ(Column(list, CaptionColumn), (std::vector<std::string>{"2", "3", "1"}));
    list.Renumber();
    EXPECT_EQ(Column(list, SubDomain), (std::vector<std::string>{"a.com", "b.com", "c.com"}));
    EXPECT_EQ(Column(list, CaptionColumn), (std::vector<std::string>{"1", "2", "3"}));
}

// The comparison never answers "equal", which std::sort cannot take; many equal keys must still
// sort safely.
TEST(ResultsListTest, ManyEqualKeysSortSafely) {
    ResultsList list;
    for (int i = 0; i < 5000; ++i) {
        ResultRow& row = list.Append(i % 2 ? "same.com" : "other.com", std::to_string(i));
        row.Caption = "7";
    }
    list.Sort(0);
    list.Sort(1);
    EXPECT_EQ(list.Count(), 5000u);
    EXPECT_EQ(list[0].Domain(), "other.com");
    EXPECT_EQ(list[4999].Domain(), "same.com");
}

}  // namespace
}  // namespace ostrevane
