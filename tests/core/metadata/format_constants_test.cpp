// The named markers, value types and tags: no two names of one family may
// share a number, and a few anchor values are checked against the formats'
// own definitions.
#include "metadata/format_constants.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>

using namespace shotdate;

namespace {

TEST(FormatConstants, NoTwoNamesOfAFamilyShareANumber)
{
    std::map<std::pair<std::string_view, std::uint32_t>, std::string_view> seen;
    std::set<std::pair<std::string_view, std::string_view>> names;
    for (const NamedConstant& c : kFormatConstants) {
        const auto [at, fresh] = seen.emplace(std::pair(c.family, c.value), c.name);
        EXPECT_TRUE(fresh) << c.family << ": " << c.name << " and " << at->second << " are both " << c.value;
        EXPECT_TRUE(names.emplace(c.family, c.name).second) << c.family << ": " << c.name << " listed twice";
    }
}

struct Anchor {
    std::string_view family;
    std::string_view name;
    std::uint32_t value;
};

class FormatConstantAnchors : public testing::TestWithParam<Anchor> {};

TEST_P(FormatConstantAnchors, HasTheFormatsOwnValue)
{
    const Anchor& a = GetParam();
    int found = 0;
    for (const NamedConstant& c : kFormatConstants)
        if (c.family == a.family && c.name == a.name) {
            EXPECT_EQ(c.value, a.value);
            ++found;
        }
    EXPECT_EQ(found, 1) << a.name;
}

INSTANTIATE_TEST_SUITE_P(Table, FormatConstantAnchors,
                         testing::Values(Anchor{"jpeg_marker", "soi", 0xD8}, Anchor{"jpeg_marker", "sos", 0xDA},
                                         Anchor{"jpeg_marker", "app1", 0xE1}, Anchor{"tiff_type", "asciiString", 2},
                                         Anchor{"tiff_type", "unsignedShort", 3}, Anchor{"tiff_type", "tiffIfd", 13},
                                         Anchor{"tiff_tag", "exifTag", 0x8769},
                                         Anchor{"tiff_tag", "dateTimeOriginal", 0x9003},
                                         Anchor{"tiff_tag", "dateTimeDigitized", 0x9004}));

} // namespace
