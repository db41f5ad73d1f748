// The JPEG segment walker on segments laid out byte by byte: which segments
// it visits, where it finds the first scan, and where it gives up.
#include "formats/jpeg.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace shotdate;
using namespace shotdate::testing_support;

namespace {

const Bytes kScan{0xFF, 0xDA, 0x00, 0x02, 0x12, 0x34, 0xFF, 0xD9};

Bytes jpeg(std::initializer_list<Bytes> parts)
{
    Bytes b{0xFF, 0xD8};
    for (const Bytes& part : parts)
        b.insert(b.end(), part.begin(), part.end());
    return b;
}

Bytes segment(std::uint8_t marker, std::size_t payload)
{
    Bytes b;
    putJpegSegment(b, marker, Bytes(payload, 0x55));
    return b;
}

struct WalkCase {
    std::string name;
    Bytes file;
    std::vector<std::uint8_t> visited; // markers seen, in order
    std::optional<std::size_t> firstScan;
};

class JpegWalk : public testing::TestWithParam<WalkCase> {};

TEST_P(JpegWalk, VisitsEachSegmentAndFindsTheFirstScan)
{
    const WalkCase& c = GetParam();
    std::vector<std::uint8_t> visited;
    const auto scan = walkJpegSegments(c.file, [&](std::uint8_t marker, std::size_t, std::size_t) {
        visited.push_back(marker);
        return true;
    });
    EXPECT_EQ(visited, c.visited);
    EXPECT_EQ(scan, c.firstScan);
}

const Bytes kExif = exifApp1(exifTiff("2020:01:02 03:04:05", "2020:01:02 03:04:05"));

INSTANTIATE_TEST_SUITE_P(
    Layouts, JpegWalk,
    testing::Values(WalkCase{"ExifThenScan", jpeg({kExif, kScan}), {jpeg_marker::app1}, 2 + kExif.size()},
                    WalkCase{"FillBytesAndRestartMarkersAreSkipped",
                             jpeg({{0xFF, 0xFF}, segment(jpeg_marker::dqt, 4), {0xFF, jpeg_marker::rst0}, kScan}),
                             {jpeg_marker::dqt},
                             2 + 2 + 8 + 2},
                    WalkCase{
                        "EndBeforeAnyScan", jpeg({segment(jpeg_marker::com, 3), {0xFF, 0xD9}}), {jpeg_marker::com}, {}},
                    WalkCase{"LengthRunsPastTheEnd", jpeg({{0xFF, jpeg_marker::app0, 0x10, 0x00, 0x01}}), {}, {}},
                    WalkCase{"LengthShorterThanItself", jpeg({{0xFF, jpeg_marker::app0, 0x00, 0x01}, kScan}), {}, {}},
                    WalkCase{"GarbageInsteadOfAMarker",
                             jpeg({segment(jpeg_marker::app0, 2), {0x00, 0x00}, kScan}),
                             {jpeg_marker::app0},
                             {}}),
    [](const auto& info) { return info.param.name; });

TEST(JpegWalk, AVisitorThatStopsEndsTheWalk)
{
    const Bytes file = jpeg({segment(jpeg_marker::app0, 2), kExif, kScan});
    int seen = 0;
    EXPECT_EQ(walkJpegSegments(file, [&](std::uint8_t, std::size_t, std::size_t) { return ++seen < 1; }), std::nullopt);
    EXPECT_EQ(seen, 1);
}

} // namespace
