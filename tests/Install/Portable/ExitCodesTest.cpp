// The meanings of the unattended exit codes: the README's table "Exit codes
// of /S runs" shows ExitCodeMeanings, the rows `vellmark try` prints from,
// row for row and word for word.  A code added to one and not the other,
// or a meaning reworded in one place only, fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ExitCodes.h"

namespace {

// The cells of a Markdown table row "| a | b | c |", trimmed.
std::vector<std::string> Cells(const std::string& row)
{
    std::vector<std::string> cells;
    std::stringstream in(row.substr(1));
    std::string cell;
    while (std::getline(in, cell, '|')) {
        size_t first = cell.find_first_not_of(' ');
        size_t last = cell.find_last_not_of(' ');
        cells.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
    }
    return cells;
}

// The body rows of the README's table of exit codes.
std::vector<std::vector<std::string>> ReadmeRows()
{
    std::ifstream readme(VM_SOURCE_DIR "/README.md");
    EXPECT_TRUE(readme) << "cannot read " VM_SOURCE_DIR "/README.md";
    std::vector<std::vector<std::string>> rows;
    std::string line;
    bool inTable = false;
    while (std::getline(readme, line)) {
        if (line.rfind("| code | setup (`Setup.exe /S`) | removal (`vuninst.exe /S`) |", 0) == 0) {
            inTable = true;
            std::getline(readme, line);  // |---|---|---|
            continue;
        }
        if (inTable && line.rfind("|", 0) != 0)
            break;
        if (inTable)
            rows.push_back(Cells(line));
    }
    return rows;
}

TEST(ExitCodeMeanings, TheReadmeTableIsTheTable)
{
    std::vector<std::vector<std::string>> rows = ReadmeRows();
    ASSERT_EQ(rows.size(), std::size(ExitCodeMeanings)) << "the README's table and ExitCodeMeanings differ in rows";
    for (size_t i = 0; i < rows.size(); ++i) {
        const ExitCodeMeaning& m = ExitCodeMeanings[i];
        ASSERT_EQ(rows[i].size(), 3u) << "README row " << i + 1;
        EXPECT_EQ(rows[i][0], std::to_string(m.code)) << "row " << i + 1;
        EXPECT_EQ(rows[i][1], m.setup) << "code " << m.code;
        EXPECT_EQ(rows[i][2], m.removal) << "code " << m.code;
    }
}

TEST(ExitCodeMeanings, EveryCodeOnceAndEveryRowMeansSomething)
{
    std::set<int> seen;
    for (const ExitCodeMeaning& m : ExitCodeMeanings) {
        EXPECT_TRUE(seen.insert(m.code).second) << "code " << m.code << " twice";
        EXPECT_TRUE(*m.setup || *m.removal) << "code " << m.code << " means nothing";
        EXPECT_FALSE(std::string(m.setup) == "the same") << "code " << m.code << ": the setup has no column before it";
    }
}

}  // namespace
