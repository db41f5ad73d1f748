// The check that a laid-out file kept every IFD, on our own walker: it
// must see what Exiv2 itself misreads (an Interop IFD hung off IFD0).
#include "metadata/ifd_compare.h"
#include "rewrite/exiv2_adapter.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>

namespace shotdate {
namespace {

using testing_support::Bytes;

constexpr const char* kOld = "2016:08:20 10:11:12";
constexpr const char* kNew = "2016:08:21 11:11:12";

Bytes thermal()
{
    return testing_support::tiffWithInteropInIfd0(kOld);
}

// The first place `pattern` stands in `bytes` (which must hold it).
std::size_t find(const Bytes& bytes, const Bytes& pattern)
{
    const auto at = std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end());
    EXPECT_NE(at, bytes.end());
    return at == bytes.end() ? 0 : std::size_t(at - bytes.begin());
}

std::size_t find(const Bytes& bytes, const std::string& text)
{
    return find(bytes, Bytes(text.begin(), text.end()));
}

struct CompareRow {
    std::string name;
    std::function<Bytes()> before;
    std::function<Bytes()> after;
    bool same;
};

std::vector<CompareRow> compareRows()
{
    return {
        {"identical", thermal, thermal, true},
        {"dates_changed_and_added", [] { return testing_support::exifTiff(kOld, ""); },
         [] { return testing_support::exifTiff(kNew, kNew); }, true},
        {"interop_value_changed", thermal,
         [] {
             Bytes b = thermal();
             b[find(b, "FLIR")] = 'X';
             return b;
         },
         false},
        {"interop_pointer_lost", thermal,
         [] {
             Bytes b = thermal();
             b[find(b, Bytes{0x05, 0xA0, 0x04, 0x00})] = 0x06; // tag 0xA005, LONG: now an unknown tag
             return b;
         },
         false},
        {"model_changed", thermal,
         [] {
             Bytes b = thermal();
             b[find(b, "XT2")] = 'Y';
             return b;
         },
         false},
        {"laid_out_by_exiv2", thermal,
         [] {
             return exiv2WriteValues(thermal(),
                                     {{"Exif.Photo.DateTimeOriginal", kNew}, {"Exif.Photo.DateTimeDigitized", kNew}})
                 .value_or(Bytes{});
         },
         false},
    };
}

void PrintTo(const CompareRow& row, std::ostream* out)
{
    *out << row.name;
}

class IfdCompareTest : public ::testing::TestWithParam<CompareRow> {};

TEST_P(IfdCompareTest, EveryIfdEntryComesThroughOrTheResultIsRefused)
{
    const CompareRow& row = GetParam();
    const Bytes after = row.after();
    ASSERT_GE(after.size(), 8u) << "no file to compare";
    EXPECT_EQ(sameIfdsOutsideDates(row.before(), after), row.same);
}

INSTANTIATE_TEST_SUITE_P(Rows, IfdCompareTest, ::testing::ValuesIn(compareRows()),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace shotdate
