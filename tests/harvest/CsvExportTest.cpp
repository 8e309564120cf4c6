#include "harvest/CsvExport.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "engine/ResultsList.h"
#include "tests/support/TempDir.h"

namespace ostrevane {
namespace {

using Fields = std::vector<std::string>;

ResultRow MakeRow(std::string caption, Fields subItems, std::string whois = "raw WHOIS answer") {
    ResultRow row;
    row.Caption = std::move(caption);
    for (std::size_t i = 0; i < subItems.size(); ++i) {
        row.SubItems[i] = std::move(subItems[i]);
    }
    row.SubItems[SubWhoisText] = std::move(whois);
    row.Picture = ImageValidated;
    return row;
}

// The caption and the seven exported sub-items of a row.
Fields ExportedFields(const ResultRow& row) {
    Fields fields{row.Caption};
    for (std::size_t i = 0; i < SubWhoisText; ++i) {
        fields.push_back(row.SubItems[i]);
    }
    return fields;
}

// Rows whose fields hold what shifted or split the rows of a plain comma-joined export.
std::vector<ResultRow> AwkwardRows() {
    return {
        MakeRow("1", {"shop.example", "Alpha,3", "Registered", "2026-03-01", "Example Registrar, Inc.", "192.0.2.7",
                      "hostmaster@shop.example"}),
        MakeRow("2", {"quote.example", "Beta,1", "", "", "The \"Best\" Names", "", "\"quoted\""}),
        MakeRow("3", {"lines.example", "Gamma,2", "", "", "first line\r\nsecond line", "a\nb", "c\rd"}),
        MakeRow("4", {"plain.example", "Alpha,1", "", "", " padded ", "", ""}),
    };
}

TEST(ExportTextTest, WritesTheEightFieldsOfEveryRow) {
    const std::vector<ResultRow> rows{
        MakeRow("1", {"found.example", "Alpha/3"}, std::string(WhoisPromptText)),
        MakeRow("2", {"done.example", "Beta/1", "Registered", "2026-05-17", "whois.registrar.example", "192.0.2.1",
                      "abuse@registrar.example"}),
        MakeRow("3", {"half.example", "Beta/2", "", "2026-05-17", "registrar", "192.0.2.2", ""}),
    };
    EXPECT_EQ(
        ExportText(rows),
        "1,found.example,Alpha/3,,,,,\r\n"
        "2,done.example,Beta/1,Registered,2026-05-17,whois.registrar.example,192.0.2.1,abuse@registrar.example\r\n"
        "3,half.example,Beta/2,,2026-05-17,registrar,192.0.2.2,\r\n");
}

TEST(ExportTextTest, QuotesOnlyTheFieldsThatNeedIt) {
    struct Row {
        const char* Name;
        std::string_view Field;
        std::string_view Written;
    };
    using namespace std::string_view_literals;
    constexpr std::array Rows{
        Row{"plain", "Alpha 3", "Alpha 3"},
        Row{"empty", "", ""},
        Row{"comma", "Alpha,3", "\"Alpha,3\""},
        Row{"double quote", "The \"Best\"", "\"The \"\"Best\"\"\""},
        Row{"line feed", "a\nb", "\"a\nb\""},
        Row{"carriage return", "a\rb", "\"a\rb\""},
        Row{"CR LF", "a\r\nb", "\"a\r\nb\""},
        Row{"single quote and blanks stay bare", " it's ", " it's "},
        Row{"ends at a NUL byte", "before\0,after"sv, "before"},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        const std::vector<ResultRow> rows{MakeRow("1", {"d.example", std::string(row.Field)})};
        EXPECT_EQ(ExportText(rows), "1,d.example," + std::string(row.Written) + ",,,,,\r\n");
    }
}

TEST(ExportTextTest, ReadsBackWhatItWrote) {
    const std::vector<ResultRow> rows = AwkwardRows();
    const std::vector<ResultRow> read = ParseExportText(ExportText(rows));
    ASSERT_EQ(read.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].Domain());
        EXPECT_EQ(ExportedFields(read[i]), ExportedFields(rows[i]));
        EXPECT_EQ(read[i].SubItems[SubWhoisText], WhoisPromptText);
        EXPECT_EQ(read[i].Picture, ImageFound);
    }
}

TEST(ParseExportTextTest, AcceptsWhatOtherWritersLeave) {
    struct Row {
        const char* Name;
        std::string_view Text;
        std::vector<Fields> Expected;  // the caption and sub-items 0 to 6 of each row
    };
    const std::array Rows{
        Row{"LF line ends and no final line end",
            "1,a.example,A/1,,,,,\n2,b.example,A/2,,,,,",
            {{"1", "a.example", "A/1", "", "", "", "", ""}, {"2", "b.example", "A/2", "", "", "", "", ""}}},
        Row{"byte-order mark and blank lines",
            "\xEF\xBB\xBF\r\n1,a.example,A/1,,,,,\r\n\r\n",
            {{"1", "a.example", "A/1", "", "", "", "", ""}}},
        Row{"one name a line",
            "a.example\r\nb.example\n",
            {{"", "a.example", "", "", "", "", "", ""}, {"", "b.example", "", "", "", "", "", ""}}},
        Row{"missing fields are empty, extra ones ignored",
            "1,a.example\r\n2,b.example,A/2,r,e,g,i,m,extra,more\r\n",
            {{"1", "a.example", "", "", "", "", "", ""}, {"2", "b.example", "A/2", "r", "e", "g", "i", "m"}}},
        Row{"quoted fields, empty quoted field, line break inside quotes",
            "\"1\",\"a.example\",\"\",\"x\"\"y\",\"p\nq\",,,\r\n",
            {{"1", "a.example", "", "x\"y", "p\nq", "", "", ""}}},
        Row{"text after a closing quote is kept",
            "1,\"a\"b.example\r\n",
            {{"1", "ab.example", "", "", "", "", "", ""}}},
        Row{"unterminated quote runs to the end",
            "1,\"a.example,\r\n2",
            {{"1", "a.example,\r\n2", "", "", "", "", "", ""}}},
        Row{"empty text", "", {}},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        std::vector<Fields> read;
        for (const ResultRow& result : ParseExportText(row.Text)) {
            read.push_back(ExportedFields(result));
        }
        EXPECT_EQ(read, row.Expected);
    }
}

TEST(WriteExportFileTest, EmptyListGivesAnEmptyFileAndAnExportReplacesTheLast) {
    const test::TempDir temp;
    const std::filesystem::path file = temp.Path() / "results.csv";
    WriteExportFile(file, AwkwardRows());
    ASSERT_GT(std::filesystem::file_size(file), 0u);
    WriteExportFile(file, {});
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(std::filesystem::file_size(file), 0u);
}

TEST(WriteExportFileTest, FileReadsBackRowForRow) {
    const test::TempDir temp;
    const std::filesystem::path file = temp.Path() / "results.csv";
    const std::vector<ResultRow> rows = AwkwardRows();
    WriteExportFile(file, rows);
    EXPECT_EQ(temp.Read("results.csv"), ExportText(rows));
    const std::vector<ResultRow> read = ReadExportFile(file);
    ASSERT_EQ(read.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(ExportedFields(read[i]), ExportedFields(rows[i]));
    }
}

TEST(WriteExportFileTest, FailuresNameTheFile) {
    const test::TempDir temp;
    temp.Write("blocker", "a file where a folder should be");
    const std::filesystem::path uncreatable = temp.Path() / "blocker" / "results.csv";
    try {
        WriteExportFile(uncreatable, AwkwardRows());
        FAIL() << "the file cannot be created";
    } catch (const ExportFileError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot create file " + uncreatable.string());
    }
    if (std::filesystem::exists("/dev/full")) {
        // Opens fine, then every write fails as on a full disk.
        try {
            WriteExportFile("/dev/full", AwkwardRows());
            FAIL() << "a full disk must not pass for a written export";
        } catch (const ExportFileError& error) {
            EXPECT_EQ(std::string(error.what()), "Unable to write to /dev/full");
        }
    }
    for (const std::filesystem::path& unreadable : {temp.Path() / "missing.csv", temp.Path()}) {
        SCOPED_TRACE(unreadable.string());
        try {
            (void)ReadExportFile(unreadable);
            FAIL() << "there is nothing to read";
        } catch (const ExportFileError& error) {
            EXPECT_EQ(std::string(error.what()), "Cannot open file " + unreadable.string());
        }
    }
}

struct PipeCloser {
    void operator()(std::FILE* pipe) const { ::pclose(pipe); }
};

std::string HexDecode(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

// A reader we did not write: Python's csv module, when python3 is installed.
TEST(WriteExportFileTest, PythonCsvReaderSeesTheSameFields) {
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 is not installed";
    }
    const test::TempDir temp;
    const std::filesystem::path file = temp.Path() / "results.csv";
    const std::vector<ResultRow> rows = AwkwardRows();
    WriteExportFile(file, rows);
    // Each row on a line of its own, each field as hex digits, fields joined by "|".
    const std::string command =
        "python3 -c 'import csv,sys\n"
        "for r in csv.reader(open(sys.argv[1], newline=\"\", encoding=\"latin-1\")):\n"
        "    print(\"|\".join(f.encode(\"latin-1\").hex() for f in r))' '" +
        file.string() + "'";
    std::unique_ptr<std::FILE, PipeCloser> pipe(::popen(command.c_str(), "r"));
    ASSERT_TRUE(pipe);
    std::string output;
    std::array<char, 4096> buffer{};
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0;) {
        output.append(buffer.data(), n);
    }
    std::vector<Fields> read;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find('\n', start);
        const std::string_view line(output.data() + start, (end == std::string::npos ? output.size() : end) - start);
        Fields fields;
        std::size_t from = 0;
        while (true) {
            const std::size_t bar = line.find('|', from);
            fields.push_back(HexDecode(line.substr(from, bar == std::string_view::npos ? line.npos : bar - from)));
            if (bar == std::string_view::npos) {
                break;
            }
            from = bar + 1;
        }
        read.push_back(std::move(fields));
        start = end == std::string::npos ? output.size() : end + 1;
    }
    ASSERT_EQ(read.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(read[i], ExportedFields(rows[i]));
    }
}

}  // namespace
}  // namespace ostrevane
