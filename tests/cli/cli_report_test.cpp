#include "cli_report.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cerrno>
#include <set>
#include <string>

namespace shotdate::cli {
namespace {

TEST(ReasonText, EveryReasonHasItsOwnWords)
{
    std::set<std::string> seen;
    for (int r = int(Reason::Rewritten); r <= int(Reason::MovieHeaderTooLarge); ++r) {
        const Reason reason = Reason(r);
        const std::string text(reasonText(reason));
        EXPECT_NE(text, "passed over for an unknown reason") << reasonKey(reason);
        EXPECT_TRUE(seen.insert(text).second) << "two reasons read \"" << text << "\"";
    }
}

struct PrintableRow {
    std::string name;
    std::string in;
    std::string out;
};

// Names the row in failure messages instead of dumping its bytes.
void PrintTo(const PrintableRow& row, std::ostream* os)
{
    *os << row.name;
}

class Printable : public testing::TestWithParam<PrintableRow> {};

TEST_P(Printable, KeepsOneLineAndHarmlessBytes)
{
    EXPECT_EQ(printable(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Table, Printable,
                         testing::Values(PrintableRow{"Plain", "IMG_0001.JPG", "IMG_0001.JPG"},
                                         PrintableRow{"Japanese", "写真/旅行.jpg", "写真/旅行.jpg"},
                                         PrintableRow{"Newline", "a\nb.jpg", "a\\nb.jpg"},
                                         PrintableRow{"CarriageReturnAndTab", "a\r\tb", "a\\r\\tb"},
                                         PrintableRow{"Escape", "a\x1b[2Jb", "a\\x1b[2Jb"},
                                         PrintableRow{"Delete", "a\x7f", "a\\x7f"},
                                         PrintableRow{"Backslash", "a\\nb", "a\\\\nb"},
                                         PrintableRow{"Nul", std::string("a\0b", 3), "a\\x00b"}),
                         [](const auto& info) { return info.param.name; });

FileReport report(Reason reason, int error = 0, std::string oldDate = {}, std::string newDate = {})
{
    FileReport r;
    r.index = 1;
    r.inPath = "photos/IMG_1.JPG";
    r.outPath = r.inPath;
    r.reason = reason;
    r.error = error;
    r.oldDate = std::move(oldDate);
    r.newDate = std::move(newDate);
    return r;
}

FileReport withNote(FileReport r, std::string note)
{
    r.notes = {std::move(note)};
    return r;
}

FileReport renamedTo(FileReport r, std::string outPath)
{
    r.outPath = std::move(outPath);
    return r;
}

RunSummary summaryOf(int rewritten, int passedOver)
{
    RunSummary summary;
    summary.rewritten = rewritten;
    summary.passedOver = passedOver;
    return summary;
}

struct LineRow {
    std::string name;
    std::string line;
    std::string expected;
};

// Names the row in failure messages instead of dumping its bytes.
void PrintTo(const LineRow& row, std::ostream* os)
{
    *os << row.name;
}

class ReportLine : public testing::TestWithParam<LineRow> {};

TEST_P(ReportLine, ReadsAsExpected)
{
    EXPECT_EQ(GetParam().line, GetParam().expected);
}

const std::string kOld = "2012:05:03 13:45:12";
const std::string kNew = "2020:01:01 00:00:00";

INSTANTIATE_TEST_SUITE_P(
    Table, ReportLine,
    testing::Values(
        LineRow{"PassedOverWithErrno", passedOverLine(report(Reason::Unreadable, EACCES)),
                "photos/IMG_1.JPG: passed over: cannot be read (Permission denied)"},
        LineRow{"PassedOver", passedOverLine(report(Reason::NoExif)), "photos/IMG_1.JPG: passed over: no EXIF data"},
        // In place, but maybe not after a crash: not passed over, and not to be run again.
        LineRow{"NotSyncedNeedsAttention", passedOverLine(report(Reason::RewrittenNotSynced, EIO)),
                "photos/IMG_1.JPG: needs attention: rewritten, but its folder could not be synced: after a crash the"
                " old file may come back (Input/output error)"},
        LineRow{"PassedOverShowsTheDateFound", passedOverLine(report(Reason::DateOutOfRange, 0, "9999:12:31 23:00:00")),
                "photos/IMG_1.JPG: passed over: the new date would fall outside the years 0001-9999"
                " [shooting date found: 9999:12:31 23:00:00]"},
        LineRow{"Rewritten", outcomeLine(report(Reason::Rewritten, 0, kOld, kNew)),
                "photos/IMG_1.JPG: rewritten: 2012:05:03 13:45:12 -> 2020:01:01 00:00:00"},
        LineRow{"WouldRewriteWithoutOldDate", outcomeLine(report(Reason::WouldRewrite, 0, "", kNew)),
                "photos/IMG_1.JPG: would be rewritten: (no date) -> 2020:01:01 00:00:00"},
        LineRow{"NamesTheCopiesLeftAsTheyWere",
                outcomeLine(withNote(report(Reason::Rewritten, 0, kOld, kOld), "XMP-xmp:ModifyDate: not a date")),
                "photos/IMG_1.JPG: rewritten: 2012:05:03 13:45:12 -> 2012:05:03 13:45:12"
                " [left as it was: XMP-xmp:ModifyDate: not a date]"},
        LineRow{"NamesAnOutputElsewhere",
                outcomeLine(renamedTo(report(Reason::Rewritten, 0, kOld, kNew), "out/IMG_1 (2).JPG")),
                "photos/IMG_1.JPG: rewritten: 2012:05:03 13:45:12 -> 2020:01:01 00:00:00 (as out/IMG_1 (2).JPG)"},
        LineRow{"FailureIsThePassedOverLine", outcomeLine(report(Reason::WriteFailed, ENOSPC)),
                "photos/IMG_1.JPG: passed over: the new file could not be written (No space left on device)"},
        LineRow{"UnlistedFolder", listingProblemLine(ListingProblem{"photos/private", EACCES}),
                "photos/private: cannot list this folder (Permission denied)"},
        LineRow{"Summary", summaryLine(summaryOf(3, 1), false), "3 rewritten, 1 passed over"},
        LineRow{"DryRunSummary", summaryLine(summaryOf(3, 1), true), "3 would be rewritten, 1 passed over"}),
    [](const auto& info) { return info.param.name; });

struct SettingsRow {
    SettingsError error;
    std::string messagePart;
};

// Names the row in failure messages instead of dumping its bytes.
void PrintTo(const SettingsRow& row, std::ostream* os)
{
    *os << "SettingsError " << int(row.error);
}

class SettingsErrorText : public testing::TestWithParam<SettingsRow> {};

TEST_P(SettingsErrorText, NamesThePath)
{
    RunSettings settings;
    settings.inputPath = "in";
    settings.outputFolder = "out";
    EXPECT_NE(settingsErrorText(GetParam().error, settings).find(GetParam().messagePart), std::string::npos)
        << settingsErrorText(GetParam().error, settings);
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsErrorText,
                         testing::Values(SettingsRow{SettingsError::InputMissing, "'in': no such file or folder"},
                                         SettingsRow{SettingsError::OutputMissing, "'out' does not exist"},
                                         SettingsRow{SettingsError::OutputNotFolder, "'out' is not a folder"},
                                         SettingsRow{SettingsError::OutputNotWritable, "'out' cannot be written to"}));

struct ExitRow {
    std::string name;
    int passedOver;
    int notSynced; // rewritten, but listed for attention
    bool listingProblem;
    bool stopped;
    int status;
};

// Names the row in failure messages instead of dumping its bytes.
void PrintTo(const ExitRow& row, std::ostream* os)
{
    *os << row.name;
}

class ExitStatus : public testing::TestWithParam<ExitRow> {};

TEST_P(ExitStatus, FollowsTheOutcome)
{
    const ExitRow& row = GetParam();
    RunSummary summary;
    summary.rewritten = 2;
    summary.passedOver = row.passedOver;
    for (int i = 0; i < row.passedOver; ++i)
        summary.passedOverFiles.push_back(FileReport{});
    FileReport notSynced;
    notSynced.reason = Reason::RewrittenNotSynced;
    for (int i = 0; i < row.notSynced; ++i)
        summary.passedOverFiles.push_back(notSynced);
    if (row.listingProblem)
        summary.listingProblems.push_back(ListingProblem{"x", EACCES});
    summary.stopped = row.stopped;
    EXPECT_EQ(exitStatus(summary), row.status);
}

INSTANTIATE_TEST_SUITE_P(Table, ExitStatus,
                         testing::Values(ExitRow{"AllRewritten", 0, 0, false, false, 0},
                                         ExitRow{"SomePassedOver", 1, 0, false, false, 1},
                                         ExitRow{"SomeNotSynced", 0, 1, false, false, 1},
                                         ExitRow{"FolderNotListed", 0, 0, true, false, 1},
                                         ExitRow{"Stopped", 0, 0, false, true, 130},
                                         ExitRow{"StoppedWinsOverPassedOver", 3, 0, true, true, 130}),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace shotdate::cli
