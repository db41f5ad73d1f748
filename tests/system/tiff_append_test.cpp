// A TIFF missing a date gets it without anything moving, and a date whose
// bytes another structure (or the next JPEG segment) uses is never patched
// where it stands.
#include "fixtures.h"
#include "needed_tools.h"
#include "run/file_rewrite.h"
#include "table_row.h"
#include "temp_folder.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace shotdate {
namespace {

using namespace fixtures;
using testing_support::Bytes;

constexpr const char* kOld = "2016:08:20 10:11:12";
constexpr const char* kNew = "2016:08:21 11:11:12"; // one day and one hour later

// IFD0 (Make, Exif and GPS pointers) -> IFD1 (a 20-byte thumbnail); Exif
// IFD with both dates. `gpsOverOriginal`: the GPS date stamp's value lies
// over DateTimeOriginal's bytes; `thumbnailOverDigitized`: the thumbnail
// over DateTimeDigitized's.
Bytes tiffSharingDateBytes(bool gpsOverOriginal, bool thumbnailOverDigitized)
{
    using namespace testing_support;
    // Values of 4 bytes or less lie in their entries: here, the offsets the entries give.
    const auto at = [](std::uint32_t offset) { return longValue(offset, false); };
    // IFD0 at 8, Exif at 50, dates at 80 and 100, GPS at 120 (value at 138), IFD1 at 150, thumbnail at 180.
    Bytes b = tiffHeader(false);
    appendIfd(b, {asciiTag(0x010F, "Cam"), {0x8769, 4, 1, at(50)}, {0x8825, 4, 1, at(120)}}, false, 150);
    appendIfd(b, {{0x9003, 2, 20, at(80)}, {0x9004, 2, 20, at(100)}}, false);
    for (int i = 0; i < 2; ++i)
        b.insert(b.end(), kOld, kOld + 20);
    appendIfd(b, {{0x001D, 2, 11, at(gpsOverOriginal ? 80 : 138)}}, false);
    b.insert(b.end(), {'2', '0', '1', '6', ':', '0', '8', ':', '2', '0', 0, 0});
    appendIfd(b, {{0x0201, 4, 1, at(thumbnailOverDigitized ? 100 : 180)}, {0x0202, 4, 1, at(20)}}, false);
    b.insert(b.end(), {0xFF, 0xD8, 0xFF, 0xDB, 0, 4, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0xFF, 0xD9});
    return b;
}

struct AppendRow {
    std::string name;
    Bytes file;
    std::vector<std::pair<std::size_t, std::size_t>> kept; // ranges another structure uses: never patched
    std::string extension = ".tif";
    Layout layout = Layout::Appended;
};

std::vector<AppendRow> appendRows()
{
    const Bytes thermal = testing_support::tiffWithInteropInIfd0(kOld);
    // The same structure under a raw format's own magic number.
    const auto withMagic = [&](std::uint8_t third, std::uint8_t fourth) {
        Bytes file = thermal;
        file[2] = third;
        file[3] = fourth;
        return file;
    };
    // A JPEG's Exif segment ending one byte short: DateTimeDigitized's NUL
    // falls on the 0xFF of the next marker.
    using namespace testing_support;
    std::vector<IfdTag> ifd0 = {asciiTag(0x010F, "Cam"),
                                asciiTag(0x0110, "FixtureCam"),
                                asciiTag(0x0131, "Editor"),
                                asciiTag(0x013B, "Someone"),
                                {0x8769, 4, 1, {}}};
    ifd0.back().value = longValue(std::uint32_t(8 + ifdSize(ifd0)), false);
    Bytes cutShort = tiffHeader(false);
    appendIfd(cutShort, ifd0, false);
    appendIfd(cutShort, {asciiTag(0x9003, kOld), asciiTag(0x9004, kOld)}, false);
    cutShort.pop_back();
    return {
        {"thermal_interop_in_ifd0", thermal, {}},
        {"thermal_interop_in_ifd0_big_endian", testing_support::tiffWithInteropInIfd0(kOld, true), {}},
        {"gps_value_over_original", tiffSharingDateBytes(true, false), {{80, 20}}},
        {"thumbnail_over_digitized", tiffSharingDateBytes(false, true), {{100, 20}}},
        {"orf_magic", withMagic('R', 'O'), {}, ".orf"},
        {"rw2_magic", withMagic('U', 0), {}, ".rw2"},
        {"jpeg_date_over_the_next_marker", jpegWith(cutShort), {}, ".jpg", Layout::LaidOut},
    };
}

class TiffAppendTest : public ::testing::TestWithParam<AppendRow> {};

TEST_P(TiffAppendTest, EveryTagAndByteStaysAndBothDatesReadNew)
{
    SKIP_WITHOUT_TOOLS({"exiftool", "exiv2"});
    const AppendRow& row = GetParam();
    TempFolder temp;
    const std::string in = temp / ("in" + row.extension);
    const std::string out = temp / ("out" + row.extension);
    ASSERT_TRUE(writeBytes(in, row.file));
    const FileRewrite result = rewriteFile(in, out, DateArguments{99, {}, 86400 + 3600});
    ASSERT_EQ(result.reason, Reason::Rewritten) << reasonKey(result.reason);
    expectFaithfulRewrite(
        in, out,
        {.oldDate = kOld, .newDate = kNew, .layout = row.layout, .decoder = Decoder::None, .untouched = row.kept});
}

INSTANTIATE_TEST_SUITE_P(Rows, TiffAppendTest, ::testing::ValuesIn(appendRows()), kRowName);

} // namespace
} // namespace shotdate
