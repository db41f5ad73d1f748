// What the tool tells for each outcome: its exit status, the text lines,
// the JSON records, the progress line, and which stream each goes to.

#include "cli_report.h"
#include "json_report.h"
#include "progress_line.h"
#include "run_printer.h"
#include "table_row.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace shotdate::cli {
namespace {

using namespace std::chrono_literals;
using shotdate::PrintTo; // for the rows below, found by gtest through their namespace
using Clock = ProgressThrottle::Clock;

const std::string kOld = "2012:05:03 13:45:12";
const std::string kNew = "2020:01:01 00:00:00";

// `path` at `index`, with the date it held and, when rewritten, its new one;
// `change` adjusts the rest.
FileReport report(std::string path, Reason reason, int error = 0, void (*change)(FileReport&) = nullptr,
                  std::size_t index = 1)
{
    FileReport r;
    r.index = index;
    r.inPath = r.outPath = path;
    r.reason = reason;
    r.error = error;
    r.oldDate = kOld;
    if (isSuccess(reason))
        r.newDate = kNew;
    if (change)
        change(r);
    return r;
}

RunSummary summaryOf(int rewritten, int passedOver, bool stopped = false, std::size_t unlisted = 0)
{
    RunSummary summary;
    summary.rewritten = rewritten;
    summary.passedOver = passedOver;
    summary.stopped = stopped;
    summary.listingProblems.resize(unlisted);
    return summary;
}

// The exit status of a run that rewrote two files and met the rest.
std::string exitAfter(int passedOver, int notSynced, std::size_t unlisted, bool stopped)
{
    RunSummary summary = summaryOf(2, passedOver, stopped, unlisted);
    summary.passedOverFiles.resize(std::size_t(passedOver));
    for (int i = 0; i < notSynced; ++i) // rewritten, but listed for attention
        summary.passedOverFiles.push_back(report("x", Reason::RewrittenNotSynced));
    return std::to_string(exitStatus(summary));
}

RunSettings inAndOut()
{
    RunSettings settings;
    settings.inputPath = "in";
    settings.outputFolder = "out";
    return settings;
}

struct TextRow {
    std::string name;
    std::string printed;
    std::string expected;
};

class PrintedText : public testing::TestWithParam<TextRow> {};

TEST_P(PrintedText, ReadsAsExpected)
{
    EXPECT_EQ(GetParam().printed, GetParam().expected);
}

const std::string kDates =
    R"("dates":[{"tag":"DateTimeOriginal","old":"2012:05:03 13:45:12","new":"2020:01:01 00:00:00"},)"
    R"({"tag":"DateTimeDigitized","old":null,"new":"2020:01:01 00:00:00"}],)";

// The lines every run prints (passed over, rewritten, listing problems,
// summaries) read as the printer's rows below give them; here, the rest.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, PrintedText, testing::Values(
    TextRow{"ExitAllRewritten", exitAfter(0, 0, 0, false), "0"},
    TextRow{"ExitSomePassedOver", exitAfter(1, 0, 0, false), "1"},
    TextRow{"ExitSomeNotSynced", exitAfter(0, 1, 0, false), "1"},
    TextRow{"ExitFolderNotListed", exitAfter(0, 0, 1, false), "1"},
    TextRow{"ExitStopped", exitAfter(0, 0, 0, true), "130"},
    TextRow{"ExitStoppedWinsOverPassedOver", exitAfter(3, 0, 1, true), "130"},
    TextRow{"PrintableKeepsJapanese", printable("写真/旅行.jpg"), "写真/旅行.jpg"},
    TextRow{"PrintableEscapesNewline", printable("a\nb.jpg"), "a\\nb.jpg"},
    TextRow{"PrintableEscapesTerminalControl", printable("a\x1b[2Jb\x7f"), "a\\x1b[2Jb\\x7f"},
    TextRow{"PrintableDoublesBackslash", printable("a\\nb"), "a\\\\nb"},
    // In place, but maybe not after a crash: not passed over, and not to be run again.
    TextRow{"NotSyncedNeedsAttention", passedOverLine(report("p/a.jpg", Reason::RewrittenNotSynced, EIO)),
            "p/a.jpg: needs attention: rewritten, but its folder could not be synced: after a crash the old file may come back (Input/output error) [shooting date found: 2012:05:03 13:45:12]"},
    TextRow{"WouldRewriteWithoutOldDate", outcomeLine(report("p/a.jpg", Reason::WouldRewrite, 0, [](FileReport& r) { r.oldDate.clear(); })),
            "p/a.jpg: would be rewritten: (no date) -> 2020:01:01 00:00:00"},
    TextRow{"NamesTheCopiesLeftAsTheyWere", outcomeLine(report("p/a.jpg", Reason::Rewritten, 0, [](FileReport& r) { r.notes = {"XMP-xmp:ModifyDate: not a date"}; })),
            "p/a.jpg: rewritten: 2012:05:03 13:45:12 -> 2020:01:01 00:00:00 [left as it was: XMP-xmp:ModifyDate: not a date]"},
    TextRow{"NamesAnOutputElsewhere", outcomeLine(report("p/a.jpg", Reason::Rewritten, 0, [](FileReport& r) { r.outPath = "out/a (2).jpg"; })),
            "p/a.jpg: rewritten: 2012:05:03 13:45:12 -> 2020:01:01 00:00:00 (as out/a (2).jpg)"},
    TextRow{"InputMissing", settingsErrorText(SettingsError::InputMissing, inAndOut()), "'in': no such file or folder"},
    TextRow{"OutputMissing", settingsErrorText(SettingsError::OutputMissing, inAndOut()), "output folder 'out' does not exist"},
    TextRow{"OutputNotFolder", settingsErrorText(SettingsError::OutputNotFolder, inAndOut()), "output 'out' is not a folder"},
    TextRow{"OutputNotWritable", settingsErrorText(SettingsError::OutputNotWritable, inAndOut()), "output folder 'out' cannot be written to"},

    // The records of --json, one compact line each, which scripts rely on.
    TextRow{"JsonDryRunRenamedWithoutOldDate", fileRecord(report("p/a.jpg", Reason::WouldRewrite, 0, [](FileReport& r) { r.outPath = "out/a (2).jpg"; r.renamed = true; r.oldDate.clear(); })),
            R"({"type":"file","path":"p/a.jpg","outcome":"would-rewrite","reason":"would-rewrite","errno":null,"output":"out/a (2).jpg","renamed":true,)"
            R"("dates":[{"tag":"DateTimeOriginal","old":null,"new":"2020:01:01 00:00:00"},{"tag":"DateTimeDigitized","old":null,"new":"2020:01:01 00:00:00"}],"changes":[]})"},
    // Only the zone: one tag changed, one added, no dates written.
    TextRow{"JsonZoneOnlyListsItsChanges", fileRecord(report("a.jpg", Reason::Rewritten, 0, [](FileReport& r) { r.changes = {{"EXIF:OffsetTime", "+01:00", "+09:00"}, {"EXIF:OffsetTimeOriginal", "", "+09:00"}}; })),
            R"({"type":"file","path":"a.jpg","outcome":"rewritten","reason":"rewritten","errno":null,"output":"a.jpg","renamed":false,"dates":[],)"
            R"("changes":[{"name":"EXIF:OffsetTime","old":"+01:00","new":"+09:00"},{"name":"EXIF:OffsetTimeOriginal","old":null,"new":"+09:00"}]})"},
    TextRow{"JsonEveryOtherCopyListed", fileRecord(report("a.jpg", Reason::Rewritten, 0, [](FileReport& r) { r.changes = {{"EXIF:DateTimeOriginal", kOld, kNew}, {"XMP-xmp:CreateDate (a.xmp)", "2012-05-03T13:45:12+02:00", "2020-01-01T00:00:00+02:00"}}; })),
            R"({"type":"file","path":"a.jpg","outcome":"rewritten","reason":"rewritten","errno":null,"output":"a.jpg","renamed":false,)" + kDates +
            R"("changes":[{"name":"EXIF:DateTimeOriginal","old":"2012:05:03 13:45:12","new":"2020:01:01 00:00:00"},)"
            R"x({"name":"XMP-xmp:CreateDate (a.xmp)","old":"2012-05-03T13:45:12+02:00","new":"2020-01-01T00:00:00+02:00"}]})x"},
    TextRow{"JsonPassedOverWithErrno", fileRecord(report("p/b.jpg", Reason::Unreadable, EACCES)),
            R"({"type":"file","path":"p/b.jpg","outcome":"passed-over","reason":"unreadable","errno":"EACCES","output":null,"renamed":false,"dates":[],"changes":[]})"},
    // Latin-1 "é": shown as U+FFFD, its bytes given exactly beside it.
    TextRow{"JsonNonUtf8NameKeepsItsBytes", fileRecord(report("caf\xe9.jpg", Reason::NoExif)),
            "{\"type\":\"file\",\"path\":\"caf\xef\xbf\xbd.jpg\",\"path_base64\":\"Y2Fm6S5qcGc=\",\"outcome\":\"passed-over\",\"reason\":\"no-exif\",\"errno\":null,\"output\":null,\"renamed\":false,\"dates\":[],\"changes\":[]}"},
    TextRow{"JsonUnlistedFolder", listingProblemRecord(ListingProblem{"p/locked", EACCES}),
            R"({"type":"folder","path":"p/locked","outcome":"passed-over","reason":"cannot-list","errno":"EACCES"})"},
    TextRow{"JsonStoppedDryRunSummary", summaryRecord(summaryOf(5, 0, true, 1), true, 130),
            R"({"type":"summary","dry_run":true,"rewritten":5,"passed_over":0,"unlisted_folders":1,"stopped":true,"exit":130})"},
    TextRow{"Base64Padding", base64("f") + " " + base64("fo") + " " + base64("foo") + " " + base64(""), "Zg== Zm8= Zm9v "},

    // The progress line never wraps: "写真" is six bytes and four columns.
    TextRow{"ProgressCutLeavesLastColumnFree", progressText(3, 40, "IMG_0003.JPG", 12), "[3/40] IMG_"},
    TextRow{"ProgressWideCharacterNotSplit", progressText(1, 9, "写真.jpg", 10), "[1/9] 写"},
    TextRow{"ProgressWideCharacterNeedsTwoColumns", progressText(1, 9, "写真.jpg", 8), "[1/9] "},
    TextRow{"ProgressControlCharacterBlanked", progressText(1, 1, "a\nb", 80), "[1/1] a b"},
    TextRow{"ProgressTinyTerminal", progressText(123, 456, "x.jpg", 5), "[123"},
    TextRow{"ProgressTruncatedUtf8Dropped", progressText(1, 1, "a\xe5\x86", 80), "[1/1] a"},
    // On a narrow terminal the pace gives way to the name.
    TextRow{"ProgressPaceLeftOut", progressText(4, 10, "IMG_0004.JPG", 40, "2.0 files/s, 0:03 left"), "[4/10] IMG_0004.JPG"},
    TextRow{"PaceNotInTheFirstSecond", paceText(50, 300, 999ms), ""},
    TextRow{"PaceNothingDoneYet", paceText(0, 300, 5s), ""},
    TextRow{"PaceQuickFilesWholeRate", paceText(150, 300, 1s), "150 files/s, 0:01 left"},
    TextRow{"PacePartSecondLeftRoundsUp", paceText(2, 3, 1s), "2.0 files/s, 0:01 left"},
    TextRow{"PaceHours", paceText(1, 8000, 2s), "0.5 files/s, 4:26:38 left"},
    TextRow{"PaceBeyondADayNoTimeLeft", paceText(1, 100000, 20s), "0.05 files/s"},
    TextRow{"PaceAlmostStalled", paceText(1, 2, 1000s), "<0.01 files/s, 16:40 left"}),
    kRowName);
// clang-format on

// A FILE* whose text the test can read afterwards.
struct MemoryStream {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* file = open_memstream(&buffer, &size);

    ~MemoryStream()
    {
        std::fclose(file);
        std::free(buffer);
    }
    std::string text()
    {
        std::fflush(file);
        return std::string(buffer, size);
    }
};

struct Printed {
    MemoryStream out, err;
    Clock::time_point now{};

    RunPrinter::Setup terminal(std::size_t columns = 40)
    {
        RunPrinter::Setup setup;
        setup.progress = true;
        setup.columns = columns;
        setup.clock = [this] { return now; };
        return setup;
    }
};

// Three files, one passed over, and a folder that could not be listed.
void playRun(RunPrinter& printer, bool dryRun)
{
    const Reason success = dryRun ? Reason::WouldRewrite : Reason::Rewritten;
    const RunCallbacks callbacks = printer.callbacks();
    callbacks.onTargets(3);
    callbacks.onFile(report("p/a.jpg", success, 0, nullptr, 1));
    callbacks.onFile(report("p/b.jpg", Reason::Unreadable, EACCES, nullptr, 2));
    callbacks.onListingProblem(ListingProblem{"p/locked", EACCES});
    callbacks.onFile(report("p/c.jpg", success, 0, nullptr, 3));
    printer.finish(summaryOf(2, 1), 1);
}

const std::string kPassedOver =
    "p/b.jpg: passed over: cannot be read (Permission denied) [shooting date found: 2012:05:03 13:45:12]\n"
    "p/locked: cannot list this folder (Permission denied)\n";

struct OutputRow {
    std::string name;
    Verbosity verbosity;
    bool dryRun;
    std::string out;
    bool terminal = false; // stderr is one: a progress line may be drawn
};

class PrinterOutput : public testing::TestWithParam<OutputRow> {};

TEST_P(PrinterOutput, PutsEachLineOnItsStream)
{
    const OutputRow& row = GetParam();
    Printed p;
    RunPrinter::Setup setup = row.terminal ? p.terminal() : RunPrinter::Setup{};
    setup.verbosity = row.verbosity;
    setup.dryRun = row.dryRun;
    RunPrinter printer(p.out.file, p.err.file, setup);
    playRun(printer, row.dryRun);
    EXPECT_EQ(p.out.text(), row.out);
    EXPECT_EQ(p.err.text(), kPassedOver) << "problems are shown at every verbosity";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, PrinterOutput, testing::Values(
    OutputRow{"Normal", Verbosity::Normal, false, "2 rewritten, 1 passed over\n"},
    OutputRow{"Verbose", Verbosity::Verbose, false,
              "p/a.jpg: rewritten: 2012:05:03 13:45:12 -> 2020:01:01 00:00:00\n"
              "p/c.jpg: rewritten: 2012:05:03 13:45:12 -> 2020:01:01 00:00:00\n"
              "2 rewritten, 1 passed over\n"},
    OutputRow{"Quiet", Verbosity::Quiet, false, ""},
    OutputRow{"DryRunListsEveryFile", Verbosity::Normal, true,
              "p/a.jpg: would be rewritten: 2012:05:03 13:45:12 -> 2020:01:01 00:00:00\n"
              "p/c.jpg: would be rewritten: 2012:05:03 13:45:12 -> 2020:01:01 00:00:00\n"
              "2 would be rewritten, 1 passed over\n"},
    OutputRow{"QuietNeverDrawsOnATerminal", Verbosity::Quiet, false, "", true}),
    kRowName);
// clang-format on

// With --json, stdout is for a parser: the records and nothing else, even
// in a dry run, which otherwise lists every file there.
TEST(RunPrinter, JsonKeepsStdoutForRecords)
{
    Printed p;
    RunPrinter::Setup setup;
    setup.dryRun = setup.json = true;
    RunPrinter printer(p.out.file, p.err.file, setup);
    playRun(printer, true);
    const std::string out = p.out.text();
    std::string types;
    for (std::size_t at = 0; at < out.size(); at = out.find('\n', at) + 1)
        types += out.substr(at, out.find(',', at) - at) + " ";
    EXPECT_EQ(types, R"({"type":"file" {"type":"file" {"type":"folder" {"type":"file" {"type":"summary" )") << out;
    EXPECT_EQ(p.err.text(), kPassedOver + "2 would be rewritten, 1 passed over\n");
}

TEST(RunPrinter, SaysWhenStoppedAndStillSummarises)
{
    Printed p;
    RunPrinter printer(p.out.file, p.err.file, {});
    printer.finish(summaryOf(4, 0, true), 130);
    EXPECT_EQ(p.out.text(), "4 rewritten, 0 passed over\n");
    EXPECT_EQ(p.err.text(), "stopped: the remaining files were not touched\n");
}

TEST(RunPrinterProgress, OverwritesOneLineAndClearsItBeforeOtherOutput)
{
    Printed p;
    RunPrinter printer(p.out.file, p.err.file, p.terminal());
    printer.targetsListed(2);
    printer.fileDone(report("p/a.jpg", Reason::Rewritten, 0, nullptr, 1));
    p.now += 200ms;
    printer.fileDone(report("p/b.jpg", Reason::NoExif, 0, nullptr, 2));
    printer.finish(summaryOf(1, 1), 1);
    EXPECT_EQ(p.err.text(),
              "\r[1/2] a.jpg\033[K"
              "\r\033[K"
              "p/b.jpg: passed over: no EXIF data [shooting date found: 2012:05:03 13:45:12]\n"
              "\r[2/2] b.jpg\033[K"
              "\r\033[K");
    EXPECT_EQ(p.out.text(), "1 rewritten, 1 passed over\n");
}

TEST(RunPrinterProgress, ShowsThePaceOnceASecondHasPassed)
{
    Printed p;
    RunPrinter printer(p.out.file, p.err.file, p.terminal(80));
    printer.targetsListed(10);
    p.now += 2s;
    printer.fileDone(report("p/d.jpg", Reason::Rewritten, 0, nullptr, 4));
    printer.finish(summaryOf(4, 0), 0);
    EXPECT_EQ(p.err.text(), "\r[4/10] 2.0 files/s, 0:03 left d.jpg\033[K\r\033[K");
}

// The first update is drawn, then at most one each 100 ms.
TEST(RunPrinterProgress, CoalescesQuickUpdates)
{
    Printed p;
    RunPrinter printer(p.out.file, p.err.file, p.terminal());
    printer.targetsListed(1000);
    for (std::size_t i = 1; i <= 1000; ++i) {
        printer.fileDone(report("p/x.jpg", Reason::Rewritten, 0, nullptr, i));
        p.now += 1ms; // a whole second for 1000 files
    }
    const std::string err = p.err.text();
    std::size_t draws = 0;
    for (std::size_t at = err.find("\r["); at != std::string::npos; at = err.find("\r[", at + 1))
        ++draws;
    EXPECT_EQ(draws, 10u);
}

} // namespace
} // namespace shotdate::cli
