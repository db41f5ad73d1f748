// Damaged HEIF indexes the engine must pass over untouched, and a Canon
// CRW's time stamp in every mode, read back by exiftool.

#include "file_times.h"
#include "fixtures.h"
#include "format_fixtures.h"
#include "needed_tools.h"
#include "rewrite/date_rewrite.h"
#include "run/file_rewrite.h"
#include "run/reason.h"
#include "table_row.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <iostream>
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

// --- a damaged HEIF index ---------------------------------------------------

enum class IlocDamage { OffsetPastEnd, LengthPastEnd, LengthCutShort, OffsetByOne };

struct DamageRow {
    const char* name;
    IlocDamage damage;
};

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
    case IlocDamage::OffsetByOne:
        putBigEndian(broken, extent.offsetField, extent.offsetSize,
                     getBigEndian(broken, extent.offsetField, extent.offsetSize) + 1);
        break;
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

INSTANTIATE_TEST_SUITE_P(Damages, BrokenIlocTest, ::testing::ValuesIn(kDamageRows), kRowName);

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

LocalSeconds wallClock(int y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s)
{
    return *makeLocalSeconds(y, mo, d, h, mi, s);
}

// clang-format off
const CiffRow kCiffRows[] = {
    {"shift", kCiffSeconds, shiftByDayAndHour(), "2003:11:11 18:39:26", Reason::Rewritten},
    {"shift_big_endian", kCiffSeconds, shiftByDayAndHour(), "2003:11:11 18:39:26", Reason::Rewritten, true},
    {"date_and_time", kCiffSeconds, {0, wallClock(2020, 2, 29, 12, 0, 0), 0}, "2020:02:29 12:00:00", Reason::Rewritten},
    {"unset_given_date_and_time", 0, {0, wallClock(2020, 2, 29, 12, 0, 0), 0}, "2020:02:29 12:00:00", Reason::Rewritten},
    {"unset_shifted", 0, shiftByDayAndHour(), nullptr, Reason::NoFileDate},
    {"shift_before_1970", 3600, {99, {}, -7200}, nullptr, Reason::DateOutOfRange},
    {"date_past_2106", kCiffSeconds, {0, wallClock(2107, 1, 1, 0, 0, 0), 0}, nullptr, Reason::DateOutOfRange},
    {"broken_heap", kCiffSeconds, shiftByDayAndHour(), nullptr, Reason::UnsupportedFormat, false, true},
};
// clang-format on

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

INSTANTIATE_TEST_SUITE_P(Modes, CiffTimeStampTest, ::testing::ValuesIn(kCiffRows), kRowName);

} // namespace
} // namespace shotdate
