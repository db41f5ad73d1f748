// The named markers, value types and tags: no two names of one family may
// share a number (the walkers' tests catch a wrong value).
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

} // namespace
