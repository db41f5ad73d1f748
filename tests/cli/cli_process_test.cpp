// The built shotdate-cli run as a user runs it: real files in a temporary
// folder, exit status, stdout and stderr, and the dates read back with
// exiftool.

#include "child_process.h"
#include "file_bytes.h"
#include "needed_tools.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <regex>
#include <sstream>

namespace shotdate::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using fixtures::TempFolder;

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

// A 16x16 JPEG; with a date, exiftool gives it DateTimeOriginal and
// DateTimeDigitized (exiftool's CreateDate: its "DateTimeDigitized" is an
// XMP tag, which would leave the EXIF field out).
bool makeJpeg(const std::string& path, const std::string& exifDate = {})
{
    return runProcess("convert", {"-size", "16x16", "xc:red", path}).exitCode == 0
        && (exifDate.empty()
            || runProcess("exiftool",
                          {"-q", "-overwrite_original", "-ExifIFD:DateTimeOriginal=" + exifDate,
                           "-ExifIFD:CreateDate=" + exifDate, path})
                    .exitCode
                == 0);
}

// Both EXIF dates as exiftool reads them back; a missing one is left out.
std::vector<std::string> readDates(const std::string& path)
{
    return lines(runProcess("exiftool", {"-s3", "-ExifIFD:DateTimeOriginal", "-ExifIFD:CreateDate", path}).out);
}

// What readDates gives when DateTimeOriginal and DateTimeDigitized both hold `date`.
std::vector<std::string> bothDates(const std::string& date)
{
    return {date, date};
}

void writeTextFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// What a file looks like from outside: bytes and modification time.
struct FileState {
    std::string bytes;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileState&) const = default;
};

// Every entry below `folder` (hidden ones too) by relative path.
std::map<std::string, FileState> snapshot(const std::string& folder)
{
    std::map<std::string, FileState> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        FileState state;
        struct stat info {};
        if (lstat(entry.path().c_str(), &info) == 0)
            state.mtimeNs = std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            state.bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        files[fs::relative(entry.path(), folder).string()] = std::move(state);
    }
    return files;
}

std::string base64Decoded(const std::string& text)
{
    static const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned bits = 0, count = 0;
    for (const char c : text) {
        if (c == '=')
            break;
        bits = (bits << 6) | unsigned(digits.find(c));
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += char((bits >> count) & 0xff);
        }
    }
    return bytes;
}

// A record's path below `work` as the bytes it stands for, a name that is
// not UTF-8 included; "-" for none.
std::string recordPath(const nlohmann::json& record, const std::string& key, const std::string& work)
{
    if (record[key].is_null())
        return "-";
    const std::string path =
        record.contains(key + "_base64") ? base64Decoded(record[key + "_base64"]) : record[key].get<std::string>();
    return path.substr(work.size());
}

std::string describe(const ProcessResult& r)
{
    return "exit " + std::to_string(r.exitCode) + (r.termSignal ? " signal " + std::to_string(r.termSignal) : "")
        + (r.timedOut ? " (timed out)" : "") + "\n--- stdout:\n" + r.out + "--- stderr:\n" + r.err;
}

// One dated JPEG and one without EXIF, made once per test program and
// copied for each test: ImageMagick and exiftool cost a good part of a
// second per file.
struct Templates {
    TempFolder folder;
    std::string skipReason = fixtures::missingToolsReason({"convert", "exiftool"});
    Templates()
    {
        if (skipReason.empty() && !(makeJpeg(folder / "dated.jpg", kOldDate) && makeJpeg(folder / "plain.jpg")))
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

    // `relative` below the test's folder: "x/" a folder, "x=text" a text
    // posing as a JPEG, "x=plain" a JPEG without EXIF, "x=fifo" a named pipe,
    // "x=dangling" a link to nothing, else the dated JPEG.
    std::string add(const std::string& relative)
    {
        const auto at = relative.find('=');
        const std::string kind = at == std::string::npos ? "" : relative.substr(at + 1);
        const fs::path target = work_ / relative.substr(0, at);
        fs::create_directories(relative.ends_with('/') ? target : target.parent_path());
        if (relative.ends_with('/'))
            return target;
        if (kind.empty() || kind == "plain")
            fs::copy_file(templates().folder / (kind.empty() ? "dated.jpg" : "plain.jpg"), target);
        else if (kind == "text")
            writeTextFile(target, "this is not a photo\n");
        else if (kind == "fifo")
            EXPECT_EQ(mkfifo(target.c_str(), 0600), 0);
        else if (kind == "dangling")
            fs::create_symlink("nowhere.jpg", target);
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
    // The last line of stdout; "" for an empty stdout. With --json, the
    // file records instead, one "path reason output" each, below WORK/.
    std::string summary;
    std::vector<std::string> out; // parts stdout must hold
    std::vector<std::string> err; // parts stderr must hold; "": stderr empty
    std::map<std::string, std::string> dates = {}; // both EXIF dates of files below WORK/ afterwards
    std::vector<std::string> unchanged = {}; // below WORK/: bytes and times as they were ("" the whole folder)
    std::vector<std::string> records = {};
};

void PrintTo(const RunRow& row, std::ostream* os)
{
    *os << row.name;
}

class CliRun : public CliProcess, public testing::WithParamInterface<RunRow> {};

TEST_P(CliRun, GivesTheExpectedOutcome)
{
    const RunRow& row = GetParam();
    for (const std::string& file : row.files)
        add(file);
    const auto before = row.unchanged.empty() ? std::map<std::string, FileState>() : snapshot(work_.path());
    const ProcessResult r = runCli(row.args);

    EXPECT_EQ(r.exitCode, row.exitCode) << describe(r);
    if (row.records.empty()) {
        EXPECT_EQ(lastLine(r.out), row.summary) << describe(r);
        EXPECT_TRUE(!row.summary.empty() || r.out.empty()) << describe(r);
    } else {
        std::vector<std::string> records;
        std::vector<nlohmann::json> summaries;
        const std::string work = work_.path() + "/";
        for (const std::string& line : lines(r.out)) {
            nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
            ASSERT_TRUE(record.is_object()) << "not a JSON object: " << line;
            if (record["type"] == "summary")
                summaries.push_back(record);
            else
                records.push_back(recordPath(record, "path", work) + " " + record["reason"].get<std::string>() + " "
                                  + recordPath(record, "output", work));
        }
        EXPECT_EQ(records, row.records) << describe(r);
        ASSERT_EQ(summaries.size(), 1u) << describe(r);
        EXPECT_NE(lastLine(r.out).find("\"type\":\"summary\""), std::string::npos) << "the summary comes last";
        EXPECT_EQ(summaries[0]["exit"], row.exitCode);
    }
    for (const std::string& part : row.out)
        EXPECT_NE(r.out.find(inWork(part)), std::string::npos) << part << "\n" << describe(r);
    for (const std::string& part : row.err) {
        EXPECT_TRUE(!part.empty() || r.err.empty()) << "no progress line when stderr is not a terminal\n" << r.err;
        EXPECT_NE(r.err.find(inWork(part)), std::string::npos) << part << "\n" << describe(r);
    }
    for (const auto& [path, date] : row.dates)
        EXPECT_EQ(readDates(work_ / path), bothDates(date)) << path;
    const auto after = snapshot(work_.path());
    for (const std::string& path : row.unchanged)
        EXPECT_TRUE(path.empty() ? after == before : after.at(path) == before.at(path)) << path;
}

const std::string kShifted = "2012:05:03 14:45:12";

// One row a line or two, so that the rows read as a table.
// clang-format off
const RunRow kRuns[] = {
    // The date modes, in place.
    {"Set", {"photos/a.jpg", "photos/b.jpg"}, {"--set", "2020-01-02 03:04:05", "WORK/photos"}, 0,
     "2 rewritten, 0 passed over", {}, {""}, {{"photos/a.jpg", "2020:01:02 03:04:05"}, {"photos/b.jpg", "2020:01:02 03:04:05"}}},
    {"SetDateKeepsTime", {"photos/a.jpg"}, {"--set-date=2019-12-31", "WORK/photos"}, 0, "1 rewritten, 0 passed over",
     {}, {""}, {{"photos/a.jpg", "2019:12:31 13:45:12"}}},
    {"SetTimeKeepsDate", {"photos/a.jpg"}, {"--set-time", "08:09:10", "WORK/photos"}, 0, "1 rewritten, 0 passed over",
     {}, {""}, {{"photos/a.jpg", "2012:05:03 08:09:10"}}},
    {"ShiftAcrossMidnight", {"photos/a.jpg"}, {"--shift", "1:10:14:48", "WORK/photos"}, 0,
     "1 rewritten, 0 passed over", {}, {""}, {{"photos/a.jpg", "2012:05:05 00:00:00"}}},
    {"ShiftAndZoneDoBoth", {"photos/a.jpg"}, {"--shift", "+01:00:00", "--zone", "+09:00", "--all-dates", "WORK/photos"},
     0, "1 rewritten, 0 passed over", {}, {""}, {{"photos/a.jpg", kShifted}}},
    // 366 days back from 3 May 2012 crosses 29 February 2012.
    {"ShiftBackAYearOverLeapDay", {"photos/a.jpg"}, {"--shift", "-366:00:00:00", "WORK/photos"}, 0,
     "1 rewritten, 0 passed over", {}, {""}, {{"photos/a.jpg", "2011:05:03 13:45:12"}}},
    // What is printed where, and what is left alone.
    {"PassesOverNonPhotosWithReasonsAndExitOne", {"photos/good.jpg", "photos/fake.jpg=text", "photos/plain.jpg=plain"},
     {"WORK/photos", "--set-date", "2019-12-31"}, 1, "1 rewritten, 2 passed over", {},
     {"WORK/photos/fake.jpg: passed over: not an image", "WORK/photos/plain.jpg: passed over: "},
     {{"photos/good.jpg", "2019:12:31 13:45:12"}}, {"photos/fake.jpg", "photos/plain.jpg"}},
    // Folders' times included: a temporary file made and removed would change them.
    {"DryRunShowsOldAndNewDatesAndWritesNothing", {"photos/a.jpg", "photos/b.jpg", "photos/fake.jpg=text"},
     {"-n", "--shift", "+01:00:00", "WORK/photos"}, 1, "2 would be rewritten, 1 passed over",
     {"WORK/photos/a.jpg: would be rewritten: 2012:05:03 13:45:12 -> 2012:05:03 14:45:12\n",
      "WORK/photos/b.jpg: would be rewritten: 2012:05:03 13:45:12 -> 2012:05:03 14:45:12\n"}, {}, {}, {""}},
    {"VerboseShowsEveryOutcomeWithDates", {"photos/a.jpg", "photos/fake.jpg=text"},
     {"--verbose", "--set", "2001-02-03 04:05:06", "WORK/photos"}, 1, "1 rewritten, 1 passed over",
     {"WORK/photos/a.jpg: rewritten: 2012:05:03 13:45:12 -> 2001:02:03 04:05:06\n"}, {"WORK/photos/fake.jpg: passed over: "}},
    // A newline in a name must not split its report in two.
    {"SpecialEntriesArePassedOverWithoutHanging", {"photos/写真.jpg", "photos/pipe.jpg=fifo",
      "photos/dangling.jpg=dangling", "photos/two\nlines.jpg=text"}, {"-v", "--set-date", "2019-12-31", "WORK/photos"}, 1,
     "1 rewritten, 3 passed over", {"WORK/photos/写真.jpg: rewritten: "}, {"WORK/photos/pipe.jpg: passed over: not a regular file\n",
      "WORK/photos/dangling.jpg: passed over: a symbolic link to nothing\n", "WORK/photos/two\\nlines.jpg: passed over: "},
     {{"photos/写真.jpg", "2019:12:31 13:45:12"}}},
    {"QuietPrintsNothingWhenAllGoesWell", {"photos/a.jpg"}, {"-q", "--set-time", "00:00:01", "WORK/photos"}, 0, "",
     {}, {""}, {{"photos/a.jpg", "2012:05:03 00:00:01"}}},
    {"OutputFolderGetsTheNewFilesAndOriginalsStay", {"photos/a.jpg", "out/"},
     {"--set", "2020-01-02 03:04:05", "-o", "WORK/out", "WORK/photos"}, 0, "1 rewritten, 0 passed over", {}, {""},
     {{"out/a.jpg", "2020:01:02 03:04:05"}}, {"photos/a.jpg"}},
    {"OneFileAsPath", {"photos/a.jpg", "photos/b.jpg"}, {"WORK/photos/a.jpg", "--set-date", "1999-12-31"}, 0,
     "1 rewritten, 0 passed over", {}, {""}, {{"photos/a.jpg", "1999:12:31 13:45:12"}, {"photos/b.jpg", kOldDate}}},
    {"SubfoldersLeftWithoutRecursive", {"photos/a.jpg", "photos/sub/deep.jpg"},
     {"--set-date", "1999-12-31", "WORK/photos"}, 0, "1 rewritten, 0 passed over", {}, {""}, {{"photos/sub/deep.jpg", kOldDate}}},
    {"SubfoldersOnlyWithRecursive", {"photos/a.jpg", "photos/sub/deep.jpg"},
     {"-r", "--set-date", "1999-12-30", "WORK/photos"}, 0, "2 rewritten, 0 passed over", {}, {""},
     {{"photos/sub/deep.jpg", "1999:12:30 13:45:12"}}},
    // Several PATHs, as a shell gives IMG_*.JPG: one run, one summary, and
    // the JSON records of every file of every PATH.
    {"ShellExpandedFiles", {"photos/a.jpg", "photos/b.jpg", "other/a.jpg"},
     {"--json", "--shift", "+01:00:00", "WORK/photos/a.jpg", "WORK/photos/b.jpg"}, 0, "", {}, {},
     {{"photos/a.jpg", kShifted}, {"photos/b.jpg", kShifted}, {"other/a.jpg", kOldDate}}, {},
     {"photos/a.jpg rewritten photos/a.jpg", "photos/b.jpg rewritten photos/b.jpg"}},
    // In place, a photo named again (alone, inside a folder, or spelled
    // another way) keeps the date it got the first time.
    {"NamedTwiceMovesOnce", {"photos/a.jpg", "photos/b.jpg", "other/"},
     {"--json", "--shift", "+01:00:00", "WORK/photos/a.jpg", "WORK/photos", "WORK/other/../photos/a.jpg"}, 1, "", {}, {},
     {{"photos/a.jpg", kShifted}, {"photos/b.jpg", kShifted}}, {},
     {"photos/a.jpg rewritten photos/a.jpg", "photos/a.jpg same-file-twice -", "photos/b.jpg rewritten photos/b.jpg",
      "other/../photos/a.jpg same-file-twice -"}},
    // Into one folder, same names from different PATHs get numbered names, never replace each other.
    {"SameNamesIntoOneOutput", {"photos/a.jpg", "photos/b.jpg", "other/a.jpg", "out/"},
     {"--json", "--shift", "+01:00:00", "-o", "WORK/out", "WORK/photos", "WORK/other/a.jpg"}, 0, "", {}, {},
     {{"out/a.jpg", kShifted}, {"out/a (2).jpg", kShifted}, {"photos/a.jpg", kOldDate}, {"other/a.jpg", kOldDate}}, {},
     {"photos/a.jpg rewritten out/a.jpg", "photos/b.jpg rewritten out/b.jpg", "other/a.jpg rewritten out/a (2).jpg"}},
    // A script reads stdout line by line and must find every file again by
    // what it is told, a name that is not UTF-8 included; the text reports
    // go to stderr, where they do not disturb a parser.
    {"JsonGivesOneRecordPerFileAndASummaryOnStdoutOnly", {"photos/good.jpg", "photos/caf\xe9.jpg", "photos/fake.jpg=text"},
     {"--json", "-v", "--shift", "+01:00:00", "WORK/photos"}, 1, "", {},
     {"WORK/photos/fake.jpg: passed over: not an image", "WORK/photos/good.jpg: rewritten: ", "2 rewritten, 1 passed over\n"},
     {{"photos/good.jpg", kShifted}, {"photos/caf\xe9.jpg", kShifted}}, {},
     {"photos/caf\xe9.jpg rewritten photos/caf\xe9.jpg", "photos/fake.jpg not-an-image -", "photos/good.jpg rewritten photos/good.jpg"}},
    // Usage errors: exit 2, nothing on stdout, nothing touched. How each
    // wrong option reads is the parser's own test; here, that main passes it on.
    {"UnknownOption", {"photos/a.jpg"}, {"--set-date", "2019-12-31", "--fast", "WORK/photos"}, 2, "", {},
     {"Try 'shotdate-cli --help'"}, {}, {""}},
    {"SecondPathMissing", {"photos/a.jpg"}, {"--set-date", "2019-12-31", "WORK/photos", "WORK/nothing"}, 2, "", {},
     {"nothing': no such file or folder"}, {}, {""}},
    {"InputMissing", {"photos/a.jpg"}, {"--set-date", "2019-12-31", "WORK/nothing"}, 2, "", {},
     {"no such file or folder"}, {}, {""}},
    {"OutputMissing", {"photos/a.jpg"}, {"--set-date", "2019-12-31", "-o", "WORK/missing", "WORK/photos"}, 2, "", {},
     {"does not exist"}, {}, {""}},
    {"OutputNotAFolder", {"photos/a.jpg", "not-a-folder=text"},
     {"--set-date", "2019-12-31", "-o", "WORK/not-a-folder", "WORK/photos"}, 2, "", {}, {"is not a folder"}, {}, {""}},
    {"UndoWithDate", {"photos/a.jpg"}, {"--undo", "--set-date", "2019-12-31"}, 2, "", {}, {"takes no new date"}, {}, {""}},
    {"ForgetWhichRun", {"photos/a.jpg"}, {"--forget"}, 2, "", {}, {"--forget needs a run"}, {}, {""}},
    {"RunsAndUndo", {"photos/a.jpg"}, {"--runs", "--undo"}, 2, "", {}, {"only one of --runs"}, {}, {""}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, CliRun, testing::ValuesIn(kRuns), [](const auto& info) { return info.param.name; });

// Two shifts by mistake, then undone one after the other from the journal
// (kept in the test's folder), listed and forgotten.
TEST_F(CliProcess, UndoesRunsFromTheJournalListsAndForgetsThem)
{
    const std::string photo = add("photos/a.jpg");
    const fixtures::Bytes original = fixtures::readBytes(photo);
    // No journal to be had: the run goes on, says so once, and is not listed.
    writeTextFile(work_ / "state", "not a folder");
    ProcessResult r = runCli({"--shift", "+00:00:00", photos()});
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.err.find("cannot be undone"), r.err.rfind("cannot be undone")) << describe(r);
    EXPECT_NE(r.err.find("journal cannot be written"), std::string::npos) << describe(r);
    fs::remove(work_ / "state");
    r = runCli({"--shift", "+01:00:00", photos()});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.err.find("already shifted"), std::string::npos) << describe(r);
    r = runCli({"--shift", "+01:00:00", photos()});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_NE(r.err.find("already shifted these files by +01:00:00"), std::string::npos) << describe(r);
    EXPECT_EQ(readDates(photo), bothDates("2012:05:03 15:45:12"));

    r = runCli({"--undo"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(readDates(photo), bothDates(kShifted));
    r = runCli({"--undo", "-q"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(fixtures::readBytes(photo), original);
    r = runCli({"--undo"});
    EXPECT_EQ(r.exitCode, 2) << describe(r);
    EXPECT_NE(r.err.find("no run to undo"), std::string::npos) << describe(r);

    r = runCli({"--runs"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    const std::vector<std::string> runs = lines(r.out);
    ASSERT_EQ(runs.size(), 4u) << r.out;
    const std::string firstId = runs[0].substr(0, runs[0].find(' '));
    EXPECT_NE(runs[0].find("--shift +01:00:00  1 rewritten  undone by"), std::string::npos) << r.out;
    EXPECT_NE(runs[2].find("--undo "), std::string::npos) << r.out;
    EXPECT_NE(runs[0].find(photos()), std::string::npos) << r.out;

    // The undo of an undo is a redo.
    r = runCli({"--undo", runs[3].substr(0, runs[3].find(' '))});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(readDates(photo), bothDates(kShifted));

    EXPECT_EQ(runCli({"--forget", firstId}).exitCode, 0);
    r = runCli({"--forget", firstId});
    EXPECT_EQ(r.exitCode, 2) << describe(r);
    r = runCli({"--runs"});
    EXPECT_FALSE(r.out.starts_with(firstId) || r.out.find("\n" + firstId) != std::string::npos) << r.out;
}

TEST(CliInfo, HelpAndVersionExitZero)
{
    ProcessResult r = runProcess(kCli, {"--help"});
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_TRUE(r.out.starts_with("Usage: shotdate-cli [options] PATH...\n")) << r.out;
    r = runProcess(kCli, {"--version"});
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
    // The first update is always drawn, and whatever was drawn last is
    // wiped before the program ends.
    EXPECT_NE(r.err.find("\r[1/300] p000.jpg\033[K"), std::string::npos) << describe(r);
    const auto lastDraw = r.err.rfind("\r[");
    ASSERT_NE(lastDraw, std::string::npos);
    EXPECT_NE(r.err.find("\r\033[K", lastDraw), std::string::npos) << describe(r);
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

    // Exactly the files reported are rewritten, the others are untouched,
    // and no temporary file is left behind.
    int newDates = 0, oldDates = 0;
    for (const std::string& date :
         lines(runProcess("exiftool", {"-q", "-T", "-ExifIFD:DateTimeOriginal", photos()}).out)) {
        newDates += date == "2020:01:02 03:04:05" ? 1 : 0;
        oldDates += date == kOldDate ? 1 : 0;
    }
    EXPECT_EQ(newDates, rewritten);
    EXPECT_EQ(oldDates, kFiles - rewritten);
    EXPECT_EQ(snapshot(photos()).size(), std::size_t(kFiles));
}

} // namespace
} // namespace shotdate::test
