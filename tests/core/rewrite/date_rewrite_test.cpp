// EXIF dates of JPEGs built byte by byte, in what no outside tool writes:
// blank, impossible or short date fields, copies of the dates, cut files.
#include "rewrite/date_rewrite.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <string>

using namespace shotdate;
using namespace shotdate::testing_support;

namespace {

std::string asText(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

const DateArguments kShiftOneDay{99, {}, 86400};

struct TiffRow {
    const char* name;
    bool bigEndian;
    const char* original;
    const char* digitized;
    DateArguments args;
    Reason reason;
    bool patched;
};

class JpegDates : public testing::TestWithParam<TiffRow> {};

TEST_P(JpegDates, RewriteOrPassOver)
{
    const TiffRow& row = GetParam();
    const Bytes jpeg = jpegWith(exifTiff(row.original, row.digitized, row.bigEndian));
    const DateRewrite result = rewriteExifDates(jpeg, row.args);
    EXPECT_EQ(result.reason, row.reason) << reasonKey(result.reason);
    EXPECT_EQ(result.patchedInPlace, row.patched);
    if (row.patched) {
        ASSERT_EQ(result.bytes.size(), jpeg.size());
        EXPECT_LE(std::inner_product(jpeg.begin(), jpeg.end(), result.bytes.begin(), 0u, std::plus<>(),
                                     std::not_equal_to<>()),
                  40u);
        EXPECT_EQ(asText(result.bytes).find(result.newDate), asText(jpeg).find(row.original));
    }
}

const LocalSeconds kGiven = *makeLocalSeconds(2013, 1, 15, 8, 0, 0);

// clang-format off
const TiffRow kJpegRows[] = {
    {"LittleEndianShift", false, "2012:12:31 23:30:00", "2012:12:31 23:30:00", {99, {}, 3600}, Reason::Rewritten, true},
    {"BigEndianShift", true, "2012:12:31 23:30:00", "2001:01:01 00:00:00", {99, {}, 3600}, Reason::Rewritten, true},
    {"BlankDateShift", false, "    :  :     :  :  ", "    :  :     :  :  ", {99, {}, 60}, Reason::NoFileDate, false},
    {"BlankDateFixed", false, "    :  :     :  :  ", "    :  :     :  :  ", {0, kGiven, 0}, Reason::Rewritten, true},
    {"InvalidDateShift", true, "2012:02:30 10:00:00", "2012:02:30 10:00:00", {99, {}, 60}, Reason::BadFileDate, false},
    {"ShortFieldShift", false, "2012:05:03", "2012:05:03 13:45:12", {99, {}, 60}, Reason::BadFileDate, false},
    // A field too short for the new date is laid out again. Plain files, in
    // every mode: the fixture rows of rewrite_fixture_test.cpp.
    {"ShortFieldFixed", false, "2012:05:03", "2012:05:03 13:45:12", {0, kGiven, 0}, Reason::Rewritten, false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, JpegDates, testing::ValuesIn(kJpegRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegDates, EveryExifIfdCopyOfTheDatesChanges)
{
    // Readers that show the last copy would otherwise still show the old date.
    const Bytes jpeg = jpegWith(exifTiffWithSecondExifIfd("2006:04:26 00:26:14"));
    const DateRewrite result = rewriteExifDates(jpeg, kShiftOneDay);
    ASSERT_EQ(result.reason, Reason::Rewritten) << reasonKey(result.reason);
    const std::string text = asText(result.bytes);
    EXPECT_EQ(text.find("2006:04:26"), std::string::npos);
    std::size_t copies = 0;
    for (auto at = text.find("2006:04:27 00:26:14"); at != std::string::npos; at = text.find("2006:04:27", at + 1))
        ++copies;
    EXPECT_EQ(copies, 4u);
}

TEST(JpegDates, ADateEntryWrittenTwiceChangesInBothPlaces)
{
    // Readers differ in which of two equal tags they show; exiftool shows the last.
    const std::string date = "2006:04:26 00:26:14";
    const Bytes jpeg = jpegWith(exifTiffWith({{0x9003, date}, {0x9004, date}, {0x9003, date}, {0x9004, date}}));
    const DateRewrite result = rewriteExifDates(jpeg, kShiftOneDay);
    ASSERT_EQ(result.reason, Reason::Rewritten) << reasonKey(result.reason);
    EXPECT_TRUE(result.patchedInPlace);
    EXPECT_EQ(asText(result.bytes).find("2006:04:26"), std::string::npos) << "a copy kept the old date";
}

TEST(JpegDates, TruncatedFilesAndAnUnknownByteOrderAreNeverRewritten)
{
    const Bytes jpeg = jpegWith(exifTiff("2012:05:03 13:45:12", "2012:05:03 13:45:12"));
    Bytes unknownOrder = jpeg;
    const auto mark = std::search(unknownOrder.begin(), unknownOrder.end(), std::begin("II*"), std::end("II*") - 1);
    ASSERT_NE(mark, unknownOrder.end());
    mark[0] = mark[1] = 'X';
    EXPECT_NE(rewriteExifDates(unknownOrder, kShiftOneDay).reason, Reason::Rewritten);
    for (std::size_t size = 0; size + 12 < jpeg.size(); ++size) {
        const Bytes cut(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(size));
        EXPECT_NE(rewriteExifDates(cut, kShiftOneDay).reason, Reason::Rewritten) << "cut at " << size;
    }
}

} // namespace
