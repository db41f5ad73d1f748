#include "run/output_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace shotdate {
namespace {

struct FoldRow {
    const char* name;
    std::string path;
    std::string folded;
};

class FoldedCase : public testing::TestWithParam<FoldRow> {};

// Two names a memory card takes for one must fold to one key, or the second
// photo replaces the first.
TEST_P(FoldedCase, FoldsAsACaseInsensitiveFileSystemCompares)
{
    EXPECT_EQ(foldedCase(GetParam().path), GetParam().folded);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FoldedCase,
    testing::Values(
        FoldRow{"ascii", "/Out/IMG_0001 (2).JPG", "/out/img_0001 (2).jpg"},
        FoldRow{"latin", "/out/\xC3\x84PFEL_\xC3\x89T\xC3\x89.JPG", "/out/\xC3\xA4pfel_\xC3\xA9t\xC3\xA9.jpg"},
        FoldRow{"greek_and_cyrillic", "\xCE\xA3\xCE\x9F\xCE\xA6\xD0\x96", "\xCF\x83\xCE\xBF\xCF\x86\xD0\xB6"},
        FoldRow{"japanese_unchanged", "\xE5\x86\x99\xE7\x9C\x9F.JPG", "\xE5\x86\x99\xE7\x9C\x9F.jpg"},
        FoldRow{"broken_utf8_kept", std::string("A\xC3(B\xFF", 6), std::string("a\xC3(b\xFF", 6)}),
    [](const auto& info) { return std::string(info.param.name); });

struct ClashRow {
    const char* name;
    std::vector<std::string> paths;
    bool couldMatter;
};

class CaseCouldMatter : public testing::TestWithParam<ClashRow> {};

// A wrong "false" skips the check of the output folder and lets a photo replace another.
TEST_P(CaseCouldMatter, OnlyWhenTwoNamesMeetOnceCaseIsIgnored)
{
    EXPECT_EQ(caseCouldMatter(GetParam().paths), GetParam().couldMatter);
}

INSTANTIATE_TEST_SUITE_P(Table, CaseCouldMatter,
                         testing::Values(ClashRow{"distinct", {"o/a.jpg", "o/b.jpg", "o/A (2).jpg"}, false},
                                         ClashRow{"differing_in_case", {"o/IMG_1.JPG", "o/b.jpg", "o/img_1.jpg"}, true},
                                         // Numbered, "a (2).jpg" could meet a name like "A (2).JPG".
                                         ClashRow{"the_same_twice", {"o/a.jpg", "o/a.jpg"}, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace shotdate
