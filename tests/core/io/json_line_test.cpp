// Journal lines written by hand read back, through a real JSON parser, as
// the text that went in; bytes that are not UTF-8 never make a line
// unreadable. nlohmann's own strict dump is the judge of what is UTF-8.
#include "io/json_line.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace shotdate;

namespace {

bool nlohmannTakes(const std::string& text)
{
    try {
        (void)nlohmann::json(text).dump();
        return true;
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}

class JsonLineText : public testing::TestWithParam<std::string> {};

TEST_P(JsonLineText, ReadsBackAsWrittenOrWithReplacementCharacters)
{
    const std::string& text = GetParam();
    EXPECT_EQ(isUtf8(text), nlohmannTakes(text));
    const std::string line = JsonLine()
                                 .text("k", text)
                                 .nullableText("none", std::nullopt)
                                 .pair("p", -1, 2)
                                 .number("max", UINT64_MAX)
                                 .number("min", INT64_MIN)
                                 .finish();
    ASSERT_EQ(line.back(), '\n');
    ASSERT_EQ(line.find('\n'), line.size() - 1) << "one line only";
    const auto parsed = nlohmann::json::parse(line);
    EXPECT_TRUE(parsed["none"].is_null());
    EXPECT_EQ(parsed["p"], nlohmann::json({-1, 2}));
    EXPECT_EQ(parsed["max"].get<std::uint64_t>(), UINT64_MAX);
    EXPECT_EQ(parsed["min"].get<std::int64_t>(), INT64_MIN);
    const std::string back = parsed["k"].get<std::string>();
    if (isUtf8(text))
        EXPECT_EQ(back, text);
    else
        EXPECT_TRUE(isUtf8(back) && back.find("\xef\xbf\xbd") != back.npos) << back;
}

INSTANTIATE_TEST_SUITE_P(Texts, JsonLineText,
                         testing::Values("plain.jpg", "写真/日本語.jpg", "emoji \xf0\x9f\x93\xb7",
                                         "quote\" back\\slash", std::string("nul\0tab\tnew\nline\x1f", 17),
                                         "caf\xe9.jpg", "\xe5\x86.jpg", "\xc0\xaf overlong", "\xed\xa0\x80 surrogate",
                                         "\xf4\x90\x80\x80 too high", "\x80 lone continuation",
                                         "\xf0\x9f\x93 cut short", ""),
                         [](const auto& row) { return "Text" + std::to_string(row.index); });

} // namespace
