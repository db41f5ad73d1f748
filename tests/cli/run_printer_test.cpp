#include "run_printer.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace shotdate::cli {
namespace {

using namespace std::chrono_literals;
using Clock = ProgressThrottle::Clock;

// A FILE* whose text the test can read afterwards.
class MemoryStream {
public:
    MemoryStream() : file_(open_memstream(&buffer_, &size_)) {}
    ~MemoryStream()
    {
        std::fclose(file_);
        std::free(buffer_);
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    std::FILE* file() { return file_; }
    std::string text()
    {
        std::fflush(file_);
        return std::string(buffer_, size_);
    }

private:
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* file_;
};

FileReport fileReport(std::size_t index, std::string path, Reason reason, int error = 0)
{
    FileReport r;
    r.index = index;
    r.inPath = path;
    r.outPath = path;
    r.reason = reason;
    r.error = error;
    r.oldDate = "2012:05:03 13:45:12";
    if (isSuccess(reason))
        r.newDate = "2020:01:01 00:00:00";
    return r;
}

RunSummary summaryOf(int rewritten, int passedOver, bool stopped = false)
{
    RunSummary s;
    s.rewritten = rewritten;
    s.passedOver = passedOver;
    s.stopped = stopped;
    return s;
}

struct Fixture {
    MemoryStream out, err;
    Clock::time_point now{};
};

void playRun(RunPrinter& printer, bool dryRun)
{
    const Reason success = dryRun ? Reason::WouldRewrite : Reason::Rewritten;
    const RunCallbacks callbacks = printer.callbacks();
    callbacks.onTargets(3);
    callbacks.onFile(fileReport(1, "p/a.jpg", success));
    callbacks.onFile(fileReport(2, "p/b.jpg", Reason::Unreadable, EACCES));
    callbacks.onListingProblem(ListingProblem{"p/locked", EACCES});
    callbacks.onFile(fileReport(3, "p/c.jpg", success));
    printer.finish(summaryOf(2, 1), 1);
}

const std::string kPassedOver =
    "p/b.jpg: passed over: cannot be read (Permission denied) [shooting date found: 2012:05:03 13:45:12]\n"
    "p/locked: cannot list this folder (Permission denied)\n";

RunPrinter::Setup terminalSetup(Clock::time_point* now)
{
    RunPrinter::Setup setup;
    setup.progress = true;
    setup.columns = 40;
    setup.clock = [now] { return *now; };
    return setup;
}

struct OutputRow {
    std::string name;
    Verbosity verbosity;
    bool dryRun;
    std::string out;
    bool terminal = false; // stderr is one: a progress line may be drawn
};

// Names the row in failure messages instead of dumping its bytes.
void PrintTo(const OutputRow& row, std::ostream* os)
{
    *os << row.name;
}

class PrinterOutput : public testing::TestWithParam<OutputRow> {};

TEST_P(PrinterOutput, PutsEachLineOnItsStream)
{
    const OutputRow& row = GetParam();
    Fixture f;
    RunPrinter::Setup setup = row.terminal ? terminalSetup(&f.now) : RunPrinter::Setup{};
    setup.verbosity = row.verbosity;
    setup.dryRun = row.dryRun;
    RunPrinter printer(f.out.file(), f.err.file(), setup);
    playRun(printer, row.dryRun);
    EXPECT_EQ(f.out.text(), row.out);
    EXPECT_EQ(f.err.text(), kPassedOver) << "problems are shown at every verbosity";
}

INSTANTIATE_TEST_SUITE_P(Table, PrinterOutput,
                         testing::Values(OutputRow{"Normal", Verbosity::Normal, false, "2 rewritten, 1 passed over\n"},
                                         OutputRow{"Verbose", Verbosity::Verbose, false,
                                                   "p/a.jpg: rewritten: 2012:05:03 13:45:12 -> 2020:01:01 00:00:00\n"
                                                   "p/c.jpg: rewritten: 2012:05:03 13:45:12 -> 2020:01:01 00:00:00\n"
                                                   "2 rewritten, 1 passed over\n"},
                                         OutputRow{"Quiet", Verbosity::Quiet, false, ""},
                                         OutputRow{
                                             "DryRunListsEveryFile", Verbosity::Normal, true,
                                             "p/a.jpg: would be rewritten: 2012:05:03 13:45:12 -> 2020:01:01 00:00:00\n"
                                             "p/c.jpg: would be rewritten: 2012:05:03 13:45:12 -> 2020:01:01 00:00:00\n"
                                             "2 would be rewritten, 1 passed over\n"},
                                         OutputRow{"QuietDryRun", Verbosity::Quiet, true, ""},
                                         OutputRow{"QuietNeverDrawsOnATerminal", Verbosity::Quiet, false, "", true}),
                         [](const auto& info) { return info.param.name; });

// With --json, stdout is for a parser: the records and nothing else, even
// in a dry run or with -v; the text lines move to stderr.
TEST(RunPrinter, JsonKeepsStdoutForRecords)
{
    for (const Verbosity verbosity : {Verbosity::Normal, Verbosity::Verbose}) {
        Fixture f;
        RunPrinter::Setup setup;
        setup.verbosity = verbosity;
        setup.dryRun = true;
        setup.json = true;
        RunPrinter printer(f.out.file(), f.err.file(), setup);
        playRun(printer, true);
        const std::string out = f.out.text();
        std::vector<std::string> types;
        for (std::size_t at = 0; at < out.size(); at = out.find('\n', at) + 1) {
            ASSERT_EQ(out[at], '{') << out;
            const auto type = out.find("\"type\":\"", at) + 8;
            types.push_back(out.substr(type, out.find('"', type) - type));
        }
        EXPECT_EQ(types, (std::vector<std::string>{"file", "file", "folder", "file", "summary"})) << out;
        const std::string err = f.err.text();
        EXPECT_TRUE(err.starts_with(verbosity == Verbosity::Verbose ? "p/a.jpg: would be rewritten: " : kPassedOver))
            << err;
        EXPECT_TRUE(err.ends_with("2 would be rewritten, 1 passed over\n")) << err;
    }
}

TEST(RunPrinter, SaysWhenStoppedAndStillSummarises)
{
    Fixture f;
    RunPrinter printer(f.out.file(), f.err.file(), {});
    printer.finish(summaryOf(4, 0, true), 130);
    EXPECT_EQ(f.out.text(), "4 rewritten, 0 passed over\n");
    EXPECT_NE(f.err.text().find("stopped"), std::string::npos);
}

TEST(RunPrinterProgress, OverwritesOneLineAndClearsItBeforeOtherOutput)
{
    Fixture f;
    RunPrinter printer(f.out.file(), f.err.file(), terminalSetup(&f.now));
    printer.targetsListed(2);
    printer.fileDone(fileReport(1, "p/a.jpg", Reason::Rewritten));
    f.now += 200ms;
    printer.fileDone(fileReport(2, "p/b.jpg", Reason::NoExif));
    printer.finish(summaryOf(1, 1), 1);
    EXPECT_EQ(f.err.text(),
              "\r[1/2] a.jpg\033[K"
              "\r\033[K"
              "p/b.jpg: passed over: no EXIF data [shooting date found: 2012:05:03 13:45:12]\n"
              "\r[2/2] b.jpg\033[K"
              "\r\033[K");
    EXPECT_EQ(f.out.text(), "1 rewritten, 1 passed over\n");
}

TEST(RunPrinterProgress, ShowsThePaceOnceASecondHasPassed)
{
    Fixture f;
    RunPrinter::Setup setup = terminalSetup(&f.now);
    setup.columns = 80;
    RunPrinter printer(f.out.file(), f.err.file(), setup);
    printer.targetsListed(10);
    f.now += 2s;
    printer.fileDone(fileReport(4, "p/d.jpg", Reason::Rewritten));
    printer.finish(summaryOf(4, 0), 0);
    EXPECT_EQ(f.err.text(), "\r[4/10] 2.0 files/s, 0:03 left d.jpg\033[K\r\033[K");
}

TEST(RunPrinterProgress, CoalescesQuickUpdates)
{
    Fixture f;
    RunPrinter printer(f.out.file(), f.err.file(), terminalSetup(&f.now));
    printer.targetsListed(1000);
    for (std::size_t i = 1; i <= 1000; ++i) {
        printer.fileDone(fileReport(i, "p/x.jpg", Reason::Rewritten));
        f.now += 1ms; // a whole second for 1000 files
    }
    const std::string err = f.err.text();
    std::size_t draws = 0;
    for (std::size_t at = err.find("\r["); at != std::string::npos; at = err.find("\r[", at + 1))
        ++draws;
    EXPECT_EQ(draws, 10u);
}

} // namespace
} // namespace shotdate::cli
