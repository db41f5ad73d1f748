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
#include "rewrite_check.h"
#include "run/file_rewrite.h"
#include "run/reason.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <iostream>
#include <optional>
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

// --- one container, one outcome ---------------------------------------------

struct FormatRow {
    const char* name;
    Container container;
    bool withDigitized;
    std::optional<Layout> layout; // none: a field is missing in a container we cannot grow, passed over
    Decoder decoder;
    // exiv2 0.27.6 reads a HEIF iloc only when each entry is 14, 16 or 18
    // bytes long with one extent: heif-enc's base offsets and split items
    // are beyond it. It reads a RAF only when the raw data is laid out as a camera's.
    bool exiv2MayNotRead = false;
};

void PrintTo(const FormatRow& row, std::ostream* out)
{
    *out << row.name;
}

constexpr auto kPatched = Layout::Patched;
constexpr auto kLaidOut = Layout::LaidOut;
constexpr auto kAppended = Layout::Appended;
constexpr std::nullopt_t kCannotAdd = std::nullopt;

const FormatRow kFormatRows[] = {
    // Both dates present as 20-byte values: patched where they lie.
    {"jpeg_xmp_before_exif", Container::JpegXmpFirst, true, kPatched, Decoder::Identify},
    {"jpeg_two_exif_segments", Container::JpegTwoExif, true, kPatched, Decoder::Identify},
    {"dng", Container::Dng, true, kPatched, Decoder::IdentifyAsTiff},
    {"png_exif_after_idat", Container::PngExifAfterIdat, true, kPatched, Decoder::Identify},
    {"heic_base_offsets", Container::HeicBaseOffsets, true, kPatched, Decoder::Identify, true},
    {"heic_plain_offsets", Container::HeicPlainOffsets, true, kPatched, Decoder::Identify},
    {"heic_exif_in_two_extents", Container::HeicSplitExif, true, kPatched, Decoder::Identify, true},
    {"avif", Container::Avif, true, kPatched, Decoder::Avifdec},
    {"jpeg_xl_exif_box", Container::JpegXl, true, kPatched, Decoder::Djxl},
    {"raf", Container::Raf, true, kPatched, Decoder::None, true},
    // DateTimeDigitized missing.
    {"jpeg_no_digitized", Container::JpegXmpFirst, false, kLaidOut, Decoder::Identify},
    {"dng_no_digitized", Container::Dng, false, kAppended, Decoder::IdentifyAsTiff},
    // PNG: Exiv2 would turn eXIf into a text chunk, so only the block is
    // laid out again and goes back into its chunk, where it was.
    {"png_after_idat_no_digitized", Container::PngExifAfterIdat, false, kLaidOut, Decoder::Identify},
    {"heic_no_digitized", Container::HeicBaseOffsets, false, kCannotAdd, Decoder::Identify, true},
    {"heic_two_extents_no_digitized", Container::HeicSplitExif, false, kCannotAdd, Decoder::Identify, true},
    {"avif_no_digitized", Container::Avif, false, kCannotAdd, Decoder::Avifdec},
    {"jpeg_xl_no_digitized", Container::JpegXl, false, kCannotAdd, Decoder::Djxl},
    {"raf_no_digitized", Container::Raf, false, kCannotAdd, Decoder::None, true},
};

class FormatFixtureTest : public ::testing::TestWithParam<FormatRow> {};

TEST_P(FormatFixtureTest, PatchesLaysOutAgainOrPassesOverUntouched)
{
    const FormatRow& row = GetParam();
    std::vector<std::string> tools = {"convert", "identify", "exiftool", "exiv2", decoderTool(row.decoder)};
    for (const auto& tool : makerTools(row.container))
        tools.push_back(tool);
    SKIP_WITHOUT_TOOLS(tools);

    TempFolder temp;
    fs::create_directory(temp / "made");
    fs::create_directory(temp / "disk");
    const MadeFile made = makeContainer(row.container, row.withDigitized, temp / "made");
    ASSERT_TRUE(made.error.empty()) << "cannot make the fixture: " << made.error;
    const std::string onDisk = temp / ("disk/" + fs::path(made.path).filename().string());
    fs::copy_file(made.path, onDisk);
    setTimes(onDisk);
    const Bytes before = readBytes(made.path);

    const DateRewrite rewrite = rewriteExifDates(before, shiftByDayAndHour());
    const FileRewrite onFile = rewriteFile(onDisk, onDisk, shiftByDayAndHour());
    const Bytes written = readBytes(onDisk);
    EXPECT_EQ(rewrite.oldDate, kFormatFixtureDate);
    EXPECT_EQ(onFile.oldDate, kFormatFixtureDate);
    EXPECT_EQ(leftoverTemporaryFiles(temp.path()), std::vector<std::string>{});
    if (!row.layout) {
        EXPECT_EQ(reasonKey(rewrite.reason), reasonKey(Reason::CannotAddDate));
        EXPECT_EQ(reasonKey(onFile.reason), reasonKey(Reason::CannotAddDate));
        EXPECT_TRUE(written == before) << "a file passed over must stay byte for byte as it was";
        EXPECT_TRUE(sameTime(statOf(onDisk).st_mtim, kMtime)) << "the file was touched";
        return;
    }
    ASSERT_EQ(reasonKey(rewrite.reason), reasonKey(Reason::Rewritten));
    ASSERT_EQ(reasonKey(onFile.reason), reasonKey(Reason::Rewritten));
    EXPECT_EQ(rewrite.newDate, "2020:03:02 00:30:15");
    EXPECT_EQ(rewrite.patchedInPlace, row.layout != Layout::LaidOut);
    EXPECT_TRUE(written == rewrite.bytes) << "the file on disk is not what the in-memory rewrite made";
    Faithful expect{.oldDate = kFormatFixtureDate,
                    .newDate = rewrite.newDate,
                    .layout = *row.layout,
                    .decoder = row.decoder,
                    .exiv2Reads = !row.exiv2MayNotRead};
    if (row.container == Container::JpegTwoExif)
        expect.laterCopies = {kSecondSegmentDate}; // only the first Exif segment counts
    expectFaithfulRewrite(made.path, onDisk, expect);
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
    for (const std::size_t at : changesOutsideDates(ciff.bytes, written, {}))
        EXPECT_TRUE(at >= ciff.timeStampAt && at < ciff.timeStampAt + 4) << "byte " << at << " changed";
    const CommandResult zone = runCommand({"exiftool", "-s3", "-TimeZoneCode", path});
    EXPECT_EQ(zone.out, "-9\n") << "the zone code must stay";
}

INSTANTIATE_TEST_SUITE_P(Modes, CiffTimeStampTest, ::testing::ValuesIn(kCiffRows),
                         [](const ::testing::TestParamInfo<CiffRow>& info) { return info.param.name; });

} // namespace
} // namespace shotdate
