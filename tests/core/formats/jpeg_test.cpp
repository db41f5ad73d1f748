// The JPEG segment walker on what no fixture holds: fill bytes, restart
// markers, and lengths or markers that lie; plain files are the fixtures'.
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

using namespace jpeg_marker;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Layouts, JpegWalk, testing::Values(
    WalkCase{"FillBytesAndRestartMarkersAreSkipped", jpeg({{0xFF, 0xFF}, segment(dqt, 4), {0xFF, rst0}, kScan}), {dqt}, 2 + 2 + 8 + 2},
    WalkCase{"EndBeforeAnyScan", jpeg({segment(com, 3), {0xFF, 0xD9}}), {com}, {}},
    WalkCase{"LengthRunsPastTheEnd", jpeg({{0xFF, app0, 0x10, 0x00, 0x01}}), {}, {}},
    WalkCase{"LengthShorterThanItself", jpeg({{0xFF, app0, 0x00, 0x01}, kScan}), {}, {}},
    WalkCase{"GarbageInsteadOfAMarker", jpeg({segment(app0, 2), {0x00, 0x00}, kScan}), {app0}, {}}),
    [](const auto& info) { return info.param.name; });
// clang-format on

} // namespace
