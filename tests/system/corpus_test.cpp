// A whole run over copies of real camera files: every file the engine
// rewrites must read back right in exiftool (every copy of both dates, no
// new error or warning), keep every other tag and its pixels, and every
// file it passes over must leave no output behind. Prints the outcomes per
// format, rewrites split into patched and laid out again. With every copy
// of the date, the XMP dates of the corpus move in step.

#include "fixtures.h"
#include "formats/image_format.h"
#include "needed_tools.h"
#include "rewrite/date_rewrite.h"
#include "run/batch_run.h"
#include "run/reason.h"
#include "run/sidecar_rewrite.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace shotdate {
namespace {

namespace fs = std::filesystem;
using namespace fixtures;

constexpr std::int32_t kDayAndHour = 86400 + 3600;

bool isCorpusImage(const fs::directory_entry& entry)
{
    const std::string name = entry.path().filename().string();
    // A sidecar (et_XMP.xmp) is never a target of a run.
    return entry.is_regular_file() && name != "README.md" && name != "SHA256SUMS" && name != "SOURCES.tsv"
        && !isSidecarName(name);
}

// Files whose pixels identify reads quickly and without outside delegates.
bool identifyDecodes(const std::string& name)
{
    std::string extension = fs::path(name).extension().string();
    std::ranges::transform(extension, extension.begin(), [](unsigned char c) { return std::tolower(c); });
    return std::set<std::string>{".jpg", ".jpeg", ".tif", ".tiff", ".png", ".webp"}.count(extension) > 0;
}

// Reasons that mean the engine or the disk failed, never a property of the file.
bool isTrouble(Reason reason)
{
    using enum Reason;
    static constexpr Reason kTrouble[] = {
        NotFound,     Unreadable,         TooLarge,        ChangedWhileReading, WriteFailed,
        RenameFailed, RewrittenNotSynced, CannotKeepOwner, CannotKeepAttributes};
    return std::find(std::begin(kTrouble), std::end(kTrouble), reason) != std::end(kTrouble);
}

bool looksUnset(const std::string& date)
{
    return date.find_first_not_of(" :0") == std::string::npos;
}

// The corpus copied into an input folder and run over into an output folder.
struct CorpusRun {
    TempFolder temp;
    std::string input = temp / "input";
    std::string output = temp / "output";
    std::map<std::string, Bytes> originals;
    std::map<std::string, FileReport> reports; // by file name
    RunSummary summary;
    std::chrono::milliseconds took{};
    std::map<std::string, TagList> tags; // every file of both folders, as exiftool reads it
};

void runOverCorpus(CorpusRun& run, const DateArguments& dates)
{
    fs::create_directory(run.input);
    fs::create_directory(run.output);
    for (const auto& entry : fs::directory_iterator(SHOTDATE_CORPUS_DIR)) {
        if (!isCorpusImage(entry))
            continue;
        const std::string name = entry.path().filename().string();
        run.originals[name] = readBytes(entry.path().string());
        fs::copy_file(entry.path(), run.input + "/" + name);
    }
    ASSERT_FALSE(run.originals.empty()) << "no files in " << SHOTDATE_CORPUS_DIR;
    RunSettings settings;
    settings.inputPath = run.input;
    settings.outputFolder = run.output;
    settings.dates = dates;
    RunCallbacks callbacks;
    callbacks.onFile = [&](const FileReport& report) {
        run.reports[fs::path(report.inPath).filename().string()] = report;
    };
    const std::atomic<bool> stop{false};
    const auto started = std::chrono::steady_clock::now();
    run.summary = runBatch(settings, stop, callbacks);
    run.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    ASSERT_EQ(run.reports.size(), run.originals.size()) << "every file gets a report";
    run.tags = readAllTags({run.input, run.output});
}

#define SKIP_WITHOUT_CORPUS()                                                                                          \
    if (!fs::is_directory(SHOTDATE_CORPUS_DIR))                                                                        \
    GTEST_SKIP() << "corpus not found at " << SHOTDATE_CORPUS_DIR << ": skipped"

TEST(CorpusTest, ShiftByADayAndAnHourRewritesFaithfullyOrPassesOver)
{
    SKIP_WITHOUT_CORPUS();
    SKIP_WITHOUT_TOOLS({"exiftool", "identify"});
    CorpusRun run;
    const DateArguments shift{std::int32_t(DateMode::Shift), {}, kDayAndHour};
    runOverCorpus(run, shift);
    if (HasFatalFailure())
        return;
    auto& [temp, input, output, originals, reports, summary, runTime, tags] = run;

    // Pixel signatures of everything rewritten, one identify run per side.
    std::vector<std::string> decodable;
    for (const auto& [name, report] : reports)
        if (report.reason == Reason::Rewritten && identifyDecodes(name))
            decodable.push_back(name);
    auto signatures = [&](const std::string& folder) {
        std::vector<std::string> argv = {"identify", "-format", "%f\\t%#\\n"};
        for (const auto& name : decodable)
            argv.push_back(folder + "/" + name);
        std::map<std::string, std::vector<std::string>> byName;
        std::istringstream lines(runCommand(argv).out);
        for (std::string line; std::getline(lines, line);)
            if (const auto tab = line.find('\t'); tab != std::string::npos)
                byName[line.substr(0, tab)].push_back(line.substr(tab + 1));
        return byName;
    };
    auto pixelsBefore = signatures(input);
    auto pixelsAfter = signatures(output);

    const auto formats = corpusFormats(SHOTDATE_CORPUS_DIR);
    ASSERT_FALSE(formats.empty()) << "no corpus files listed in " << SHOTDATE_CORPUS_DIR << "/SOURCES.tsv";
    std::map<std::string, std::map<std::string, int>> table; // format -> outcome -> count
    std::set<std::string> expectedOutputs;
    std::ostringstream passedOver;
    std::ostringstream unreadable;
    for (const auto& [name, report] : reports) {
        SCOPED_TRACE(name);
        const std::string format = formats.count(name) ? formats.at(name) : "?";
        const TagList& before = tags[input + "/" + name];
        // A CRW has no EXIF: its date is a CIFF time stamp, 4 bytes of seconds.
        const bool ciff = format == "CRW";
        const std::string originalKey = ciff ? "CanonRaw:DateTimeOriginal" : "ExifIFD:DateTimeOriginal";
        const std::string oldOriginal = tagValue(before, originalKey);
        const std::string oldDigitized = tagValue(before, "ExifIFD:CreateDate");
        EXPECT_TRUE(readBytes(input + "/" + name) == originals[name]) << "the input changed";
        EXPECT_FALSE(isTrouble(report.reason)) << reasonKey(report.reason) << " errno " << report.error;

        if (report.reason != Reason::Rewritten) {
            ++table[format][std::string(reasonKey(report.reason))];
            // The run may read only the head of a file: it must still pass
            // over exactly what a look at the whole file passes over.
            EXPECT_EQ(reasonKey(report.reason),
                      reasonKey(rewriteExifDates(readBytes(input + "/" + name), shift).reason));
            passedOver << "  " << std::left << std::setw(52) << name << std::setw(20) << reasonKey(report.reason)
                       << "exiftool: \"" << oldOriginal << "\" / \"" << oldDigitized << "\"\n";
            if (report.reason == Reason::NoFileDate) {
                EXPECT_TRUE(looksUnset(oldOriginal)) << "passed over for no date, but exiftool reads " << oldOriginal;
            }
            if (report.reason == Reason::BadFileDate) {
                EXPECT_TRUE(!oldOriginal.empty() && shiftedDateText(oldOriginal, 0).empty())
                    << "passed over for a bad date, but exiftool reads a good one: " << oldOriginal;
            }
            continue;
        }

        expectedOutputs.insert(fs::path(report.outPath).filename().string());
        const std::string outPath = report.outPath;
        const TagList& after = tags[outPath];
        const Bytes oldBytes = readBytes(input + "/" + name);
        const Bytes newBytes = readBytes(outPath);
        const DateRewrite again = rewriteExifDates(oldBytes, shift);
        EXPECT_TRUE(again.bytes == newBytes) << "the file on disk is not what the rewrite made";
        // A TIFF given a missing date keeps every byte and grows by an Exif IFD at its end.
        const bool appended = again.patchedInPlace && newBytes.size() != oldBytes.size();
        const bool onlyDates = again.patchedInPlace && !appended;
        ++table[format][std::string(reasonKey(report.reason))
                        + (onlyDates      ? " (patched)"
                               : appended ? " (Exif IFD appended)"
                                          : " (laid out)")];
        EXPECT_EQ(tagValues(after, "ExifTool:Error"), tagValues(before, "ExifTool:Error"))
            << "exiftool reports an error in the result";
        EXPECT_EQ(tagValues(after, "ExifTool:Warning"), tagValues(before, "ExifTool:Warning"))
            << "exiftool warns about the result";

        if (sniffFormat(oldBytes) == ImageFormat::Movie) {
            // A movie has no EXIF: its header times move by the shift, in
            // UTC, and every other tag stays.
            const std::string oldCreate = tagValue(before, "QuickTime:CreateDate");
            if (!looksUnset(oldCreate)) {
                EXPECT_EQ(tagValue(after, "QuickTime:CreateDate"), shiftedDateText(oldCreate, kDayAndHour));
            }
            const auto isTime = [](const auto& tag) { return tag.first.find("Date") != std::string::npos; };
            TagList kept, now;
            std::remove_copy_if(before.begin(), before.end(), std::back_inserter(kept), isTime);
            std::remove_copy_if(after.begin(), after.end(), std::back_inserter(now), isTime);
            EXPECT_EQ(comparableTags(kept, false), comparableTags(now, false)) << "tags other than dates changed";
            continue;
        }

        if (oldOriginal.empty()) {
            // exiftool gives up on some damaged files the engine still
            // reads (an EXIF header with no image after it). The rewrite
            // is then checked on its bytes alone: only the dates may move.
            unreadable << "  " << name << " (" << tagValue(before, "ExifTool:Warning")
                       << tagValue(before, "ExifTool:Error") << ")\n";
            EXPECT_TRUE(onlyDates) << "laid out again a file exiftool cannot read";
            EXPECT_EQ(report.newDate, shiftedDateText(report.oldDate, kDayAndHour));
            const auto outside = changesOutsideDates(oldBytes, newBytes, {report.oldDate});
            EXPECT_TRUE(outside.empty()) << outside.size() << " bytes changed outside the dates";
            // Exactly the two fields took the new date (a third copy, such as
            // ModifyDate, keeps the old one).
            EXPECT_EQ(occurrences(newBytes, report.newDate).size(), occurrences(oldBytes, report.newDate).size() + 2);
            EXPECT_EQ(occurrences(oldBytes, report.oldDate).size(), occurrences(newBytes, report.oldDate).size() + 2);
            continue;
        }
        const std::string expected = shiftedDateText(oldOriginal, kDayAndHour);
        EXPECT_FALSE(expected.empty()) << "rewritten, but exiftool reads no valid DateTimeOriginal: " << oldOriginal;
        EXPECT_EQ(report.newDate, expected);
        // A file may hold the dates twice (an Exif IFD hung off IFD1 as well
        // as IFD0); exiftool shows only the last copy unless asked for all.
        for (const std::string& key : ciff ? std::vector<std::string>{originalKey}
                                           : std::vector<std::string>{originalKey, "ExifIFD:CreateDate"}) {
            const auto values = tagValues(after, key);
            EXPECT_FALSE(values.empty()) << "exiftool reads no " << key << " in the result";
            for (std::size_t i = 0; i < values.size(); ++i)
                EXPECT_EQ(values[i], expected)
                    << "exiftool, copy " << i + 1 << " of " << values.size() << " of " << key;
        }
        const TagList kept = comparableTags(before, !onlyDates);
        const TagList now = comparableTags(after, !onlyDates);
        EXPECT_TRUE(kept == now) << "tags other than the dates changed" << (onlyDates ? "" : " (laid out again)") << ":"
                                 << describeTagDifferences(kept, now);
        if (onlyDates && ciff) {
            const auto changed = changesOutsideDates(oldBytes, newBytes, {});
            EXPECT_TRUE(!changed.empty() && changed.back() - changed.front() < 4)
                << changed.size() << " bytes changed, more than the 4 of the time stamp";
        } else if (onlyDates) {
            const auto outside = changesOutsideDates(oldBytes, newBytes, {oldOriginal, oldDigitized});
            EXPECT_TRUE(outside.empty()) << outside.size() << " bytes changed outside the dates, the first at "
                                         << (outside.empty() ? 0 : outside.front());
        }
        EXPECT_TRUE(pngCrcsValid(newBytes)) << "a PNG chunk CRC is wrong";
        if (!pixelsBefore[name].empty()) {
            EXPECT_EQ(pixelsAfter[name], pixelsBefore[name]) << "pixels or pages changed";
        }
    }

    std::set<std::string> written;
    for (const auto& entry : fs::directory_iterator(output))
        written.insert(entry.path().filename().string());
    EXPECT_EQ(written, expectedOutputs) << "only rewritten files may appear in the output folder";
    EXPECT_EQ(leftoverTemporaryFiles(temp.path()), std::vector<std::string>{});
    EXPECT_EQ(summary.rewritten + summary.passedOver, int(reports.size()));

    std::ostringstream text;
    text << "\nCorpus: " << reports.size() << " files, " << summary.rewritten << " rewritten, " << summary.passedOver
         << " passed over; the run took " << runTime.count() << " ms\n";
    for (const auto& [format, reasons] : table) {
        text << "  " << std::left << std::setw(16) << format;
        for (const auto& [reason, count] : reasons)
            text << " " << reason << "=" << count;
        text << "\n";
    }
    text << "Passed over:\n" << passedOver.str();
    text << "Rewritten, checked by bytes only (exiftool cannot read them):\n" << unreadable.str();
    std::cout << text.str() << std::flush;
    RecordProperty("rewritten", summary.rewritten);
    RecordProperty("passed_over", summary.passedOver);
}

// exiftool's reading of an XMP date (-n: "yyyy:MM:dd HH:mm:ss" cut to the
// value's own precision, then any fraction and zone) moved by the corpus
// shift; "" for a form this check does not work out.
std::string movedXmpDate(const std::string& value)
{
    if (value.size() >= 19 && value[16] == ':')
        return shiftedDateText(value.substr(0, 19), kDayAndHour) + value.substr(19);
    if (value.size() >= 16 && value[13] == ':' && (value.size() == 16 || value[16] != ':'))
        return shiftedDateText(value.substr(0, 16) + ":00", kDayAndHour).substr(0, 16) + value.substr(16);
    if (value.size() == 10) // a date alone moves as if at noon
        return shiftedDateText(value + " 12:00:00", kDayAndHour).substr(0, 10);
    return {};
}

TEST(CorpusTest, WithEveryCopyTheXmpDatesMoveInStep)
{
    SKIP_WITHOUT_CORPUS();
    SKIP_WITHOUT_TOOLS({"exiftool"});
    static const std::string kXmpDates[] = {"XMP-exif:DateTimeOriginal", "XMP-exif:DateTimeDigitized",
                                            "XMP-xmp:CreateDate",        "XMP-xmp:ModifyDate",
                                            "XMP-tiff:DateTime",         "XMP-photoshop:DateCreated"};
    CorpusRun run;
    runOverCorpus(run, {.mode = std::int32_t(DateMode::Shift), .shiftSeconds = kDayAndHour, .allDates = true});
    if (HasFatalFailure())
        return;
    auto& [temp, input, output, originals, reports, summary, runTime, tags] = run;

    int withXmp = 0, moved = 0, values = 0;
    std::ostringstream text;
    for (const auto& [name, report] : reports) {
        SCOPED_TRACE(name);
        const TagList& before = tags[input + "/" + name];
        std::vector<std::pair<std::string, std::string>> found;
        for (const std::string& key : kXmpDates)
            for (const std::string& value : tagValues(before, key))
                found.emplace_back(key, value);
        if (found.empty())
            continue;
        ++withXmp;
        EXPECT_FALSE(isTrouble(report.reason)) << reasonKey(report.reason);
        text << "  " << std::left << std::setw(40) << name << " " << reasonKey(report.reason) << ":";
        if (report.reason != Reason::Rewritten) {
            text << "\n";
            continue;
        }
        ++moved;
        const TagList& after = tags[report.outPath];
        for (const auto& [key, value] : found) {
            const std::vector<std::string> now = tagValues(after, key);
            const std::string expected = movedXmpDate(value);
            EXPECT_FALSE(now.empty()) << key;
            if (!expected.empty() && !now.empty()) {
                EXPECT_EQ(now.front(), expected) << key << " was " << value;
                ++values;
            }
            text << " " << key << " " << value << " -> " << (now.empty() ? "?" : now.front()) << ";";
        }
        text << "\n";
    }
    std::cout << "\nCorpus files with XMP dates: " << withXmp << ", rewritten with them " << moved << " (" << values
              << " values checked)\n"
              << text.str() << std::flush;
    RecordProperty("with_xmp_dates", withXmp);
}

} // namespace
} // namespace shotdate
