#include "progress_line.h"

#include <gtest/gtest.h>

#include <ostream>

namespace shotdate::cli {
namespace {

using namespace std::chrono_literals;
using Clock = ProgressThrottle::Clock;

TEST(ProgressThrottle, DrawsFirstThenAtMostOncePerInterval)
{
    ProgressThrottle throttle(100ms);
    const Clock::time_point start{};
    EXPECT_TRUE(throttle.due(start));
    EXPECT_FALSE(throttle.due(start + 1ms));
    EXPECT_FALSE(throttle.due(start + 99ms));
    EXPECT_TRUE(throttle.due(start + 100ms));
    EXPECT_FALSE(throttle.due(start + 150ms));
    EXPECT_TRUE(throttle.due(start + 250ms));
}

struct TextRow {
    std::string name;
    std::size_t done, total;
    std::string fileName;
    std::size_t columns;
    std::string expected;
    std::string pace = {};
};

// Names the row in failure messages instead of dumping its bytes.
void PrintTo(const TextRow& row, std::ostream* os)
{
    *os << row.name;
}

class ProgressText : public testing::TestWithParam<TextRow> {};

TEST_P(ProgressText, FitsTheTerminal)
{
    const TextRow& row = GetParam();
    EXPECT_EQ(progressText(row.done, row.total, row.fileName, row.columns, row.pace), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgressText,
    testing::Values(TextRow{"Fits", 3, 40, "IMG_0003.JPG", 80, "[3/40] IMG_0003.JPG"},
                    TextRow{"CutLeavesLastColumnFree", 3, 40, "IMG_0003.JPG", 12, "[3/40] IMG_"},
                    // "写真" is six bytes and four columns.
                    TextRow{"WideCharactersWhole", 1, 9, "写真.jpg", 20, "[1/9] 写真.jpg"},
                    TextRow{"WideCharacterNotSplit", 1, 9, "写真.jpg", 10, "[1/9] 写"},
                    TextRow{"WideCharacterNeedsTwoColumns", 1, 9, "写真.jpg", 8, "[1/9] "},
                    TextRow{"ControlCharacterBlanked", 1, 1, "a\nb", 80, "[1/1] a b"},
                    TextRow{"TinyTerminal", 123, 456, "x.jpg", 5, "[123"},
                    TextRow{"TruncatedUtf8Dropped", 1, 1, std::string("a\xe5\x86"), 80, "[1/1] a"},
                    TextRow{"PaceBeforeTheName", 4, 10, "IMG_0004.JPG", 80,
                            "[4/10] 2.0 files/s, 0:03 left IMG_0004.JPG", "2.0 files/s, 0:03 left"},
                    // On a narrow terminal the pace gives way to the name.
                    TextRow{"PaceLeftOut", 4, 10, "IMG_0004.JPG", 40, "[4/10] IMG_0004.JPG", "2.0 files/s, 0:03 left"}),
    [](const auto& info) { return info.param.name; });

struct PaceRow {
    std::string name;
    std::size_t done, total;
    ProgressThrottle::Clock::duration elapsed;
    std::string expected;
};

void PrintTo(const PaceRow& row, std::ostream* os)
{
    *os << row.name;
}

class PaceText : public testing::TestWithParam<PaceRow> {};

TEST_P(PaceText, SaysRateAndTimeLeftOnlyWhenTheyMeanSomething)
{
    const PaceRow& row = GetParam();
    EXPECT_EQ(paceText(row.done, row.total, row.elapsed), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, PaceText,
                         testing::Values(PaceRow{"NotInTheFirstSecond", 50, 300, 999ms, ""},
                                         PaceRow{"NothingDoneYet", 0, 300, 5s, ""},
                                         PaceRow{"QuickFilesWholeRate", 150, 300, 1s, "150 files/s, 0:01 left"},
                                         PaceRow{"PartSecondLeftRoundsUp", 2, 3, 1s, "2.0 files/s, 0:01 left"},
                                         PaceRow{"Minutes", 9, 309, 3s, "3.0 files/s, 1:40 left"},
                                         PaceRow{"Hours", 1, 8000, 2s, "0.5 files/s, 4:26:38 left"},
                                         PaceRow{"AllDone", 300, 300, 2s, "150 files/s, 0:00 left"},
                                         PaceRow{"BeyondADayNoTimeLeft", 1, 100000, 20s, "0.05 files/s"},
                                         PaceRow{"AlmostStalled", 1, 2, 1000s, "<0.01 files/s, 16:40 left"}),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace shotdate::cli
