// The IFD walker on TIFF structures built byte by byte: which date fields it
// finds, which it may patch in place, and what it refuses.
#include "metadata/tiff_structure.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <string>

using namespace shotdate;
using namespace shotdate::testing_support;

namespace {

const std::string kDate = "2021:06:07 08:09:10";

struct IfdCase {
    std::string name;
    Bytes tiff;
    bool readable;
    bool hasExifIfd;
    bool originalPatchable;
    bool digitizedPatchable;
    std::size_t otherCopies;
};

class IfdWalk : public testing::TestWithParam<IfdCase> {};

TEST_P(IfdWalk, FindsTheDateFields)
{
    const IfdCase& c = GetParam();
    const auto dates = readTiffDates(c.tiff, ExifBlock{0, c.tiff.size()});
    ASSERT_EQ(dates.has_value(), c.readable);
    if (!dates)
        return;
    EXPECT_EQ(dates->hasExifIfd, c.hasExifIfd);
    EXPECT_EQ(dates->original.patchable, c.originalPatchable);
    EXPECT_EQ(dates->digitized.patchable, c.digitizedPatchable);
    EXPECT_EQ(dates->otherCopies.size(), c.otherCopies);
    if (c.originalPatchable) {
        EXPECT_EQ(dates->original.text, kDate);
    }
}

Bytes truncated(Bytes b, std::size_t size)
{
    b.resize(size);
    return b;
}

Bytes withByteOrder(Bytes b, char mark)
{
    b[0] = std::uint8_t(mark);
    b[1] = std::uint8_t(mark);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Structures, IfdWalk,
    testing::Values(IfdCase{"LittleEndian", exifTiff(kDate, kDate), true, true, true, true, 0},
                    IfdCase{"BigEndian", exifTiff(kDate, kDate, true), true, true, true, true, 0},
                    IfdCase{"DigitizedMissing", exifTiff(kDate, ""), true, true, true, false, 0},
                    IfdCase{"ShortValueIsNotPatchable", exifTiff("2021:06:07", kDate), true, true, false, true, 0},
                    IfdCase{"SecondExifIfdIsACopy", exifTiffWithSecondExifIfd(kDate), true, true, true, true, 2},
                    IfdCase{"BadByteOrderMark", withByteOrder(exifTiff(kDate, kDate), 'X'), false, false, false, false,
                            0},
                    IfdCase{"CutInsideIfd0", truncated(exifTiff(kDate, kDate), 12), false, false, false, false, 0}),
    [](const auto& info) { return info.param.name; });

} // namespace
