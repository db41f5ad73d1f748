// Every container the engine patches in place, on small files the Debian
// tools make: the dates read back right in exiftool and exiv2, the pixels
// decode the same, every other tag stays, and only the date bytes (and a
// PNG chunk's CRC) move. Where a field is missing, JPEG, TIFF, PNG and WebP
// are laid out again (PNG and WebP keep the EXIF in its own chunk) and the
// box formats (HEIF, AVIF, JPEG XL) and RAF are passed over untouched.
// Also: damaged HEIF indexes, compressed JPEG XL metadata, and a Canon CRW's
// time stamp in every mode.

#include "file_times.h"
#include "fixtures.h"
#include "format_fixtures.h"
#include "needed_tools.h"
#include "rewrite/date_rewrite.h"
#include "run/file_rewrite.h"
#include "run/reason.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
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
using namespace format_fixtures;

constexpr std::int32_t kDayAndHour = 86400 + 3600;

DateArguments shiftByDayAndHour()
{
    return DateArguments{std::int32_t(DateMode::Shift), {}, kDayAndHour};
}

// --- independent readers ----------------------------------------------------

// Every value exiftool gives for the two date tags, in file order.
struct ExiftoolDates {
    std::vector<std::string> original;
    std::vector<std::string> digitized;
};

ExiftoolDates exiftoolDates(const std::string& path)
{
    const CommandResult result =
        runCommand({"exiftool", "-a", "-G1", "-s", "-ExifIFD:DateTimeOriginal", "-ExifIFD:CreateDate", path});
    ExiftoolDates dates;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        const auto colon = line.find(": ");
        if (!line.starts_with("[ExifIFD]") || colon == std::string::npos)
            continue;
        const std::string value = line.substr(colon + 2);
        if (line.find(" DateTimeOriginal ") != std::string::npos)
            dates.original.push_back(value);
        else if (line.find(" CreateDate ") != std::string::npos)
            dates.digitized.push_back(value);
    }
    return dates;
}

// "Group:Tag": value lines of `exiftool -j -G1 -a -s -n` (one object per
// file; exiftool prints each tag on its own line).
std::vector<std::pair<std::string, std::string>> exiftoolJson(const std::string& path)
{
    const CommandResult result = runCommand({"exiftool", "-j", "-G1", "-a", "-s", "-n", path});
    std::vector<std::pair<std::string, std::string>> tags;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        const auto open = line.find('"');
        const auto close = open == std::string::npos ? open : line.find("\": ", open + 1);
        if (close == std::string::npos)
            continue;
        std::string value = line.substr(close + 3);
        if (value.ends_with(","))
            value.pop_back();
        tags.emplace_back(line.substr(open + 1, close - open - 1), value);
    }
    return tags;
}

std::string jsonValue(const std::vector<std::pair<std::string, std::string>>& tags, const std::string& key)
{
    for (const auto& [name, value] : tags)
        if (name == key)
            return value;
    return {};
}

// What must survive a rewrite: everything but the two dates, the
// composites built from them, the file system's and the file's own view
// (File:*, checked apart), and, after a fresh layout, positions in the file.
std::vector<std::string> comparableJson(const std::vector<std::pair<std::string, std::string>>& tags, bool ignoreLayout)
{
    static const std::set<std::string> kChanged = {
        "SourceFile",         "ExifTool:ExifToolVersion",         "ExifIFD:DateTimeOriginal",
        "ExifIFD:CreateDate", "Composite:SubSecDateTimeOriginal", "Composite:SubSecCreateDate",
    };
    std::vector<std::string> kept;
    for (const auto& [key, value] : tags) {
        if (kChanged.count(key) || key.starts_with("System:") || key.starts_with("File:"))
            continue;
        if (ignoreLayout && (key.ends_with("Offset") || key.ends_with("Offsets") || key.ends_with("Start")))
            continue;
        kept.push_back(key + "=" + value);
    }
    std::sort(kept.begin(), kept.end());
    return kept;
}

std::string describeDifferences(const std::vector<std::string>& before, const std::vector<std::string>& after)
{
    std::vector<std::string> lost;
    std::vector<std::string> gained;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(lost));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(gained));
    std::string text;
    for (const auto& tag : lost)
        text += "\n  - " + tag.substr(0, 160);
    for (const auto& tag : gained)
        text += "\n  + " + tag.substr(0, 160);
    return text;
}

std::string exiv2Value(const std::map<std::string, std::string>& dates, const std::string& key)
{
    const auto found = dates.find(key);
    return found == dates.end() ? "" : found->second;
}

// How the pixels are read back where ImageMagick 6 has no decoder. None: a
// raw file nothing here decodes, whose bytes outside the dates are compared.
enum class Decoder { Identify, IdentifyAsTiff, Avifdec, Djxl, None };

const char* decoderTool(Decoder decoder)
{
    switch (decoder) {
    case Decoder::Avifdec: return "avifdec";
    case Decoder::Djxl: return "djxl";
    default: return "identify";
    }
}

// One pixel signature per image; empty when the file does not decode.
std::vector<std::string> decodedPixels(Decoder decoder, const std::string& path, const std::string& scratch)
{
    switch (decoder) {
    case Decoder::Identify: return pixelSignatures(path);
    case Decoder::IdentifyAsTiff: return pixelSignatures("tiff:" + path); // the name says DNG
    case Decoder::None: return {};
    case Decoder::Avifdec:
    case Decoder::Djxl: {
        const std::string png = scratch + "/decoded.png";
        std::error_code ignored;
        fs::remove(png, ignored);
        const CommandResult result =
            decoder == Decoder::Avifdec ? runCommand({"avifdec", path, png}) : runCommand({"djxl", path, png});
        if (result.exitCode != 0)
            return {};
        return pixelSignatures(png);
    }
    }
    return {};
}

// Offsets where two files of one size differ.
std::vector<std::size_t> differingOffsets(const Bytes& before, const Bytes& after)
{
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < before.size() && i < after.size(); ++i)
        if (before[i] != after[i])
            offsets.push_back(i);
    return offsets;
}

// Where the old date values lie: each half of "yyyy:MM:dd HH:mm:ss\0"
// (10 bytes each) wherever it occurs, so a value stored across two HEIF
// extents is found too. The count of halves found is returned in `halves`.
std::vector<bool> dateBytes(const Bytes& bytes, const std::string& date, std::size_t& halves)
{
    std::vector<bool> allowed(bytes.size(), false);
    const std::string value = date + std::string(1, '\0');
    halves = 0;
    for (const std::string& half : {value.substr(0, 10), value.substr(10)}) {
        for (auto it = bytes.begin(); (it = std::search(it, bytes.end(), half.begin(), half.end())) != bytes.end();
             ++it) {
            std::fill_n(allowed.begin() + (it - bytes.begin()), half.size(), true);
            ++halves;
        }
    }
    return allowed;
}

// The CRC bytes of a PNG's eXIf chunk, which a patch must refresh.
std::vector<std::size_t> pngExifCrcBytes(const Bytes& png)
{
    std::vector<std::size_t> crc;
    if (png.size() < 8 || png[1] != 'P' || png[2] != 'N' || png[3] != 'G')
        return crc;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::size_t length =
            std::size_t(png[at]) << 24 | std::size_t(png[at + 1]) << 16 | std::size_t(png[at + 2]) << 8 | png[at + 3];
        if (length > png.size() - at - 12)
            break;
        if (std::equal(png.begin() + std::ptrdiff_t(at + 4), png.begin() + std::ptrdiff_t(at + 8), "eXIf"))
            for (std::size_t i = 0; i < 4; ++i)
                crc.push_back(at + 8 + length + i);
        at += 12 + length;
    }
    return crc;
}

// --- one container, one outcome ---------------------------------------------

enum class Outcome {
    Patched, // both dates had room: only their bytes change
    LaidOutAgain, // a field was missing: Exiv2 writes the metadata anew
    CannotAdd, // a field was missing in a container we cannot grow: untouched
    Appended, // a field was missing from a TIFF: an Exif IFD copy with it goes at the end
};

struct FormatRow {
    const char* name;
    Container container;
    bool withDigitized;
    Outcome outcome;
    Decoder decoder;
    // exiv2 0.27.6 reads a HEIF iloc only when each entry is 14, 16 or 18
    // bytes long with one extent: heif-enc's base offsets and split items
    // are beyond it, so for those rows its reading is optional. It reads a
    // RAF only when the raw data is laid out as a camera's.
    bool exiv2MayNotRead = false;
};

void PrintTo(const FormatRow& row, std::ostream* out)
{
    *out << row.name;
}

const FormatRow kFormatRows[] = {
    // Both dates present as 20-byte values: patched where they lie.
    {"jpeg_xmp_before_exif", Container::JpegXmpFirst, true, Outcome::Patched, Decoder::Identify},
    {"jpeg_two_exif_segments", Container::JpegTwoExif, true, Outcome::Patched, Decoder::Identify},
    {"tiff", Container::Tiff, true, Outcome::Patched, Decoder::Identify},
    {"dng", Container::Dng, true, Outcome::Patched, Decoder::IdentifyAsTiff},
    {"png_exif_before_idat", Container::PngExifBeforeIdat, true, Outcome::Patched, Decoder::Identify},
    {"png_exif_after_idat", Container::PngExifAfterIdat, true, Outcome::Patched, Decoder::Identify},
    {"webp", Container::WebP, true, Outcome::Patched, Decoder::Identify},
    {"heic_base_offsets", Container::HeicBaseOffsets, true, Outcome::Patched, Decoder::Identify, true},
    {"heic_plain_offsets", Container::HeicPlainOffsets, true, Outcome::Patched, Decoder::Identify},
    {"heic_exif_in_two_extents", Container::HeicSplitExif, true, Outcome::Patched, Decoder::Identify, true},
    {"avif", Container::Avif, true, Outcome::Patched, Decoder::Avifdec},
    {"jpeg_xl_exif_box", Container::JpegXl, true, Outcome::Patched, Decoder::Djxl},
    {"raf", Container::Raf, true, Outcome::Patched, Decoder::None, true},
    // DateTimeDigitized missing.
    {"jpeg_no_digitized", Container::JpegXmpFirst, false, Outcome::LaidOutAgain, Decoder::Identify},
    {"tiff_no_digitized", Container::Tiff, false, Outcome::Appended, Decoder::Identify},
    {"dng_no_digitized", Container::Dng, false, Outcome::Appended, Decoder::IdentifyAsTiff},
    {"webp_no_digitized", Container::WebP, false, Outcome::LaidOutAgain, Decoder::Identify},
    // PNG: Exiv2 would turn eXIf into a text chunk, so only the block is
    // laid out again and goes back into its chunk, where it was.
    {"png_before_idat_no_digitized", Container::PngExifBeforeIdat, false, Outcome::LaidOutAgain, Decoder::Identify},
    {"png_after_idat_no_digitized", Container::PngExifAfterIdat, false, Outcome::LaidOutAgain, Decoder::Identify},
    {"heic_no_digitized", Container::HeicBaseOffsets, false, Outcome::CannotAdd, Decoder::Identify, true},
    {"heic_two_extents_no_digitized", Container::HeicSplitExif, false, Outcome::CannotAdd, Decoder::Identify, true},
    {"avif_no_digitized", Container::Avif, false, Outcome::CannotAdd, Decoder::Avifdec},
    {"jpeg_xl_no_digitized", Container::JpegXl, false, Outcome::CannotAdd, Decoder::Djxl},
    {"raf_no_digitized", Container::Raf, false, Outcome::CannotAdd, Decoder::None, true},
};

class FormatFixtureTest : public ::testing::TestWithParam<FormatRow> {};

TEST_P(FormatFixtureTest, PatchesLaysOutAgainOrPassesOverUntouched)
{
    const FormatRow& row = GetParam();
    std::vector<std::string> tools = {"convert", "identify", "exiftool", "exiv2"};
    for (const auto& tool : makerTools(row.container))
        tools.push_back(tool);
    if (std::find(tools.begin(), tools.end(), decoderTool(row.decoder)) == tools.end())
        tools.push_back(decoderTool(row.decoder));
    SKIP_WITHOUT_TOOLS(tools);

    TempFolder temp;
    fs::create_directory(temp / "made");
    fs::create_directory(temp / "disk");
    const MadeFile made = makeContainer(row.container, row.withDigitized, temp / "made");
    ASSERT_TRUE(made.error.empty()) << "cannot make the fixture: " << made.error;
    const std::string original = made.path;
    const std::string onDisk = temp / ("disk/" + fs::path(original).filename().string());
    fs::copy_file(original, onDisk);
    setTimes(onDisk);
    const Bytes before = readBytes(original);
    const std::string oldDate = kFormatFixtureDate;
    const std::string newDate = shiftedDateText(oldDate, kDayAndHour);
    ASSERT_EQ(newDate, "2020:03:02 00:30:15");

    // The fixture is what the row says it is, as exiftool sees it.
    const ExiftoolDates old = exiftoolDates(original);
    ASSERT_FALSE(old.original.empty()) << "exiftool reads no DateTimeOriginal in the fixture";
    ASSERT_EQ(old.original.front(), oldDate);
    if (row.withDigitized) {
        ASSERT_FALSE(old.digitized.empty()) << "exiftool reads no CreateDate in the fixture";
        ASSERT_EQ(old.digitized.front(), oldDate);
    } else {
        ASSERT_TRUE(old.digitized.empty()) << "CreateDate should have been removed";
    }
    const auto exiv2Before = exiv2Dates(original);
    const bool exiv2Reads = exiv2Value(exiv2Before, "Exif.Photo.DateTimeOriginal") == oldDate;
    if (!exiv2Reads) {
        ASSERT_TRUE(row.exiv2MayNotRead) << "exiv2 should read the fixture's DateTimeOriginal";
        std::cout << "[ note ] exiv2 0.27.6 does not read this file's EXIF (its layout): the exiv2 "
                     "read-back is skipped for this row; exiftool still checks it\n";
    }

    const DateRewrite rewrite = rewriteExifDates(before, shiftByDayAndHour());
    const FileRewrite onFile = rewriteFile(onDisk, onDisk, shiftByDayAndHour());
    const Bytes written = readBytes(onDisk);
    EXPECT_EQ(rewrite.oldDate, oldDate);
    EXPECT_EQ(onFile.oldDate, oldDate);
    EXPECT_EQ(leftoverTemporaryFiles(temp.path()), std::vector<std::string>{});

    if (row.outcome == Outcome::CannotAdd) {
        EXPECT_EQ(reasonKey(rewrite.reason), reasonKey(Reason::CannotAddDate));
        EXPECT_EQ(reasonKey(onFile.reason), reasonKey(Reason::CannotAddDate));
        EXPECT_TRUE(written == before) << "a file passed over must stay byte for byte as it was";
        EXPECT_TRUE(sameTime(statOf(onDisk).st_mtim, kMtime)) << "the file was touched";
        return;
    }

    ASSERT_EQ(reasonKey(rewrite.reason), reasonKey(Reason::Rewritten));
    ASSERT_EQ(reasonKey(onFile.reason), reasonKey(Reason::Rewritten));
    EXPECT_EQ(rewrite.newDate, newDate);
    EXPECT_EQ(rewrite.patchedInPlace, row.outcome == Outcome::Patched || row.outcome == Outcome::Appended);
    EXPECT_TRUE(written == rewrite.bytes) << "the file on disk is not what the in-memory rewrite made";

    if (row.outcome == Outcome::Patched) {
        ASSERT_EQ(written.size(), before.size());
        std::size_t halves = 0;
        std::vector<bool> allowed = dateBytes(before, oldDate, halves);
        EXPECT_EQ(halves, 4u) << "the fixture should store both date values once each";
        const auto crc = pngExifCrcBytes(before);
        for (const std::size_t at : crc)
            allowed[at] = true;
        std::size_t outside = 0;
        std::size_t first = 0;
        for (const std::size_t at : differingOffsets(before, written))
            if (!allowed[at] && outside++ == 0)
                first = at;
        EXPECT_EQ(outside, 0u) << "bytes changed outside the 40 date bytes" << (crc.empty() ? "" : " and the CRC")
                               << ", the first at offset " << first;
    }

    if (row.outcome == Outcome::Appended) {
        // Nothing moved: the old file is all there, but for the Exif IFD
        // offset (4 bytes) and DateTimeOriginal's 20.
        ASSERT_GT(written.size(), before.size());
        EXPECT_LE(differingOffsets(before, written).size(), 24u);
    }

    if (row.outcome == Outcome::LaidOutAgain) {
        const auto piecesBefore = piecesOutsideExif(before);
        if (row.container != Container::Tiff && row.container != Container::Dng) {
            EXPECT_FALSE(piecesBefore.empty()) << "the fixture's segments or chunks could not be listed";
        }
        EXPECT_TRUE(piecesOutsideExif(written) == piecesBefore)
            << "a segment or chunk other than the EXIF one changed, moved or went missing";
        if (row.container == Container::PngExifBeforeIdat || row.container == Container::PngExifAfterIdat) {
            const auto piecesAfter = piecesOutsideExif(written);
            EXPECT_EQ(std::count(piecesAfter.begin(), piecesAfter.end(), "eXIf"), 1)
                << "the EXIF must stay in its one eXIf chunk";
        }
    }

    // Read back by tools that share no code with the engine.
    const ExiftoolDates now = exiftoolDates(onDisk);
    ASSERT_FALSE(now.original.empty() || now.digitized.empty()) << "exiftool reads no dates in the result";
    EXPECT_EQ(now.original.front(), newDate) << "exiftool, DateTimeOriginal";
    EXPECT_EQ(now.digitized.front(), newDate) << "exiftool, CreateDate (DateTimeDigitized)";
    if (row.container == Container::JpegTwoExif) {
        EXPECT_EQ(now.original, (std::vector<std::string>{newDate, kSecondSegmentDate}))
            << "only the first Exif segment counts; the second stays as it was";
        EXPECT_EQ(now.digitized, (std::vector<std::string>{newDate, kSecondSegmentDate}));
    }
    if (exiv2Reads) {
        const auto exiv2 = exiv2Dates(onDisk);
        EXPECT_EQ(exiv2Value(exiv2, "Exif.Photo.DateTimeOriginal"), newDate) << "exiv2, DateTimeOriginal";
        EXPECT_EQ(exiv2Value(exiv2, "Exif.Photo.DateTimeDigitized"), newDate) << "exiv2, DateTimeDigitized";
    }

    const auto tagsBefore = exiftoolJson(original);
    const auto tagsAfter = exiftoolJson(onDisk);
    EXPECT_EQ(jsonValue(tagsAfter, "File:FileType"), jsonValue(tagsBefore, "File:FileType"))
        << "the file changed its format";
    const bool relaid =
        row.outcome == Outcome::LaidOutAgain || row.outcome == Outcome::Appended; // the Exif IFD offset moves
    const auto kept = comparableJson(tagsBefore, relaid);
    const auto left = comparableJson(tagsAfter, relaid);
    EXPECT_GT(kept.size(), 5u) << "exiftool read too little of the fixture to compare";
    EXPECT_TRUE(kept == left) << "tags other than the dates changed:" << describeDifferences(kept, left);

    if (row.decoder != Decoder::None) {
        const auto pixelsBefore = decodedPixels(row.decoder, original, temp.path());
        ASSERT_FALSE(pixelsBefore.empty()) << "the fixture does not decode with " << decoderTool(row.decoder);
        EXPECT_EQ(decodedPixels(row.decoder, onDisk, temp.path()), pixelsBefore) << "pixels or pages changed";
    }
    EXPECT_TRUE(pngCrcsValid(written)) << "a PNG chunk CRC is wrong";
    if (missingTools({"pngcheck"}).empty() && !pngExifCrcBytes(written).empty()) {
        const CommandResult check = runCommand({"pngcheck", "-q", onDisk});
        EXPECT_EQ(check.exitCode, 0) << "pngcheck: " << check.out << check.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Containers, FormatFixtureTest, ::testing::ValuesIn(kFormatRows),
                         [](const ::testing::TestParamInfo<FormatRow>& info) { return info.param.name; });

// --- a damaged HEIF index ---------------------------------------------------

enum class IlocDamage { OffsetPastEnd, LengthPastEnd, LengthCutShort, OffsetByOne };

struct DamageRow {
    const char* name;
    IlocDamage damage;
};

void PrintTo(const DamageRow& row, std::ostream* out)
{
    *out << row.name;
}

const DamageRow kDamageRows[] = {
    {"offset_past_the_end", IlocDamage::OffsetPastEnd},
    {"length_past_the_end", IlocDamage::LengthPastEnd},
    {"length_cut_before_the_dates", IlocDamage::LengthCutShort},
    {"offset_one_byte_late", IlocDamage::OffsetByOne},
};

class BrokenIlocTest : public ::testing::TestWithParam<DamageRow> {};

TEST_P(BrokenIlocTest, PassesTheFileOverUntouched)
{
    SKIP_WITHOUT_TOOLS({"convert", "exiftool", "heif-enc"});
    TempFolder temp;
    const MadeFile made = makeContainer(Container::HeicBaseOffsets, true, temp.path());
    ASSERT_TRUE(made.error.empty()) << "cannot make the fixture: " << made.error;
    Bytes broken = readBytes(made.path);
    const HeifExifExtent extent = heifExifExtent(broken);
    ASSERT_TRUE(extent.found) << "no single-extent Exif item in heif-enc's file";
    switch (GetParam().damage) {
    case IlocDamage::OffsetPastEnd: putBigEndian(broken, extent.offsetField, extent.offsetSize, 0xFFFFFF00u); break;
    case IlocDamage::LengthPastEnd: putBigEndian(broken, extent.lengthField, extent.lengthSize, 0xFFFFFF00u); break;
    case IlocDamage::LengthCutShort:
        // The date values lie at the end of the item.
        putBigEndian(broken, extent.lengthField, extent.lengthSize, extent.itemLength - 40);
        break;
    case IlocDamage::OffsetByOne: {
        const std::size_t offset = extent.offsetField;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < extent.offsetSize; ++i)
            value = value << 8 | broken[offset + i];
        putBigEndian(broken, offset, extent.offsetSize, value + 1);
        break;
    }
    }
    const std::string path = temp / "broken.heic";
    writeBytes(path, broken);
    setTimes(path);

    const DateRewrite rewrite = rewriteExifDates(broken, shiftByDayAndHour());
    const FileRewrite onFile = rewriteFile(path, path, shiftByDayAndHour());

    EXPECT_NE(reasonKey(rewrite.reason), reasonKey(Reason::Rewritten));
    EXPECT_NE(reasonKey(onFile.reason), reasonKey(Reason::Rewritten));
    EXPECT_TRUE(readBytes(path) == broken) << "a file passed over must stay byte for byte as it was";
    EXPECT_TRUE(sameTime(statOf(path).st_mtim, kMtime)) << "the file was touched";
    EXPECT_EQ(leftoverTemporaryFiles(temp.path()), std::vector<std::string>{});
    std::cout << "[ note ] " << GetParam().name << ": " << reasonKey(onFile.reason) << "\n";
}

INSTANTIATE_TEST_SUITE_P(Damages, BrokenIlocTest, ::testing::ValuesIn(kDamageRows),
                         [](const ::testing::TestParamInfo<DamageRow>& info) { return info.param.name; });

// --- compressed metadata ----------------------------------------------------

TEST(JpegXlBrobTest, ExifInABrotliBoxIsPassedOverUntouched)
{
    SKIP_WITHOUT_TOOLS({"convert", "exiftool", "cjxl"});
    TempFolder temp;
    const MadeFile made = makeContainer(Container::JpegXlBrob, true, temp.path());
    ASSERT_TRUE(made.error.empty()) << "cannot make the fixture: " << made.error;
    const Bytes before = readBytes(made.path);
    ASSERT_TRUE(jxlHasBox(before, "brob")) << "cjxl stored the EXIF uncompressed: the row tests nothing";
    ASSERT_FALSE(jxlHasBox(before, "Exif"));
    setTimes(made.path);

    const DateRewrite rewrite = rewriteExifDates(before, shiftByDayAndHour());
    const FileRewrite onFile = rewriteFile(made.path, made.path, shiftByDayAndHour());

    EXPECT_EQ(reasonKey(rewrite.reason), reasonKey(Reason::UnsupportedFormat));
    EXPECT_EQ(reasonKey(onFile.reason), reasonKey(Reason::UnsupportedFormat));
    EXPECT_TRUE(readBytes(made.path) == before);
    EXPECT_TRUE(sameTime(statOf(made.path).st_mtim, kMtime)) << "the file was touched";
}

// --- a Canon CRW time stamp ---------------------------------------------------

// 2003:11:10 17:39:26, as the corpus CRW holds it.
constexpr std::uint32_t kCiffSeconds = 1068485966;

struct CiffRow {
    const char* name;
    std::uint32_t seconds; // the time stamp the file holds
    DateArguments args;
    const char* expected; // the date exiftool reads afterwards; nullptr: passed over
    Reason reason;
    bool bigEndian = false;
    bool brokenHeap = false; // the root heap's table offset points past its end
};

void PrintTo(const CiffRow& row, std::ostream* out)
{
    *out << row.name;
}

LocalSeconds wallClock(int y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s)
{
    return *makeLocalSeconds(y, mo, d, h, mi, s);
}

const CiffRow kCiffRows[] = {
    {"shift", kCiffSeconds, shiftByDayAndHour(), "2003:11:11 18:39:26", Reason::Rewritten},
    {"shift_big_endian", kCiffSeconds, shiftByDayAndHour(), "2003:11:11 18:39:26", Reason::Rewritten, true},
    {"date_and_time", kCiffSeconds, {0, wallClock(2020, 2, 29, 12, 0, 0), 0}, "2020:02:29 12:00:00", Reason::Rewritten},
    {"date_only", kCiffSeconds, {1, wallClock(2015, 6, 1, 8, 0, 0), 0}, "2015:06:01 17:39:26", Reason::Rewritten},
    {"time_only", kCiffSeconds, {2, wallClock(2015, 6, 1, 8, 0, 0), 0}, "2003:11:10 08:00:00", Reason::Rewritten},
    {"unset_given_date_and_time",
     0,
     {0, wallClock(2020, 2, 29, 12, 0, 0), 0},
     "2020:02:29 12:00:00",
     Reason::Rewritten},
    {"unset_shifted", 0, shiftByDayAndHour(), nullptr, Reason::NoFileDate},
    {"shift_before_1970", 3600, {99, {}, -7200}, nullptr, Reason::DateOutOfRange},
    {"date_past_2106", kCiffSeconds, {0, wallClock(2107, 1, 1, 0, 0, 0), 0}, nullptr, Reason::DateOutOfRange},
    {"broken_heap", kCiffSeconds, shiftByDayAndHour(), nullptr, Reason::UnsupportedFormat, false, true},
};

class CiffTimeStampTest : public ::testing::TestWithParam<CiffRow> {};

TEST_P(CiffTimeStampTest, PatchesTheSecondsAloneOrPassesOverUntouched)
{
    SKIP_WITHOUT_TOOLS({"exiftool"});
    const CiffRow& row = GetParam();
    TempFolder temp;
    Ciff ciff = makeCiff(row.seconds, row.bigEndian);
    if (row.brokenHeap)
        putBigEndian(ciff.bytes, ciff.rootTableOffsetAt, 4, 0x01000000);
    const std::string path = temp / "IMG_0001.CRW";
    writeBytes(path, ciff.bytes);
    setTimes(path);
    const auto exiftoolDate = [&] { return runCommand({"exiftool", "-s3", "-CanonRaw:DateTimeOriginal", path}).out; };
    if (row.seconds == kCiffSeconds && !row.brokenHeap) {
        ASSERT_EQ(exiftoolDate(), "2003:11:10 17:39:26\n") << "exiftool does not read the fixture";
    }

    const FileRewrite onFile = rewriteFile(path, path, row.args);
    const Bytes written = readBytes(path);
    EXPECT_EQ(reasonKey(onFile.reason), reasonKey(row.reason));
    EXPECT_EQ(leftoverTemporaryFiles(temp.path()), std::vector<std::string>{});
    if (!row.expected) {
        EXPECT_TRUE(written == ciff.bytes) << "a file passed over must stay byte for byte as it was";
        EXPECT_TRUE(sameTime(statOf(path).st_mtim, kMtime)) << "the file was touched";
        return;
    }
    EXPECT_EQ(exiftoolDate(), std::string(row.expected) + "\n");
    EXPECT_EQ(onFile.newDate, row.expected);
    ASSERT_EQ(written.size(), ciff.bytes.size());
    for (const std::size_t at : differingOffsets(ciff.bytes, written))
        EXPECT_TRUE(at >= ciff.timeStampAt && at < ciff.timeStampAt + 4) << "byte " << at << " changed";
    const CommandResult zone = runCommand({"exiftool", "-s3", "-TimeZoneCode", path});
    EXPECT_EQ(zone.out, "-9\n") << "the zone code must stay";
}

INSTANTIATE_TEST_SUITE_P(Modes, CiffTimeStampTest, ::testing::ValuesIn(kCiffRows),
                         [](const ::testing::TestParamInfo<CiffRow>& info) { return info.param.name; });

} // namespace
} // namespace shotdate
