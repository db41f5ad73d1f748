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

// A record's path below `work`; "-" for none.
std::string recordPath(const nlohmann::json& record, const std::string& key, const std::string& work)
{
    return record[key].is_null() ? "-" : record[key].get<std::string>().substr(work.size());
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

    // `relative` below the test's folder: "x/" a folder, "x=text" a text
    // posing as a JPEG, else the dated JPEG.
    std::string add(const std::string& relative)
    {
        const auto at = relative.find('=');
        const std::string kind = at == std::string::npos ? "" : relative.substr(at + 1);
        const fs::path target = work_ / relative.substr(0, at);
        fs::create_directories(relative.ends_with('/') ? target : target.parent_path());
        if (relative.ends_with('/'))
            return target;
        if (kind == "text")
            writeTextFile(target, "this is not a photo\n");
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
    // The last line of stdout; "" for an empty stdout. With --json, the
    // file records instead, one "path reason output" each, below WORK/.
    std::string summary;
    std::vector<std::string> out; // parts stdout must hold
    std::vector<std::string> err; // parts stderr must hold; "": stderr empty
    std::map<std::string, std::string> dates = {}; // both EXIF dates of files below WORK/ afterwards
    bool untouched = false; // every entry below WORK/ keeps its bytes and times
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
    const auto before = row.untouched ? snapshot(work_.path()) : std::map<std::string, FileState>();
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
    EXPECT_TRUE(!row.untouched || snapshot(work_.path()) == before) << "something below the folder was written";
}

const std::string kShifted = "2012:05:03 14:45:12";

// Each date mode's arithmetic, every kind of entry and what a run leaves
// alone are the engine's tests; here, what the command line makes of them.
// One row a line or two, so that the rows read as a table.
// clang-format off
const RunRow kRuns[] = {
    {"Set", {"photos/a.jpg", "photos/b.jpg"}, {"--set", "2020-01-02 03:04:05", "WORK/photos"}, 0,
     "2 rewritten, 0 passed over", {}, {""}, {{"photos/a.jpg", "2020:01:02 03:04:05"}, {"photos/b.jpg", "2020:01:02 03:04:05"}}},
    // Folders' times included: a temporary file made and removed would change them.
    {"DryRunShowsOldAndNewDatesAndWritesNothing", {"photos/a.jpg", "photos/b.jpg", "photos/fake.jpg=text"},
     {"-n", "--shift", "+01:00:00", "WORK/photos"}, 1, "2 would be rewritten, 1 passed over",
     {"WORK/photos/a.jpg: would be rewritten: 2012:05:03 13:45:12 -> 2012:05:03 14:45:12\n",
      "WORK/photos/b.jpg: would be rewritten: 2012:05:03 13:45:12 -> 2012:05:03 14:45:12\n"}, {}, {}, true},
    {"QuietPrintsNothingWhenAllGoesWell", {"photos/a.jpg"}, {"-q", "--set-time", "00:00:01", "WORK/photos"}, 0, "", {}, {""}},
    {"SubfoldersLeftWithoutRecursive", {"photos/a.jpg", "photos/sub/deep.jpg"},
     {"--set-date", "1999-12-31", "WORK/photos"}, 0, "1 rewritten, 0 passed over", {}, {""}, {{"photos/sub/deep.jpg", kOldDate}}},
    // Several PATHs, as a shell gives IMG_*.JPG, make one run with one
    // summary. In place, a photo named again (alone, inside a folder, or
    // spelled another way) keeps the date it got the first time.
    {"NamedTwiceMovesOnce", {"photos/a.jpg", "photos/b.jpg", "other/"},
     {"--json", "--shift", "+01:00:00", "WORK/photos/a.jpg", "WORK/photos", "WORK/other/../photos/a.jpg"}, 1, "", {}, {},
     {{"photos/a.jpg", kShifted}, {"photos/b.jpg", kShifted}}, false,
     {"photos/a.jpg rewritten photos/a.jpg", "photos/a.jpg same-file-twice -", "photos/b.jpg rewritten photos/b.jpg",
      "other/../photos/a.jpg same-file-twice -"}},
    // Into one folder, same names from different PATHs get numbered names, never replace each other.
    {"SameNamesIntoOneOutput", {"photos/a.jpg", "photos/b.jpg", "other/a.jpg", "out/"},
     {"--json", "--shift", "+01:00:00", "-o", "WORK/out", "WORK/photos", "WORK/other/a.jpg"}, 0, "", {}, {},
     {{"out/a.jpg", kShifted}, {"out/a (2).jpg", kShifted}}, false,
     {"photos/a.jpg rewritten out/a.jpg", "photos/b.jpg rewritten out/b.jpg", "other/a.jpg rewritten out/a (2).jpg"}},
    // A script reads stdout line by line and must find every file again by
    // what it is told; the text reports go to stderr, where they do not
    // disturb a parser.
    {"JsonGivesOneRecordPerFileAndASummaryOnStdoutOnly", {"photos/good.jpg", "photos/fake.jpg=text"},
     {"--json", "-v", "--shift", "+01:00:00", "WORK/photos"}, 1, "", {},
     {"WORK/photos/fake.jpg: passed over: not an image", "WORK/photos/good.jpg: rewritten: ", "1 rewritten, 1 passed over\n"},
     {}, false, {"photos/fake.jpg not-an-image -", "photos/good.jpg rewritten photos/good.jpg"}},
    // Usage errors: exit 2, nothing on stdout, nothing touched. How each
    // wrong option or path reads is the parser's and the texts' own test;
    // here, that main passes both kinds on.
    {"UnknownOption", {"photos/a.jpg"}, {"--set-date", "2019-12-31", "--fast", "WORK/photos"}, 2, "", {},
     {"Try 'shotdate-cli --help'"}, {}, true},
    {"SecondPathMissing", {"photos/a.jpg"}, {"--set-date", "2019-12-31", "WORK/photos", "WORK/nothing"}, 2, "", {},
     {"nothing': no such file or folder"}, {}, true},
    {"OutputNotAFolder", {"photos/a.jpg", "not-a-folder=text"},
     {"--set-date", "2019-12-31", "-o", "WORK/not-a-folder", "WORK/photos"}, 2, "", {}, {"is not a folder"}, {}, true},
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

    // A run named by its id; what undoing an undo gives is the journal's test.
    r = runCli({"--undo", runs[3].substr(0, runs[3].find(' '))});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_NE(fixtures::readBytes(photo), original);

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
    // No file lost and no temporary file left behind; that the count is the
    // files rewritten is the window's stop test, on the same engine.
    EXPECT_EQ(snapshot(photos()).size(), std::size_t(kFiles));
}

} // namespace
} // namespace shotdate::test
