#include "run/output_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace shotdate {
namespace {

struct ClashRow {
    const char* name;
    std::vector<std::string> paths;
    bool couldMatter;
};

class CaseCouldMatter : public testing::TestWithParam<ClashRow> {};

// A wrong "false" skips the check of the output folder and lets a photo
// replace another; how names fold is in file_system_edges_test.cpp.
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
