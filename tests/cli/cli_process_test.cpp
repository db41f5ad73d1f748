// The built shotdate-cli run as a user runs it: real files in a temporary
// folder, exit status, stdout and stderr, and the dates read back with
// exiftool.

#include "child_process.h"
#include "file_bytes.h"
#include "needed_tools.h"
#include "photo_fixtures.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <ostream>

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

namespace shotdate::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using fixtures::TempFolder;

const std::string kCli = SHOTDATE_CLI_PATH;
const std::string kOldDate = "2012:05:03 13:45:12";

ProcessResult runCli(const std::vector<std::string>& args, const ChildProcess::Options& options = {})
{
    return runProcess(kCli, args, options);
}

std::string lastLine(const std::string& text)
{
    std::string line, last;
    std::stringstream lines(text);
    while (std::getline(lines, line))
        last = line;
    return last;
}

// What readDates gives when DateTimeOriginal and DateTimeDigitized both hold `date`.
std::vector<std::string> bothDates(const std::string& date)
{
    return {date, date};
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

std::string describe(const ProcessResult& r)
{
    return "exit " + std::to_string(r.exitCode) + (r.termSignal ? " signal " + std::to_string(r.termSignal) : "")
        + (r.timedOut ? " (timed out)" : "") + "\n--- stdout:\n" + r.out + "--- stderr:\n" + r.err;
}

// One dated JPEG made once per test program and copied for each test:
// ImageMagick and exiftool cost a good part of a second per file.
class CliProcess : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        skipReason_ = new std::string(fixtures::missingToolsReason(kFixtureTools));
        if (!skipReason_->empty())
            return;
        templates_ = new TempFolder;
        if (!makeJpeg(*templates_ / "dated.jpg", kOldDate) || !makeJpeg(*templates_ / "plain.jpg"))
            *skipReason_ = "could not make the fixture JPEGs with convert and exiftool";
    }

    static void TearDownTestSuite()
    {
        delete templates_;
        templates_ = nullptr;
        delete skipReason_;
        skipReason_ = nullptr;
    }

    void SetUp() override
    {
        if (!skipReason_->empty())
            GTEST_SKIP() << *skipReason_;
    }

    // A copy of the dated JPEG at `relative` below the test's folder.
    std::string addPhoto(const std::string& relative)
    {
        const fs::path target = work_ / relative;
        fs::create_directories(target.parent_path());
        fs::copy_file(*templates_ / "dated.jpg", target);
        return target.string();
    }

    std::string addPhotoWithoutExif(const std::string& relative)
    {
        const fs::path target = work_ / relative;
        fs::copy_file(*templates_ / "plain.jpg", target);
        return target.string();
    }

    std::string addTextPosingAsJpeg(const std::string& relative)
    {
        const std::string path = work_ / relative;
        writeTextFile(path, "this is not a photo\n");
        return path;
    }

    // The photos live in their own folder, so that an output folder can sit beside them.
    std::string photos() const { return work_ / "photos"; }

    TempFolder work_;
    static std::string* skipReason_;
    static TempFolder* templates_;
};

std::string* CliProcess::skipReason_ = nullptr;
TempFolder* CliProcess::templates_ = nullptr;

struct ModeRow {
    std::string name;
    std::vector<std::string> dateArgs;
    std::string expected;
};

// Names the row in failure messages instead of dumping its bytes.
void PrintTo(const ModeRow& row, std::ostream* os)
{
    *os << row.name;
}

class CliModes : public CliProcess, public testing::WithParamInterface<ModeRow> {};

TEST_P(CliModes, WriteBothDatesInPlace)
{
    const std::string a = addPhoto("photos/a.jpg");
    const std::string b = addPhoto("photos/b.jpg");
    std::vector<std::string> args = GetParam().dateArgs;
    args.push_back(photos());
    const ProcessResult r = runCli(args);
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(lastLine(r.out), "2 rewritten, 0 passed over") << describe(r);
    EXPECT_EQ(r.err, "") << "no progress line when stderr is not a terminal";
    EXPECT_EQ(readDates(a), bothDates(GetParam().expected));
    EXPECT_EQ(readDates(b), bothDates(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliModes,
    testing::Values(ModeRow{"Set", {"--set", "2020-01-02 03:04:05"}, "2020:01:02 03:04:05"},
                    ModeRow{"SetDateKeepsTime", {"--set-date=2019-12-31"}, "2019:12:31 13:45:12"},
                    ModeRow{"SetTimeKeepsDate", {"--set-time", "08:09:10"}, "2012:05:03 08:09:10"},
                    ModeRow{"ShiftAcrossMidnight", {"--shift", "1:10:14:48"}, "2012:05:05 00:00:00"},
                    ModeRow{"ShiftAndZoneDoBoth", {"--shift", "+01:00:00", "--zone", "+09:00", "--all-dates"},
                            "2012:05:03 14:45:12"},
                    // 366 days back from 3 May 2012 crosses 29 February 2012.
                    ModeRow{"ShiftBackAYearOverLeapDay", {"--shift", "-366:00:00:00"}, "2011:05:03 13:45:12"}),
    [](const auto& info) { return info.param.name; });

TEST_F(CliProcess, PassesOverNonPhotosWithReasonsAndExitOne)
{
    addPhoto("photos/good.jpg");
    const std::string fake = addTextPosingAsJpeg("photos/fake.jpg");
    const std::string plain = addPhotoWithoutExif("photos/plain.jpg");
    const auto fakeBefore = snapshot(photos()).at("fake.jpg");
    const auto plainBefore = snapshot(photos()).at("plain.jpg");

    const ProcessResult r = runCli({photos(), "--set-date", "2019-12-31"});
    EXPECT_EQ(r.exitCode, 1) << describe(r);
    EXPECT_EQ(lastLine(r.out), "1 rewritten, 2 passed over") << describe(r);
    EXPECT_NE(r.err.find(fake + ": passed over: not an image"), std::string::npos) << describe(r);
    EXPECT_NE(r.err.find(plain + ": passed over: "), std::string::npos) << describe(r);
    EXPECT_EQ(snapshot(photos()).at("fake.jpg"), fakeBefore);
    EXPECT_EQ(snapshot(photos()).at("plain.jpg"), plainBefore);
    EXPECT_EQ(readDates(photos() + "/good.jpg"), bothDates("2019:12:31 13:45:12"));
}

TEST_F(CliProcess, SpecialEntriesArePassedOverWithoutHanging)
{
    addPhoto("photos/写真.jpg");
    ASSERT_EQ(mkfifo((photos() + "/pipe.jpg").c_str(), 0600), 0);
    fs::create_symlink("nowhere.jpg", photos() + "/dangling.jpg");
    writeTextFile(photos() + "/two\nlines.jpg", "x");

    const ProcessResult r = runCli({"-v", "--set-date", "2019-12-31", photos()});
    EXPECT_EQ(r.exitCode, 1) << describe(r);
    EXPECT_NE(r.out.find(photos() + "/写真.jpg: rewritten: "), std::string::npos) << describe(r);
    EXPECT_NE(r.err.find(photos() + "/pipe.jpg: passed over: not a regular file\n"), std::string::npos) << describe(r);
    EXPECT_NE(r.err.find(photos() + "/dangling.jpg: passed over: a symbolic link to nothing\n"), std::string::npos)
        << describe(r);
    // A newline in a name must not split its report in two.
    EXPECT_NE(r.err.find(photos() + "/two\\nlines.jpg: passed over: "), std::string::npos) << describe(r);
    EXPECT_EQ(lastLine(r.out), "1 rewritten, 3 passed over");
}

TEST_F(CliProcess, DryRunShowsOldAndNewDatesAndWritesNothing)
{
    addPhoto("photos/a.jpg");
    addPhoto("photos/b.jpg");
    addTextPosingAsJpeg("photos/fake.jpg");
    const auto before = snapshot(work_.path());

    const ProcessResult r = runCli({"-n", "--shift", "+01:00:00", photos()});
    EXPECT_EQ(r.exitCode, 1) << describe(r);
    EXPECT_NE(r.out.find(photos() + "/a.jpg: would be rewritten: 2012:05:03 13:45:12 -> 2012:05:03 14:45:12\n"),
              std::string::npos)
        << describe(r);
    EXPECT_NE(r.out.find(photos() + "/b.jpg: would be rewritten: 2012:05:03 13:45:12 -> 2012:05:03 14:45:12\n"),
              std::string::npos)
        << describe(r);
    EXPECT_EQ(lastLine(r.out), "2 would be rewritten, 1 passed over") << describe(r);
    // Bytes and modification times of the files, and of the folders (a
    // temporary file made and removed would change those).
    EXPECT_EQ(snapshot(work_.path()), before);
}

// A script reads stdout line by line and must find every file again by
// what it is told, a name that is not UTF-8 included.
TEST_F(CliProcess, JsonGivesOneRecordPerFileAndASummaryOnStdoutOnly)
{
    const std::string good = addPhoto("photos/good.jpg");
    const std::string latin1 = addPhoto("photos/caf\xe9.jpg");
    const std::string fake = addTextPosingAsJpeg("photos/fake.jpg");
    const ProcessResult r = runCli({"--json", "-v", "--shift", "+01:00:00", photos()});
    EXPECT_EQ(r.exitCode, 1) << describe(r);

    std::map<std::string, nlohmann::json> files;
    nlohmann::json last;
    std::stringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        last = nlohmann::json::parse(line, nullptr, false);
        ASSERT_TRUE(last.is_object()) << "not a JSON object: " << line;
        if (last["type"] == "file") {
            std::string path = last["path"];
            if (last.contains("path_base64"))
                path = base64Decoded(last["path_base64"]);
            files[path] = last;
        }
    }
    EXPECT_EQ(last, nlohmann::json::parse(R"({"type":"summary","dry_run":false,"rewritten":2,"passed_over":1,)"
                                          R"("unlisted_folders":0,"stopped":false,"exit":1})"));
    ASSERT_EQ(files.size(), 3u) << describe(r);
    for (const std::string& photo : {good, latin1}) {
        EXPECT_EQ(files[photo]["reason"], "rewritten") << photo;
        EXPECT_EQ(files[photo]["dates"][0]["old"], kOldDate);
        EXPECT_EQ(files[photo]["dates"][0]["new"], "2012:05:03 14:45:12");
        EXPECT_EQ(readDates(photo), bothDates("2012:05:03 14:45:12"));
    }
    EXPECT_EQ(files[fake]["reason"], "not-an-image");
    // The text reports still go to stderr, where they do not disturb a parser.
    EXPECT_NE(r.err.find(fake + ": passed over: not an image"), std::string::npos) << describe(r);
    EXPECT_NE(r.err.find(good + ": rewritten: "), std::string::npos) << describe(r);
    EXPECT_TRUE(r.err.ends_with("2 rewritten, 1 passed over\n")) << describe(r);
}

TEST_F(CliProcess, VerboseShowsEveryOutcomeWithDates)
{
    addPhoto("photos/a.jpg");
    const std::string fake = addTextPosingAsJpeg("photos/fake.jpg");
    const ProcessResult r = runCli({"--verbose", "--set", "2001-02-03 04:05:06", photos()});
    EXPECT_EQ(r.exitCode, 1) << describe(r);
    EXPECT_NE(r.out.find(photos() + "/a.jpg: rewritten: 2012:05:03 13:45:12 -> 2001:02:03 04:05:06\n"),
              std::string::npos)
        << describe(r);
    EXPECT_NE(r.err.find(fake + ": passed over: "), std::string::npos) << describe(r);
    EXPECT_EQ(lastLine(r.out), "1 rewritten, 1 passed over");
}

TEST_F(CliProcess, QuietPrintsNothingWhenAllGoesWell)
{
    addPhoto("photos/a.jpg");
    const ProcessResult r = runCli({"-q", "--set-time", "00:00:01", photos()});
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readDates(photos() + "/a.jpg")[0], "2012:05:03 00:00:01");
}

TEST_F(CliProcess, OutputFolderGetsTheNewFilesAndOriginalsStay)
{
    addPhoto("photos/a.jpg");
    fs::create_directory(work_ / "out");
    const auto originals = snapshot(photos());
    const ProcessResult r = runCli({"--set", "2020-01-02 03:04:05", "-o", work_ / "out", photos()});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(snapshot(photos()), originals);
    EXPECT_EQ(readDates(work_ / "out/a.jpg"), bothDates("2020:01:02 03:04:05"));
}

TEST_F(CliProcess, OneFileAsPath)
{
    const std::string a = addPhoto("photos/a.jpg");
    const std::string b = addPhoto("photos/b.jpg");
    const ProcessResult r = runCli({a, "--set-date", "1999-12-31"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(lastLine(r.out), "1 rewritten, 0 passed over");
    EXPECT_EQ(readDates(a)[0], "1999:12:31 13:45:12");
    EXPECT_EQ(readDates(b)[0], kOldDate);
}

TEST_F(CliProcess, SubfoldersOnlyWithRecursive)
{
    addPhoto("photos/a.jpg");
    const std::string deep = addPhoto("photos/sub/deep.jpg");
    ProcessResult r = runCli({"--set-date", "1999-12-31", photos()});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(lastLine(r.out), "1 rewritten, 0 passed over");
    EXPECT_EQ(readDates(deep)[0], kOldDate);

    r = runCli({"-r", "--set-date", "1999-12-30", photos()});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(lastLine(r.out), "2 rewritten, 0 passed over");
    EXPECT_EQ(readDates(deep)[0], "1999:12:30 13:45:12");
}

// Several PATHs, as a shell gives IMG_*.JPG: one run, one summary, and the
// JSON records of every file of every PATH.
struct SeveralPathsRow {
    std::string name;
    std::vector<std::string> args;  // "WORK/x" stands for x below the test's folder
    // One per JSON file record, in order: "path reason output", paths below the test's folder.
    std::vector<std::string> records;
    int exitCode;
    std::map<std::string, std::string> datesAfter;  // DateTimeOriginal of files below the test's folder
};

void PrintTo(const SeveralPathsRow& row, std::ostream* os)
{
    *os << row.name;
}

class CliSeveralPaths : public CliProcess, public testing::WithParamInterface<SeveralPathsRow> {};

TEST_P(CliSeveralPaths, MakeOneRunWithOneSummary)
{
    const SeveralPathsRow& row = GetParam();
    addPhoto("photos/a.jpg");
    addPhoto("photos/b.jpg");
    addPhoto("other/a.jpg");
    fs::create_directory(work_ / "out");
    const std::string work = work_.path() + "/";
    std::vector<std::string> args{"--json", "--shift", "+01:00:00"};
    for (const std::string& arg : row.args)
        args.push_back(arg.starts_with("WORK/") ? work + arg.substr(5) : arg);

    const ProcessResult r = runCli(args);
    EXPECT_EQ(r.exitCode, row.exitCode) << describe(r);
    std::vector<std::string> records;
    std::vector<nlohmann::json> summaries;
    std::stringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
        ASSERT_TRUE(record.is_object()) << "not a JSON object: " << line;
        if (record["type"] == "summary") {
            summaries.push_back(record);
            continue;
        }
        const auto below = [&](const nlohmann::json& path) {
            return path.is_null() ? std::string("-") : path.get<std::string>().substr(work.size());
        };
        records.push_back(below(record["path"]) + " " + record["reason"].get<std::string>() + " "
                          + below(record["output"]));
    }
    EXPECT_EQ(records, row.records) << describe(r);
    ASSERT_EQ(summaries.size(), 1u) << describe(r);
    EXPECT_TRUE(lastLine(r.out).find("\"type\":\"summary\"") != std::string::npos) << "the summary comes last";
    EXPECT_EQ(summaries[0]["exit"], row.exitCode);
    for (const auto& [path, date] : row.datesAfter)
        EXPECT_EQ(readDates(work + path)[0], date) << path;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliSeveralPaths,
    testing::Values(
        SeveralPathsRow{"ShellExpandedFiles",
                        {"WORK/photos/a.jpg", "WORK/photos/b.jpg"},
                        {"photos/a.jpg rewritten photos/a.jpg", "photos/b.jpg rewritten photos/b.jpg"},
                        0,
                        {{"photos/a.jpg", "2012:05:03 14:45:12"}, {"photos/b.jpg", "2012:05:03 14:45:12"},
                         {"other/a.jpg", kOldDate}}},
        // In place, a photo named again (alone or inside a folder) keeps the date it got the first time.
        SeveralPathsRow{"NamedTwiceMovesOnce",
                        {"WORK/photos/a.jpg", "WORK/photos", "WORK/photos/a.jpg"},
                        {"photos/a.jpg rewritten photos/a.jpg", "photos/a.jpg same-file-twice -",
                         "photos/b.jpg rewritten photos/b.jpg", "photos/a.jpg same-file-twice -"},
                        1,
                        {{"photos/a.jpg", "2012:05:03 14:45:12"}, {"photos/b.jpg", "2012:05:03 14:45:12"}}},
        // Into one folder, same names from different PATHs get numbered names, never replace each other.
        SeveralPathsRow{"SameNamesIntoOneOutput",
                        {"-o", "WORK/out", "WORK/photos", "WORK/other/a.jpg"},
                        {"photos/a.jpg rewritten out/a.jpg", "photos/b.jpg rewritten out/b.jpg",
                         "other/a.jpg rewritten out/a (2).jpg"},
                        0,
                        {{"out/a.jpg", "2012:05:03 14:45:12"}, {"out/a (2).jpg", "2012:05:03 14:45:12"},
                         {"photos/a.jpg", kOldDate}, {"other/a.jpg", kOldDate}}}),
    [](const auto& info) { return info.param.name; });

struct UsageRow {
    std::string name;
    std::vector<std::string> args;  // "PHOTOS" and "WORK" stand for the test's folders
    std::string messagePart;
};

// Names the row in failure messages instead of dumping its bytes.
void PrintTo(const UsageRow& row, std::ostream* os)
{
    *os << row.name;
}

class CliUsageErrors : public CliProcess, public testing::WithParamInterface<UsageRow> {};

TEST_P(CliUsageErrors, ExitTwoAndTouchNothing)
{
    addPhoto("photos/a.jpg");
    writeTextFile(work_ / "not-a-folder", "x");
    const auto before = snapshot(work_.path());
    std::vector<std::string> args;
    for (const std::string& arg : GetParam().args)
        args.push_back(arg == "PHOTOS" ? photos() : arg.starts_with("WORK/") ? work_ / arg.substr(5) : arg);

    const ProcessResult r = runCli(args);
    EXPECT_EQ(r.exitCode, 2) << describe(r);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(GetParam().messagePart), std::string::npos) << describe(r);
    EXPECT_EQ(snapshot(work_.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliUsageErrors,
    testing::Values(UsageRow{"UnknownOption", {"--set-date", "2019-12-31", "--fast", "PHOTOS"},
                             "Try 'shotdate-cli --help'"},
                    UsageRow{"TwoDates", {"--set-date", "2019-12-31", "--set-time", "01:00:00", "PHOTOS"},
                             "only one of"},
                    UsageRow{"NoDate", {"PHOTOS"}, "no new date"},
                    UsageRow{"AllDatesIsNoDate", {"--all-dates", "PHOTOS"}, "or --zone"},
                    UsageRow{"ZoneOutOfRange", {"--zone", "+15:00", "PHOTOS"}, "-12:00 to +14:00"},
                    UsageRow{"FileTimeUnknown", {"--zone", "Z", "--file-time", "mtime", "PHOTOS"}, "keep or shooting"},
                    UsageRow{"NoPath", {"--set-date", "2019-12-31"}, "no PATH"},
                    UsageRow{"SecondPathMissing", {"--set-date", "2019-12-31", "PHOTOS", "WORK/nothing"},
                             "nothing': no such file or folder"},
                    UsageRow{"February30", {"--set-date", "2023-02-30", "PHOTOS"}, "not a real date"},
                    UsageRow{"MissingValue", {"PHOTOS", "--set"}, "--set needs a value"},
                    UsageRow{"InputMissing", {"--set-date", "2019-12-31", "WORK/nothing"}, "no such file or folder"},
                    UsageRow{"OutputMissing", {"--set-date", "2019-12-31", "-o", "WORK/missing", "PHOTOS"},
                             "does not exist"},
                    UsageRow{"UndoWithDate", {"--undo", "--set-date", "2019-12-31"}, "takes no new date"},
                    UsageRow{"ForgetWhichRun", {"--forget"}, "--forget needs a run"},
                    UsageRow{"RunsAndUndo", {"--runs", "--undo"}, "only one of --runs"},
                    UsageRow{"OutputNotAFolder", {"--set-date", "2019-12-31", "-o", "WORK/not-a-folder", "PHOTOS"},
                             "is not a folder"}),
    [](const auto& info) { return info.param.name; });

// Two shifts by mistake, then undone one after the other from the journal
// (kept in the test's folder), listed and forgotten.
TEST_F(CliProcess, UndoesRunsFromTheJournalListsAndForgetsThem)
{
    ::setenv("XDG_STATE_HOME", (work_ / "state").c_str(), 1);
    struct Restore {
        ~Restore() { ::unsetenv("XDG_STATE_HOME"); }
    } restore;
    const std::string photo = addPhoto("photos/a.jpg");
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
    EXPECT_EQ(readDates(photo), bothDates("2012:05:03 14:45:12"));
    r = runCli({"--undo", "-q"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(fixtures::readBytes(photo), original);
    r = runCli({"--undo"});
    EXPECT_EQ(r.exitCode, 2) << describe(r);
    EXPECT_NE(r.err.find("no run to undo"), std::string::npos) << describe(r);

    r = runCli({"--runs"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    std::vector<std::string> lines;
    for (std::stringstream in(r.out); std::getline(in, lines.emplace_back());)
        ;
    lines.pop_back();
    ASSERT_EQ(lines.size(), 4u) << r.out;
    const std::string firstId = lines[0].substr(0, lines[0].find(' '));
    EXPECT_NE(lines[0].find("--shift +01:00:00  1 rewritten  undone by"), std::string::npos) << r.out;
    EXPECT_NE(lines[2].find("--undo "), std::string::npos) << r.out;
    EXPECT_NE(lines[0].find(photos()), std::string::npos) << r.out;

    // The undo of an undo is a redo.
    r = runCli({"--undo", lines[3].substr(0, lines[3].find(' '))});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(readDates(photo), bothDates("2012:05:03 14:45:12"));

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

TEST_F(CliProcess, ProgressLineOnATerminal)
{
    for (int i = 0; i < 5; ++i)
        addPhoto("photos/p" + std::to_string(i) + ".jpg");
    addTextPosingAsJpeg("photos/z.jpg");
    ChildProcess::Options options;
    options.stderrOnTerminal = true;
    const ProcessResult r = runCli({"--set-date", "2019-12-31", photos()}, options);
    EXPECT_EQ(r.exitCode, 1) << describe(r);
    // The first update is always drawn; the line is wiped before the
    // passed-over report and at the end.
    EXPECT_NE(r.err.find("\r[1/6] p0.jpg\033[K"), std::string::npos) << describe(r);
    EXPECT_NE(r.err.find("\r\033[K" + photos() + "/z.jpg: passed over"), std::string::npos) << describe(r);
    // Whatever was drawn last is wiped before the program ends.
    const auto lastDraw = r.err.rfind("\r[");
    ASSERT_NE(lastDraw, std::string::npos);
    EXPECT_NE(r.err.find("\r\033[K", lastDraw), std::string::npos) << describe(r);
    EXPECT_EQ(lastLine(r.out), "5 rewritten, 1 passed over");
}

TEST_F(CliProcess, CtrlCStopsAfterTheCurrentFileAndSummarises)
{
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "photos/p%03d.jpg", i);
        addPhoto(name);
    }
    ChildProcess child(kCli, {"-v", "--set", "2020-01-02 03:04:05", photos()});
    ASSERT_TRUE(child.started());
    if (!child.waitForStdoutLine(60s))
        GTEST_SKIP() << "no file was reported within a minute; too slow a machine for this test";
    child.sendSignal(SIGINT);
    const ProcessResult r = child.finish();
    ASSERT_FALSE(r.timedOut) << describe(r);
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
    const auto dates = readFolderDates(photos());
    for (const auto& [name, date] : dates) {
        newDates += date == "2020:01:02 03:04:05" ? 1 : 0;
        oldDates += date == kOldDate ? 1 : 0;
    }
    EXPECT_EQ(newDates, rewritten);
    EXPECT_EQ(oldDates, kFiles - rewritten);
    EXPECT_EQ(snapshot(photos()).size(), std::size_t(kFiles));
}

} // namespace
} // namespace shotdate::test
