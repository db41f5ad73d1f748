// Path joining and the last component behave like the text a user sees.
#include "io/path_text.h"

#include <gtest/gtest.h>

using namespace shotdate;

namespace {

struct JoinRow {
    const char* base;
    const char* component;
    const char* joined;
};

class JoinPath : public testing::TestWithParam<JoinRow> {};

TEST_P(JoinPath, PutsExactlyOneSeparator)
{
    EXPECT_EQ(joinPath(GetParam().base, GetParam().component), GetParam().joined);
}

INSTANTIATE_TEST_SUITE_P(Rows, JoinPath,
                         testing::Values(JoinRow{"/photos", "a.jpg", "/photos/a.jpg"},
                                         JoinRow{"/photos/", "a.jpg", "/photos/a.jpg"},
                                         JoinRow{"/photos//", "sub/a.jpg", "/photos/sub/a.jpg"},
                                         JoinRow{"/photos", "/a.jpg", "/photos/a.jpg"}, JoinRow{"/", "a.jpg", "/a.jpg"},
                                         JoinRow{"", "a.jpg", "a.jpg"}, JoinRow{"rel", "a.jpg", "rel/a.jpg"},
                                         JoinRow{"/photos", "", "/photos"}));

struct ComponentRow {
    const char* path;
    const char* last;
    const char* parent;
};

class PathComponents : public testing::TestWithParam<ComponentRow> {};

TEST_P(PathComponents, IgnoreTrailingSlashes)
{
    EXPECT_EQ(lastPathComponent(GetParam().path), GetParam().last);
    EXPECT_EQ(parentPath(GetParam().path), GetParam().parent);
}

INSTANTIATE_TEST_SUITE_P(Rows, PathComponents,
                         testing::Values(ComponentRow{"/a/b/c.jpg", "c.jpg", "/a/b"}, ComponentRow{"/a/b/", "b", "/a"},
                                         ComponentRow{"/a//b//", "b", "/a"}, ComponentRow{"c.jpg", "c.jpg", "."},
                                         ComponentRow{"/c.jpg", "c.jpg", "/"}, ComponentRow{"/", "/", "/"},
                                         ComponentRow{"sub/写真.JPG", "写真.JPG", "sub"}));

} // namespace
