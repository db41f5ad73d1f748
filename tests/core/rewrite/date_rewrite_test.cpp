// EXIF inside box-structured files (HEIF and friends): found through
// meta/iinf/iloc, patched in place even when split over several extents,
// and a damaged index leaves the file untouched.
#include "rewrite/date_rewrite.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <string>

using namespace shotdate;
using namespace shotdate::testing_support;

namespace {

void box(Bytes& out, const char* type, const Bytes& payload)
{
    put32(out, std::uint32_t(8 + payload.size()), true);
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), payload.begin(), payload.end());
}

struct HeifLayout {
    Bytes file;
    std::size_t itemStart = 0;
};

// ftyp, meta (iinf with one Exif item, iloc with the item's extents), mdat.
// The Exif item is the 4-byte header offset, "Exif\0\0", then the TIFF.
HeifLayout heifWithExif(const Bytes& tiff, int extents, bool breakIloc = false)
{
    Bytes item;
    put32(item, 6, true);
    item.insert(item.end(), {'E', 'x', 'i', 'f', 0, 0});
    item.insert(item.end(), tiff.begin(), tiff.end());

    Bytes ftyp{'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1', 'h', 'e', 'i', 'c'};
    Bytes infe{2, 0, 0, 0};
    put16(infe, 1, true); // item ID
    put16(infe, 0, true); // protection index
    infe.insert(infe.end(), {'E', 'x', 'i', 'f', 0});
    Bytes iinf{0, 0, 0, 0};
    put16(iinf, 1, true);
    box(iinf, "infe", infe);

    auto layout = [&](std::uint32_t mdatPayload) {
        Bytes iloc{0, 0, 0, 0, 0x44, 0x00}; // version 0, 4-byte offsets and lengths, no base offset
        put16(iloc, 1, true);
        put16(iloc, 1, true); // item ID
        put16(iloc, 0, true); // data reference
        put16(iloc, std::uint16_t(extents), true);
        // Extents in file order; split the item into `extents` runs with a
        // gap of 3 bytes of filler between them inside mdat.
        const std::size_t piece = item.size() / std::size_t(extents);
        std::uint32_t at = mdatPayload;
        for (int e = 0; e < extents; ++e) {
            const std::size_t length = e + 1 == extents ? item.size() - piece * std::size_t(e) : piece;
            put32(iloc, at, true);
            put32(iloc, breakIloc ? 0xFFFFFF00u : std::uint32_t(length), true);
            at += std::uint32_t(length) + 3;
        }
        Bytes meta{0, 0, 0, 0};
        box(meta, "iinf", iinf);
        box(meta, "iloc", iloc);
        Bytes file;
        box(file, "ftyp", ftyp);
        box(file, "meta", meta);
        return file;
    };
    // Lay out once to learn where mdat's payload starts, then for real.
    const std::size_t head = layout(0).size();
    HeifLayout out;
    out.file = layout(std::uint32_t(head + 8));
    Bytes mdat;
    const std::size_t piece = item.size() / std::size_t(extents);
    for (int e = 0; e < extents; ++e) {
        const std::size_t from = piece * std::size_t(e);
        const std::size_t to = e + 1 == extents ? item.size() : from + piece;
        mdat.insert(mdat.end(), item.begin() + std::ptrdiff_t(from), item.begin() + std::ptrdiff_t(to));
        mdat.insert(mdat.end(), {0xAA, 0xBB, 0xCC});
    }
    out.itemStart = out.file.size() + 8;
    box(out.file, "mdat", mdat);
    return out;
}

std::size_t differingBytes(const Bytes& a, const Bytes& b)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        n += a[i] != b[i];
    return n + (a.size() > b.size() ? a.size() - b.size() : b.size() - a.size());
}

std::string asText(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

const DateArguments kShiftOneDay{99, {}, 86400};

class HeifExtents : public testing::TestWithParam<int> {};

TEST_P(HeifExtents, PatchesOnlyTheDateBytesWhereverTheyLie)
{
    const auto heif = heifWithExif(exifTiff("2020:04:17 10:03:40", "2020:04:17 10:03:40"), GetParam());
    const DateRewrite result = rewriteExifDates(heif.file, kShiftOneDay);
    ASSERT_EQ(result.reason, Reason::Rewritten) << reasonKey(result.reason);
    EXPECT_TRUE(result.patchedInPlace);
    EXPECT_EQ(result.oldDate, "2020:04:17 10:03:40");
    ASSERT_EQ(result.bytes.size(), heif.file.size());
    // "17 10" -> "18 10" in each field: one byte each.
    EXPECT_EQ(differingBytes(heif.file, result.bytes), 2u);
    const std::string text = asText(result.bytes);
    // Split fields may straddle the filler, so look for the digits around it.
    EXPECT_EQ(text.find("2020:04:17"), std::string::npos);
    EXPECT_NE(text.find("\xAA\xBB\xCC"), std::string::npos) << "filler between extents must survive";
}

INSTANTIATE_TEST_SUITE_P(Extents, HeifExtents, testing::Values(1, 2, 5, 13));

TEST(HeifExif, DamagedIndexIsPassedOverUntouched)
{
    const auto heif = heifWithExif(exifTiff("2020:04:17 10:03:40", "2020:04:17 10:03:40"), 2, true);
    const DateRewrite result = rewriteExifDates(heif.file, kShiftOneDay);
    EXPECT_EQ(result.reason, Reason::UnsupportedFormat);
    EXPECT_TRUE(result.bytes.empty());
}

TEST(HeifExif, MissingDigitizedCannotBeAdded)
{
    const auto heif = heifWithExif(exifTiff("2020:04:17 10:03:40", ""), 1);
    EXPECT_EQ(rewriteExifDates(heif.file, kShiftOneDay).reason, Reason::CannotAddDate);
}

TEST(HeifExif, TruncatedFilesNeverReadOutOfBounds)
{
    const auto heif = heifWithExif(exifTiff("2020:04:17 10:03:40", "2020:04:17 10:03:40"), 3);
    // The last three bytes are filler after the item: cutting them still
    // leaves a complete Exif item.
    for (std::size_t size = 0; size + 3 < heif.file.size(); ++size) {
        const Bytes cut(heif.file.begin(), heif.file.begin() + std::ptrdiff_t(size));
        const DateRewrite result = rewriteExifDates(cut, kShiftOneDay);
        EXPECT_NE(result.reason, Reason::Rewritten) << "cut at " << size;
    }
}

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
        EXPECT_LE(differingBytes(jpeg, result.bytes), 40u);
        EXPECT_EQ(asText(result.bytes).find(result.newDate), asText(jpeg).find(row.original));
    }
}

const LocalSeconds kGiven = *makeLocalSeconds(2013, 1, 15, 8, 0, 0);

// clang-format off
const TiffRow kJpegRows[] = {
    {"LittleEndianShift", false, "2012:12:31 23:30:00", "2012:12:31 23:30:00", {99, {}, 3600}, Reason::Rewritten, true},
    {"BigEndianShift", true, "2012:12:31 23:30:00", "2001:01:01 00:00:00", {99, {}, 3600}, Reason::Rewritten, true},
    {"DateOnly", false, "2012:05:03 13:45:12", "2012:05:03 13:45:12", {1, kGiven, 0}, Reason::Rewritten, true},
    {"BlankDateShift", false, "    :  :     :  :  ", "    :  :     :  :  ", {99, {}, 60}, Reason::NoFileDate, false},
    {"BlankDateFixed", false, "    :  :     :  :  ", "    :  :     :  :  ", {0, kGiven, 0}, Reason::Rewritten, true},
    {"InvalidDateShift", true, "2012:02:30 10:00:00", "2012:02:30 10:00:00", {99, {}, 60}, Reason::BadFileDate, false},
    {"NoDatesShift", false, "", "", {99, {}, 60}, Reason::NoFileDate, false},
    {"ShortFieldShift", false, "2012:05:03", "2012:05:03 13:45:12", {99, {}, 60}, Reason::BadFileDate, false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, JpegDates, testing::ValuesIn(kJpegRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegDates, WithoutExifIsNoExifInEveryMode)
{
    const Bytes plain{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xDA, 0x00, 0x02, 0xFF, 0xD9};
    for (const std::int32_t mode : {0, 1, 2, 99})
        EXPECT_EQ(rewriteExifDates(plain, DateArguments{mode, kGiven, 60}).reason, Reason::NoExif) << mode;
}

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

TEST(JpegDates, TruncatedFilesNeverReadOutOfBounds)
{
    const Bytes jpeg = jpegWith(exifTiff("2012:05:03 13:45:12", "2012:05:03 13:45:12"));
    for (std::size_t size = 0; size + 12 < jpeg.size(); ++size) {
        const Bytes cut(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(size));
        EXPECT_NE(rewriteExifDates(cut, kShiftOneDay).reason, Reason::Rewritten) << "cut at " << size;
    }
}

} // namespace
