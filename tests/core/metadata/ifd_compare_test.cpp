// The check that a laid-out file kept every IFD, on our own walker: it
// must see what Exiv2 itself misreads (an Interop IFD hung off IFD0).
#include "metadata/ifd_compare.h"
#include "rewrite/exiv2_adapter.h"
#include "table_row.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

namespace shotdate {
namespace {

using testing_support::Bytes;

constexpr const char* kOld = "2016:08:20 10:11:12";
constexpr const char* kNew = "2016:08:21 11:11:12";

const auto thermal = [] { return testing_support::tiffWithInteropInIfd0(kOld); };

// The thermal file with the first byte of `pattern` set to `to`.
std::function<Bytes()> thermalWith(const std::string& pattern, std::uint8_t to)
{
    return [=] {
        Bytes b = thermal();
        const auto at = std::search(b.begin(), b.end(), pattern.begin(), pattern.end(),
                                    [](std::uint8_t x, char y) { return x == std::uint8_t(y); });
        EXPECT_NE(at, b.end()) << pattern;
        if (at != b.end())
            *at = to;
        return b;
    };
}

Bytes laidOutByExiv2()
{
    return exiv2WriteValues(thermal(), {{"Exif.Photo.DateTimeOriginal", kNew}, {"Exif.Photo.DateTimeDigitized", kNew}})
        .value_or(Bytes{});
}

struct CompareRow {
    std::string name;
    std::function<Bytes()> before;
    std::function<Bytes()> after;
    bool same;
};

// clang-format off
const CompareRow kRows[] = {
    {"identical", thermal, thermal, true},
    {"dates_changed_and_added", [] { return testing_support::exifTiff(kOld, ""); }, [] { return testing_support::exifTiff(kNew, kNew); }, true},
    {"interop_value_changed", thermal, thermalWith("FLIR", 'X'), false},
    {"interop_pointer_lost", thermal, thermalWith({0x05, char(0xA0), 0x04, 0x00}, 0x06), false}, // 0xA005, LONG: now an unknown tag
    {"model_changed", thermal, thermalWith("XT2", 'Y'), false},
    {"laid_out_by_exiv2", thermal, laidOutByExiv2, false},
};
// clang-format on

class IfdCompareTest : public ::testing::TestWithParam<CompareRow> {};

TEST_P(IfdCompareTest, EveryIfdEntryComesThroughOrTheResultIsRefused)
{
    const CompareRow& row = GetParam();
    const Bytes after = row.after();
    ASSERT_GE(after.size(), 8u) << "no file to compare";
    EXPECT_EQ(sameIfdsOutsideDates(row.before(), after), row.same);
}

INSTANTIATE_TEST_SUITE_P(Rows, IfdCompareTest, ::testing::ValuesIn(kRows), kRowName);

} // namespace
} // namespace shotdate
