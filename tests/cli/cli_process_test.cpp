// The built shotdate-cli run as a user runs it: real files in a temporary
// folder, exit status, stdout and stderr, and the dates read back with
// exiftool.

#include "child_process.h"
#include "file_bytes.h"
#include "needed_tools.h"
#include "table_row.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

namespace shotdate::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using fixtures::TempFolder;
using shotdate::PrintTo; // for the rows below, found by gtest through their namespace

const std::string kCli = SHOTDATE_CLI_PATH;
const std::string kOldDate = "2012:05:03 13:45:12";

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> all;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        all.push_back(line);
    return all;
}

std::string lastLine(const std::string& text)
{
    const std::vector<std::string> all = lines(text);
    return all.empty() ? "" : all.back();
}

// A 16x16 JPEG whose DateTimeOriginal and DateTimeDigitized hold `date`
// (exiftool's CreateDate: its "DateTimeDigitized" is an XMP tag).
bool makeJpeg(const std::string& path, const std::string& date)
{
    return runProcess("convert", {"-size", "16x16", "xc:red", path}).exitCode == 0
        && runProcess(
               "exiftool",
               {"-q", "-overwrite_original", "-ExifIFD:DateTimeOriginal=" + date, "-ExifIFD:CreateDate=" + date, path})
               .exitCode
        == 0;
}

// Both EXIF dates as exiftool reads them back; a missing one is left out.
std::vector<std::string> readDates(const std::string& path)
{
    return lines(runProcess("exiftool", {"-s3", "-ExifIFD:DateTimeOriginal", "-ExifIFD:CreateDate", path}).out);
}

// Every entry below `folder` (hidden ones too) with its bytes and
// modification time.
std::map<fs::path, std::pair<fixtures::Bytes, fs::file_time_type>> snapshot(const std::string& folder)
{
    std::map<fs::path, std::pair<fixtures::Bytes, fs::file_time_type>> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        entries[entry.path()] = {entry.is_regular_file() ? fixtures::readBytes(entry.path()) : fixtures::Bytes{},
                                 entry.last_write_time()};
    return entries;
}

std::string describe(const ProcessResult& r)
{
    return "exit " + std::to_string(r.exitCode) + (r.termSignal ? " signal " + std::to_string(r.termSignal) : "")
        + (r.timedOut ? " (timed out)" : "") + "\n--- stdout:\n" + r.out + "--- stderr:\n" + r.err;
}

// One dated JPEG, made once per test program and copied for each test:
// ImageMagick and exiftool cost a good part of a second per file.
struct Templates {
    TempFolder folder;
    std::string skipReason = fixtures::missingToolsReason({"convert", "exiftool"});
    Templates()
    {
        if (skipReason.empty() && !makeJpeg(folder / "dated.jpg", kOldDate))
            skipReason = "could not make the fixture JPEGs with convert and exiftool";
    }
};

// Each test keeps its run journals in its own folder, so that one test's
// runs never show up in another's ("already shifted these files").
class CliProcess : public testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("XDG_STATE_HOME", (work_ / "state").c_str(), 1); // the child inherits it
        if (!templates().skipReason.empty())
            GTEST_SKIP() << templates().skipReason;
    }

    static const Templates& templates()
    {
        static const Templates made;
        return made;
    }

    // `relative` below the test's folder: "x=text" a text posing as a
    // JPEG, else the dated JPEG.
    std::string add(const std::string& relative)
    {
        const bool text = relative.ends_with("=text");
        const fs::path target = work_ / relative.substr(0, relative.find('='));
        fs::create_directories(target.parent_path());
        if (text)
            std::ofstream(target) << "this is not a photo\n";
        else
            fs::copy_file(templates().folder / "dated.jpg", target);
        return target;
    }

    // "WORK/" in a row stands for the test's folder.
    std::string inWork(std::string text) const
    {
        for (auto at = text.find("WORK/"); at != std::string::npos; at = text.find("WORK/", at))
            text.replace(at, 4, work_.path());
        return text;
    }

    std::string photos() const { return work_ / "photos"; }

    ProcessResult runCli(const std::vector<std::string>& args)
    {
        std::vector<std::string> expanded;
        for (const std::string& arg : args)
            expanded.push_back(inWork(arg));
        return runProcess(kCli, expanded);
    }

    TempFolder work_;
};

// One run: the files laid out, the command line, and all it must give.
struct RunRow {
    std::string name;
    std::vector<std::string> files; // as CliProcess::add takes them
    std::vector<std::string> args;
    int exitCode;
    std::string lastOut; // the last line of stdout; "": stdout empty
    std::vector<std::string> out; // parts stdout must hold
    std::vector<std::string> err; // parts stderr must hold; "": stderr empty
    std::map<std::string, std::string> dates = {}; // both EXIF dates of files below WORK/ afterwards
    bool untouched = false; // every entry below WORK/ keeps its bytes and times
};

class CliRun : public CliProcess, public testing::WithParamInterface<RunRow> {};

TEST_P(CliRun, GivesTheExpectedOutcome)
{
    const RunRow& row = GetParam();
    for (const std::string& file : row.files)
        add(file);
    const auto before = snapshot(work_.path());
    const ProcessResult r = runCli(row.args);

    EXPECT_EQ(r.exitCode, row.exitCode) << describe(r);
    EXPECT_EQ(lastLine(r.out), inWork(row.lastOut)) << describe(r);
    EXPECT_TRUE(!row.lastOut.empty() || r.out.empty()) << describe(r);
    const bool json = std::ranges::find(row.args, "--json") != row.args.end();
    for (const std::string& line : lines(r.out))
        EXPECT_TRUE(!json || line.starts_with("{\"type\":")) << "not a record: " << line;
    for (const std::string& part : row.out)
        EXPECT_NE(r.out.find(inWork(part)), std::string::npos) << part << "\n" << describe(r);
    for (const std::string& part : row.err) {
        EXPECT_TRUE(!part.empty() || r.err.empty()) << "no progress line when stderr is not a terminal\n" << r.err;
        EXPECT_NE(r.err.find(inWork(part)), std::string::npos) << part << "\n" << describe(r);
    }
    for (const auto& [path, date] : row.dates)
        EXPECT_EQ(readDates(work_ / path), std::vector<std::string>(2, date)) << path;
    EXPECT_TRUE(!row.untouched || snapshot(work_.path()) == before) << "something below the folder was written";
}

// Each date mode's arithmetic, every kind of entry, numbered names and a
// file named twice are the engine's tests; here, one run per kind of path
// through main: what it prints where, and its exit status.
// clang-format off
const RunRow kRuns[] = {
    // Without -r the photo in the subfolder keeps its date.
    {"Set", {"photos/a.jpg", "photos/b.jpg", "photos/sub/deep.jpg"}, {"--set", "2020-01-02 03:04:05", "WORK/photos"}, 0,
     "2 rewritten, 0 passed over", {}, {""},
     {{"photos/a.jpg", "2020:01:02 03:04:05"}, {"photos/b.jpg", "2020:01:02 03:04:05"}, {"photos/sub/deep.jpg", kOldDate}}},
    // Folders' times included: a temporary file made and removed would change them.
    {"DryRunShowsOldAndNewDatesAndWritesNothing", {"photos/a.jpg", "photos/b.jpg", "photos/fake.jpg=text"},
     {"-n", "--shift", "+01:00:00", "WORK/photos"}, 1, "2 would be rewritten, 1 passed over",
     {"WORK/photos/a.jpg: would be rewritten: 2012:05:03 13:45:12 -> 2012:05:03 14:45:12\n",
      "WORK/photos/b.jpg: would be rewritten: 2012:05:03 13:45:12 -> 2012:05:03 14:45:12\n"}, {}, {}, true},
    // A script reads stdout line by line and must find every file again by
    // what it is told; the text reports go to stderr.
    {"JsonGivesOneRecordPerFileAndASummaryOnStdoutOnly", {"photos/good.jpg", "photos/fake.jpg=text"},
     {"--json", "-v", "--shift", "+01:00:00", "WORK/photos"}, 1,
     R"({"type":"summary","dry_run":false,"rewritten":1,"passed_over":1,"unlisted_folders":0,"stopped":false,"exit":1})",
     {R"({"type":"file","path":"WORK/photos/fake.jpg","outcome":"passed-over","reason":"not-an-image","errno":null,"output":null,)",
      R"({"type":"file","path":"WORK/photos/good.jpg","outcome":"rewritten","reason":"rewritten","errno":null,"output":"WORK/photos/good.jpg",)"},
     {"WORK/photos/fake.jpg: passed over: not an image", "WORK/photos/good.jpg: rewritten: ", "1 rewritten, 1 passed over\n"}},
    // Usage errors, from the parser and from the settings check: exit 2,
    // nothing on stdout, nothing touched.
    {"UnknownOption", {"photos/a.jpg"}, {"--set-date", "2019-12-31", "--fast", "WORK/photos"}, 2, "", {},
     {"Try 'shotdate-cli --help'"}, {}, true},
    {"OutputNotAFolder", {"photos/a.jpg", "not-a-folder=text"},
     {"--set-date", "2019-12-31", "-o", "WORK/not-a-folder", "WORK/photos"}, 2, "", {}, {"is not a folder"}, {}, true},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, CliRun, testing::ValuesIn(kRuns), kRowName);

// Two shifts by mistake, listed, then undone from the journal (kept in the
// test's folder) one after the other, the second by its id, and forgotten.
// What an undo restores is the journal's test.
TEST_F(CliProcess, UndoesRunsFromTheJournalListsAndForgetsThem)
{
    const std::string photo = add("photos/a.jpg");
    const fixtures::Bytes original = fixtures::readBytes(photo);
    // No journal to be had: the run goes on and says so once.
    std::ofstream(work_ / "state") << "not a folder";
    ProcessResult r = runCli({"--shift", "+00:00:00", photos()});
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.err.find("cannot be undone"), r.err.rfind("cannot be undone")) << describe(r);
    EXPECT_NE(r.err.find("journal cannot be written"), std::string::npos) << describe(r);
    fs::remove(work_ / "state");
    r = runCli({"--shift", "+01:00:00", photos()});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.err.find("already shifted"), std::string::npos) << describe(r);
    const fixtures::Bytes shiftedOnce = fixtures::readBytes(photo);
    r = runCli({"--shift", "+01:00:00", photos()});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_NE(r.err.find("already shifted these files by +01:00:00"), std::string::npos) << describe(r);

    r = runCli({"--undo"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(fixtures::readBytes(photo), shiftedOnce);
    r = runCli({"--runs"});
    const std::vector<std::string> runs = lines(r.out);
    ASSERT_EQ(runs.size(), 3u) << describe(r);
    EXPECT_NE(runs[0].find(photos()), std::string::npos) << r.out;
    EXPECT_NE(runs[1].find("--shift +01:00:00  1 rewritten  undone by"), std::string::npos) << r.out;
    EXPECT_NE(runs[2].find("--undo "), std::string::npos) << r.out;

    const std::string firstId = runs[0].substr(0, runs[0].find(' '));
    r = runCli({"--undo", "-q", firstId});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(fixtures::readBytes(photo), original);
    r = runCli({"--undo"});
    EXPECT_EQ(r.exitCode, 2) << describe(r);
    EXPECT_NE(r.err.find("no run to undo"), std::string::npos) << describe(r);
    EXPECT_EQ(runCli({"--forget", firstId}).exitCode, 0);
    EXPECT_EQ(runCli({"--forget", firstId}).exitCode, 2) << "forgotten, the run is gone";
}

TEST(CliInfo, VersionExitsZero)
{
    const ProcessResult r = runProcess(kCli, {"--version"});
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_TRUE(std::regex_match(r.out, std::regex("shotdate-cli [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << r.out;
}

// On a terminal, with the progress line on stderr.
TEST_F(CliProcess, CtrlCStopsAfterTheCurrentFileAndSummarises)
{
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "photos/p%03d.jpg", i);
        add(name);
    }
    ChildProcess child(kCli, {"-v", "--set", "2020-01-02 03:04:05", photos()}, true);
    ASSERT_TRUE(child.started());
    if (!child.waitForStdoutLine(60s))
        GTEST_SKIP() << "no file was reported within a minute; too slow a machine for this test";
    child.sendSignal(SIGINT);
    const ProcessResult r = child.finish();
    ASSERT_FALSE(r.timedOut) << describe(r);
    // A terminal gets the progress line; how it is drawn and wiped is the
    // printer's test.
    EXPECT_NE(r.err.find("\r[1/300] p000.jpg\033[K"), std::string::npos) << describe(r);
    if (r.exitCode == 0)
        GTEST_SKIP() << "all " << kFiles << " files were done before the signal arrived";

    EXPECT_EQ(r.exitCode, 130) << describe(r);
    std::smatch match;
    const std::string summary = lastLine(r.out);
    ASSERT_TRUE(std::regex_match(summary, match, std::regex("([0-9]+) rewritten, 0 passed over"))) << describe(r);
    const int rewritten = std::stoi(match[1]);
    EXPECT_GE(rewritten, 1);
    EXPECT_LT(rewritten, kFiles);
    EXPECT_NE(r.err.find("stopped"), std::string::npos) << describe(r);
    // No file lost and no temporary file left behind; that the count is the
    // files rewritten is the window's stop test, on the same engine.
    EXPECT_EQ(snapshot(photos()).size(), std::size_t(kFiles));
}

} // namespace
} // namespace shotdate::test
