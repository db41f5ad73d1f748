// The ISO box walker where no fixture reaches: a box sized to the end, and
// where it stops at a damaged one (64-bit sizes and uuid boxes are the
// movie fixtures').
#include "formats/box_walker.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace shotdate;
using namespace shotdate::testing_support;

namespace {

Bytes box(const char* type, std::size_t payload)
{
    Bytes b;
    put32(b, std::uint32_t(8 + payload), true);
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), payload, 0x55);
    return b;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes b;
    for (const Bytes& part : parts)
        b.insert(b.end(), part.begin(), part.end());
    return b;
}

struct BoxCase {
    std::string name;
    Bytes file;
    std::vector<std::pair<std::string, std::size_t>> boxes; // type, where its payload starts
    bool damaged;
};

class BoxWalk : public testing::TestWithParam<BoxCase> {};

TEST_P(BoxWalk, ListsTheBoxesUpToTheFirstDamagedOne)
{
    const BoxCase& c = GetParam();
    bool damaged = false;
    std::vector<std::pair<std::string, std::size_t>> boxes;
    for (const Box& b : childBoxes(c.file, 0, c.file.size(), damaged)) {
        boxes.emplace_back(b.type, b.payload);
        EXPECT_LE(b.end, c.file.size());
    }
    EXPECT_EQ(boxes, c.boxes);
    EXPECT_EQ(damaged, c.damaged);
}

Bytes sizedToEnd(const char* type, std::size_t payload)
{
    Bytes b = box(type, payload);
    b[3] = 0; // size 0: the box runs to the end
    return b;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Layouts, BoxWalk, testing::Values(
    BoxCase{"SizeZeroRunsToTheEnd", concat({box("ftyp", 4), sizedToEnd("mdat", 6)}), {{"ftyp", 8}, {"mdat", 20}}, false},
    BoxCase{"SizePastTheEnd", concat({box("ftyp", 4), Bytes{0, 0, 1, 0, 'm', 'd', 'a', 't'}}), {{"ftyp", 8}}, true},
    BoxCase{"SizeSmallerThanItsHeader", concat({Bytes{0, 0, 0, 4, 'f', 'r', 'e', 'e'}, box("ftyp", 0)}), {}, true},
    BoxCase{"UuidTooShortForItsUserType", box("uuid", 4), {}, true}),
    [](const auto& info) { return info.param.name; });
// clang-format on

} // namespace
