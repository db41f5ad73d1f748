// Runs keep a journal, and an undo gives each file its old dates back:
// byte for byte where the run patched the file it wrote, by the date fields
// where the file was laid out again or saved anew by another program since.
// Read back with exiftool and cmp-style byte comparison.

#include "format_fixtures.h"
#include "needed_tools.h"
#include "run_outcome.h"

#include <filesystem>
#include <fstream>

namespace shotdate {
namespace {

namespace fs = std::filesystem;
using namespace fixtures;

// What these tests make their photos with.
class ToolJournalTest : public JournalTest {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_TOOLS({"convert", "exiftool"});
        JournalTest::SetUp();
    }
};

// A maker puts one photo into the folder and answers its path ("" to skip,
// with the reason in `why`).
using Maker = std::function<std::string(const std::string& folder, std::string& why)>;

Maker fixture(Fixture kind)
{
    return [kind](const std::string& folder, std::string& why) {
        const MadeFixture made = makeFixture(kind, folder);
        why = made.error;
        return made.path;
    };
}

Maker container(format_fixtures::Container kind)
{
    return [kind](const std::string& folder, std::string& why) {
        why = missingToolsReason(format_fixtures::makerTools(kind));
        const format_fixtures::MadeFile made =
            why.empty() ? format_fixtures::makeContainer(kind, true, folder) : format_fixtures::MadeFile{};
        why += made.error;
        return made.path;
    };
}

// A JPEG with a sidecar in each convention, every copy of its date in them.
std::string withSidecars(const std::string& folder, std::string& why)
{
    const MadeFixture made = makeFixture(Fixture::JpegLittleEndian, folder);
    why = made.error;
    for (const std::string& sidecar : {fs::path(made.path).replace_extension(".xmp").string(), made.path + ".xmp"})
        std::ofstream(sidecar) << "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                                  "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                                  "xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:CreateDate='2018-09-10T11:12:13'/>"
                                  "</rdf:RDF></x:xmpmeta>\n";
    return made.path;
}

// A name that is not UTF-8, with a quote and a newline: the journal must
// give the undo the name's exact bytes back.
std::string oddlyNamed(const std::string& folder, std::string& why)
{
    const std::string path = fixture(Fixture::JpegBigEndian)(folder, why), odd = folder + "/caf\xe9 \"1\"\n.jpg";
    if (!path.empty())
        fs::rename(path, odd);
    return path.empty() ? path : odd;
}

std::string movie(const std::string& folder, std::string& why)
{
    why = missingToolsReason({"ffmpeg"});
    const std::string path = folder + "/clip.mov";
    if (why.empty()
        && runCommand({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=d=1:s=64x48", "-c:v", "mpeg4",
                       "-metadata", "creation_time=2019-03-02T01:11:12Z", "-f", "mov", path})
                .exitCode
            != 0)
        why = "ffmpeg could not make a movie";
    return why.empty() ? path : std::string();
}

struct UndoCase {
    const char* name;
    Maker make;
    bool toOutputFolder;
    // true: the undone file (and every sidecar) equals the original byte for
    // byte; false: it was laid out again, and exiftool shows the old dates.
    bool byteExact;
    bool allDates = false;
};

class UndoEachRewrite : public ToolJournalTest, public ::testing::WithParamInterface<UndoCase> {};

TEST_P(UndoEachRewrite, GivesTheOldDatesBack)
{
    const UndoCase& c = GetParam();
    std::string why;
    const std::string path = c.make(folder(), why);
    if (path.empty())
        GTEST_SKIP() << why;
    const Bytes original = readBytes(path);
    std::map<std::string, Bytes> sidecars;
    for (const auto& entry : fs::directory_iterator(folder()))
        if (entry.path() != path)
            sidecars[entry.path()] = readBytes(entry.path());
    const TagList before = readAllTags({path}).begin()->second;
    const std::string out = root_ / "out";
    if (c.toOutputFolder)
        fs::create_directories(out);
    DateArguments dates = kOneHourLater;
    dates.allDates = c.allDates;
    ASSERT_EQ(journaledRun(nullptr, {}, true, dates, c.toOutputFolder ? std::optional(out) : std::nullopt).rewritten,
              1);
    const std::string written = c.toOutputFolder ? out + "/" + fs::path(path).filename().string() : path;
    ASSERT_NE(readBytes(written), original);
    const RunSummary undone = undoLatest();
    ASSERT_EQ(undone.rewritten, int(1 + sidecars.size()))
        << (undone.passedOverFiles.empty() ? "" : reasonKey(undone.passedOverFiles[0].reason));
    if (c.byteExact) {
        EXPECT_EQ(readBytes(written), original);
        for (const auto& [sidecar, bytes] : sidecars)
            EXPECT_EQ(readBytes(sidecar), bytes) << sidecar;
    } else {
        const TagList after = readAllTags({written}).begin()->second;
        EXPECT_EQ(tagValue(after, "ExifIFD:DateTimeOriginal"), tagValue(before, "ExifIFD:DateTimeOriginal"));
        EXPECT_EQ(tagValue(after, "ExifIFD:CreateDate"), tagValue(before, "ExifIFD:CreateDate"));
        EXPECT_EQ(comparableTags(after, true), comparableTags(before, true));
    }
    // The undo is journaled too: undoing it moves the dates again (a redo).
    const std::vector<JournalRun> runs = readAllJournals();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(undoneBy(runs, runs[0].header.id), runs[1].header.id);
    EXPECT_EQ(latestUndoable(runs), nullptr);
}

// Patched in place, laid out again (the run added DateTimeDigitized), to an
// output folder, with sidecars, a movie.
const UndoCase kUndoCases[] = {
    {"PatchedJpeg", fixture(Fixture::JpegBigEndian), false, true},
    {"PatchedJpegNamedInLatin1", oddlyNamed, false, true},
    {"PatchedTiff", fixture(Fixture::TiffThreePages), false, true},
    {"PatchedPng", fixture(Fixture::PngExif), false, true},
    {"PatchedWebp", fixture(Fixture::WebpExif), false, true},
    {"PatchedHeif", container(format_fixtures::Container::HeicBaseOffsets), false, true},
    {"TiffGivenDigitized", fixture(Fixture::TiffOriginalOnly), false, true},
    {"JpegLaidOutWithDigitized", fixture(Fixture::JpegOriginalOnly), false, false},
    {"PngLaidOutWithDigitized", fixture(Fixture::PngOriginalOnly), false, false},
    {"WebpLaidOutWithDigitized", fixture(Fixture::WebpOriginalOnly), false, false},
    {"JpegToOutputFolder", fixture(Fixture::JpegLittleEndian), true, true},
    {"AllDatesWithSidecars", withSidecars, false, true, true},
    {"Movie", movie, false, true},
};

INSTANTIATE_TEST_SUITE_P(Rewrites, UndoEachRewrite, ::testing::ValuesIn(kUndoCases), kRowName);

// After the run, another program changes each file: one saves it anew with
// another tag (a new inode), one moves its date again.
TEST_F(ToolJournalTest, KeepsOtherProgramsEditsAndPassesOverDatesChangedSince)
{
    const std::string edited = makeFixture(Fixture::JpegLittleEndian, folder()).path;
    // Each date gets its own old value back, so the two must differ.
    const std::string oldDigitized = "2018:08:08 08:08:08";
    std::string error;
    ASSERT_TRUE(runStep(exiftoolWrite({"-ExifIFD:CreateDate=" + oldDigitized}, edited), error)) << error;
    const std::string redated = folder() + "/redated.jpg";
    fs::copy_file(edited, redated);
    const std::string oldDate = tagValue(readAllTags({edited}).begin()->second, "ExifIFD:DateTimeOriginal");
    ASSERT_EQ(journaledRun().rewritten, 2);
    ASSERT_TRUE(runStep(exiftoolWrite({"-IFD0:Artist=Someone"}, edited), error)
                && runStep(exiftoolWrite({"-DateTimeOriginal=2001:01:01 01:01:01"}, redated), error))
        << error;
    const RunSummary undone = undoLatest();
    EXPECT_EQ(undone.rewritten, 1);
    ASSERT_EQ(undone.passedOverFiles.size(), 1u);
    EXPECT_EQ(undone.passedOverFiles[0].inPath, redated);
    EXPECT_EQ(undone.passedOverFiles[0].reason, Reason::DatesChangedSince);
    EXPECT_EQ(undone.passedOverFiles[0].oldDate, "2001:01:01 01:01:01"); // what it holds, not what the run left
    const auto tags = readAllTags({edited, redated});
    EXPECT_EQ(tagValue(tags.at(edited), "IFD0:Artist"), "Someone");
    EXPECT_EQ(tagValue(tags.at(edited), "ExifIFD:DateTimeOriginal"), oldDate);
    EXPECT_EQ(tagValue(tags.at(edited), "ExifIFD:CreateDate"), oldDigitized);
    EXPECT_EQ(tagValue(tags.at(redated), "ExifIFD:DateTimeOriginal"), "2001:01:01 01:01:01");
}

// A run killed mid-way leaves records of files it never put in place, and
// no last line: the files it finished are undone, the others left alone.
TEST_F(ToolJournalTest, UndoesTheFinishedFilesOfAKilledRun)
{
    const std::string finished = makeFixture(Fixture::JpegLittleEndian, folder()).path;
    const std::string unfinished = folder() + "/unfinished.jpg";
    fs::copy_file(finished, unfinished);
    const Bytes original = readBytes(finished);
    ASSERT_EQ(journaledRun().rewritten, 2);
    // As if the kill came between the records and the second rename.
    ASSERT_TRUE(writeBytes(unfinished, original));
    const std::string journal = readAllJournals().at(0).path;
    std::string lines;
    std::ifstream in(journal);
    for (std::string line; std::getline(in, line);)
        if (line.find("\"type\":\"done\"") == line.npos && line.find("\"type\":\"end\"") == line.npos)
            lines += line + "\n";
    std::ofstream(journal, std::ios::trunc) << lines;
    ASSERT_FALSE(readAllJournals().at(0).ended);
    const RunSummary undone = undoLatest();
    EXPECT_EQ(undone.rewritten, 1);
    ASSERT_EQ(undone.passedOverFiles.size(), 1u);
    EXPECT_EQ(undone.passedOverFiles[0].reason, Reason::NotChangedByRun);
    EXPECT_EQ(readBytes(finished), original);
    EXPECT_EQ(readBytes(unfinished), original);
}

// The journal's folder and file are the user's alone; old journals go, and
// a run forgotten cannot be undone.
TEST_F(ToolJournalTest, KeepsJournalsPrivateAndForgetsThem)
{
    makeFixture(Fixture::JpegLittleEndian, folder());
    ASSERT_EQ(journaledRun().rewritten, 1);
    ASSERT_EQ(journaledRun().rewritten, 1);
    std::vector<JournalRun> runs = readAllJournals();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(fs::status(journalFolder()).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(runs[0].path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(runs[0].rewritten, 1);
    EXPECT_TRUE(runs[0].ended);

    // Two shifts of the same file within a day: the second run is warned.
    const auto recentShifts = [&](const std::string& input, std::time_t later) {
        RunSettings settings;
        settings.inputPath = input;
        return recentShiftsOf(runs, settings, std::time(nullptr) + later).size();
    };
    EXPECT_EQ(recentShifts(folder(), 0), 2u);
    EXPECT_EQ(recentShifts(folder(), 86400 + 60), 0u);
    EXPECT_EQ(recentShifts(root_.path(), 0), 2u); // the folder holding the earlier runs' folder
    EXPECT_EQ(recentShifts(root_ / "other", 0), 0u);
    EXPECT_EQ(forgetJournal(runs[1].header.id), 0);
    EXPECT_EQ(forgetJournal(runs[1].header.id), ENOENT);
    EXPECT_EQ(forgetJournal("../" + runs[0].header.id), ENOENT);
    EXPECT_EQ(forgetOldJournals(std::time(nullptr) + 89 * 86400), 0);
    EXPECT_EQ(forgetOldJournals(std::time(nullptr) + 91 * 86400), 1);
    EXPECT_TRUE(readAllJournals().empty());
}

} // namespace
} // namespace shotdate
