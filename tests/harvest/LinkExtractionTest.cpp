#include "harvest/LinkExtraction.h"

#include <array>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/FoundDomains.h"

namespace ostrevane {
namespace {

using Texts = std::vector<std::string>;

Texts LinksOf(std::string_view page) {
    Texts links;
    ExtractLinks(page, links);
    return links;
}

Texts NamesOf(std::string_view page) {
    FoundDomainList found;
    CollectDomains(page, found, "Engine,1");
    return found.Domains();
}

std::string ReadFixture(std::string_view name) {
    std::ifstream in(std::string(OSTREVANE_HARVEST_FIXTURES) + "/" + std::string(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ExtractionRow {
    const char* Name;
    std::string_view Page;
    Texts Links;  // as ExtractLinks gives them
    Texts Names;  // as CollectDomains adds them to an empty list
};

TEST(LinkExtractionTest, AnchorsGiveTheirLinksAndNames) {
    using namespace std::string_view_literals;
    const std::array Rows{
        ExtractionRow{"quoted target, labels before the last two dropped",
                      "x<a href='http://w.shop.example/path/page.html'>y",
                      {"http://w.shop.example/path/page.html"},
                      {"shop.example"}},
        ExtractionRow{"upper-case tag, query cut",
                      "<A HREF='http://a.b.shop.example/?q=1'>",
                      {"http://a.b.shop.example/?q=1"},
                      {"shop.example"}},
        ExtractionRow{"blanks inside the tag and the target go",
                      "<a href = 'http://a.spaced.example/a b'>",
                      {"http://a.spaced.example/ab"},
                      {"spaced.example"}},
        ExtractionRow{"line breaks and TABs inside the tag, scheme in capitals",
                      "<A\r\n HREF\t=\n\"HTTP://WWW.Upper.Example/\">",
                      {"http://www.upper.example/"},
                      {"upper.example"}},
        ExtractionRow{"unquoted target runs into the next attribute",
                      "<a href=http://foo.example/index.html target=_blank>",
                      {"http://foo.example/index.htmltarget=_blank"},
                      {"foo.example"}},
        ExtractionRow{
            "relative, empty, mail, protocol-relative and ftp links name nothing",
            "<a href='/relative/page.html'><a href=''><a href='mailto:me@mail.example'>"
            "<a href='//cdn.example/x.png'><a href='ftp://files.example/'>",
            {"/relative/page.html", "", "mailto:me@mail.example", "//cdn.example/x.png", "ftp://files.example/"},
            {}},
        ExtractionRow{
            "one slash is no scheme", "<a href='http:/one.slash.example/'>", {"http:/one.slash.example/"}, {}},
        ExtractionRow{"the redirect's target decides",
                      "<a href='http://search.example/go?u=http://w.target.example/'>",
                      {"http://search.example/go?u=http://w.target.example/"},
                      {"target.example"}},
        ExtractionRow{"a relative redirect with a secure target",
                      "<a href=\"/url?q=https://www.gtarget.example/page&amp;sa=U\">",
                      {"/url?q=https://www.gtarget.example/page&amp;sa=u"},
                      {"gtarget.example"}},
        ExtractionRow{"secure link",
                      "<a href='https://secure.shop.example/'>",
                      {"https://secure.shop.example/"},
                      {"shop.example"}},
        ExtractionRow{"\"http\" inside a host is no scheme",
                      "<a href='http://w.gohttpnow.example/'><a href='https://httpbin.example/'>",
                      {"http://w.gohttpnow.example/", "https://httpbin.example/"},
                      {"gohttpnow.example", "httpbin.example"}},
        ExtractionRow{"percent-encoded target of a redirect",
                      "<a href=\"//search.example/l/?uddg=https%3A%2F%2Fwww.target.example%2Fpage&rut=abc\">",
                      {"//search.example/l/?uddg=https%3a%2f%2fwww.target.example%2fpage&rut=abc"},
                      {"target.example"}},
        ExtractionRow{"percent-encoded target inside the path",
                      "<a href=\"https://r.search.example/_ylt=x/RU=https%3a%2f%2fwww.ytarget.example%2f/RK=2\">",
                      {"https://r.search.example/_ylt=x/ru=https%3a%2f%2fwww.ytarget.example%2f/rk=2"},
                      {"ytarget.example"}},
        ExtractionRow{"escapes are decoded once only",
                      "<a href=\"https://r.search.example/rd?u=https%253A%252F%252Fwww.twice.example%252F\">",
                      {"https://r.search.example/rd?u=https%253a%252f%252fwww.twice.example%252f"},
                      {"search.example"}},
        ExtractionRow{"decoded bytes keep their case; broken escapes stay",
                      "<a href='http://w.%53hop.example/'><a href='http://bad.example/%zz%4'>",
                      {"http://w.%53hop.example/", "http://bad.example/%zz%4"},
                      {"Shop.example", "bad.example"}},
        ExtractionRow{"a port stays on the name",
                      "<a href='http://w.shop.example:8080/x'>",
                      {"http://w.shop.example:8080/x"},
                      {"shop.example:8080"}},
        ExtractionRow{"a numeric host gives its last two numbers",
                      "<a href='http://192.168.1.20/'>",
                      {"http://192.168.1.20/"},
                      {"1.20"}},
        ExtractionRow{
            "a host without a dot stays whole", "<a href='http://intranet/'>", {"http://intranet/"}, {"intranet"}},
        ExtractionRow{"extra slashes, and cuts at ? and &",
                      "<a href='http:///w.slashes.example/'><a href='http://w.query.example?x=1/y'>"
                      "<a href='http://w.amp.example&x=1'>",
                      {"http:///w.slashes.example/", "http://w.query.example?x=1/y", "http://w.amp.example&x=1"},
                      {"slashes.example", "query.example", "amp.example"}},
        ExtractionRow{
            "a final dot stays", "<a href='http://w.shop.example./'>", {"http://w.shop.example./"}, {"example."}},
        ExtractionRow{"a scheme alone gives the empty name", "<a href='http://'>", {"http://"}, {""}},
        ExtractionRow{"every tag beginning with a counts",
                      "<area href='http://map.shop.example/'>",
                      {"http://map.shop.example/"},
                      {"shop.example"}},
        ExtractionRow{"a target that runs to the end of the page loses the last character",
                      "<a href='http://a.b.example/x.html",
                      {"http://a.b.example/x.htm"},
                      {"b.example"}},
        ExtractionRow{"an anchor without href takes the next one, and the scan goes on after it",
                      "<a name='top'> text <a href='http://b.example/'>",
                      {"http://b.example/"},
                      {"b.example"}},
        ExtractionRow{"an anchor inside a script string",
                      "<a href=\"/x\">js:'<a href=\"'+u+'\">'<a href=\"http://three.example/\">",
                      {"/x", "", "http://three.example/"},
                      {"three.example"}},
        ExtractionRow{"unclosed anchors share their end: the later is a tail of the earlier",
                      "<a href=http://one.example/<a href=http://two.example/ >",
                      {"http://one.example/<ahref=http://two.example/", "http://two.example/"},
                      {"two.example"}},
        ExtractionRow{"a NUL byte is an ordinary byte",
                      "<a href='http://w.nul.example/'>\0<a href='http://after.example/'>"sv,
                      {"http://w.nul.example/", "http://after.example/"},
                      {"nul.example", "after.example"}},
    };
    for (const ExtractionRow& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(LinksOf(row.Page), row.Links);
        EXPECT_EQ(NamesOf(row.Page), row.Names);
    }
}

TEST(LinkExtractionTest, PageCutShortEndsTheScanAndKeepsEarlierLinks) {
    struct Row {
        const char* Name;
        std::string_view Tail;
    };
    constexpr std::array Rows{
        Row{"right after <a", "<a"},
        Row{"right after <a and blanks", "< A \r\n"},
        Row{"three characters after <a without href", "<a na"},
        Row{"right after href=", "<a href="},
        Row{"right after href= spelled with blanks", "<a H ref\t= "},
        Row{"right after the opening quote", "<a href='"},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        const std::string page = "<a href='http://w.first.example/'>text" + std::string(row.Tail);
        EXPECT_EQ(LinksOf(page), Texts{"http://w.first.example/"});
        EXPECT_EQ(NamesOf(page), Texts{"first.example"});
    }
}

TEST(LinkExtractionTest, ExtractLinksAppendsToTheList) {
    Texts links{"earlier"};
    ExtractLinks("<a href='http://a.example/'><a href='http://a.example/'>", links);
    EXPECT_EQ(links, (Texts{"earlier", "http://a.example/", "http://a.example/"}));
}

TEST(CollectDomainsTest, FirstSpellingAndFirstPageWin) {
    FoundDomainList found;
    CollectDomains("<a href='http://w.%53hop.example/'><a href='http://shop.example/'><a href='http://b.example/'>",
                   found, "Alpha,1");
    CollectDomains("<a href='http://SHOP.example/'><a href='http://c.example/'><a href='http://b.example/x'>", found,
                   "Beta,2");
    EXPECT_EQ(found.Domains(), (Texts{"Shop.example", "b.example", "c.example"}));
    EXPECT_EQ(found.Origins(), (Texts{"Alpha,1", "Alpha,1", "Beta,2"}));
}

TEST(CollectDomainsTest, PageWithoutNamesAddsNothing) {
    FoundDomainList found;
    found.Append("kept.example", "Alpha,1");
    for (const std::string_view page : {"", "no anchors at all", "<a href='/only/relative'>", "<b>bold</b>"}) {
        SCOPED_TRACE(page);
        CollectDomains(page, found, "Beta,1");
        EXPECT_EQ(found.Domains(), Texts{"kept.example"});
        EXPECT_EQ(found.Origins(), Texts{"Alpha,1"});
    }
}

// Two result pages of the benchmark fixture (scripts, styles, ads, redirects of every kind,
// about 100 anchors each) with the names and origins the reference extractor found in them.
TEST(CollectDomainsTest, GeneratedResultPagesGiveTheReferenceNames) {
    const std::string first = ReadFixture("widgets-391.html");
    const std::string second = ReadFixture("gadgets-201.html");
    const std::string expected = ReadFixture("expected-names.tsv");
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    ASSERT_FALSE(expected.empty());

    FoundDomainList found;
    CollectDomains(first, found, "Fixture,40");
    CollectDomains(second, found, "Fixture,21");

    Texts names;
    Texts origins;
    std::istringstream lines(expected);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos);
        names.push_back(line.substr(0, tab));
        origins.push_back(line.substr(tab + 1));
    }
    EXPECT_EQ(found.Domains(), names);
    EXPECT_EQ(found.Origins(), origins);
}

}  // namespace
}  // namespace ostrevane
