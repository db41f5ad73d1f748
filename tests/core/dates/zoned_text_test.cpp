// Apple's creation date and ©day texts: the zone a run gives is written in
// the text's own form and length, or refused when it cannot be.
#include "dates/zoned_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace shotdate;

namespace {

struct ZoneRow {
    const char* name;
    const char* text;
    std::optional<std::int32_t> zone; // minutes east of UTC
    std::optional<std::string> expected; // nullopt: not written
};

const ZoneRow kZones[] = {
    {"FourDigits", "2019-03-02T10:11:12+0900", 330, "2019-03-03T10:11:12+0530"},
    {"WithColon", "2019-03-02T10:11:12+09:00", -210, "2019-03-03T10:11:12-03:30"},
    {"HoursOnly", "2019-03-02T10:11:12+09", -5 * 60, "2019-03-03T10:11:12-05"},
    {"HoursOnlyCannotHoldMinutes", "2019-03-02T10:11:12+09", 330, std::nullopt},
    {"FractionKept", "2019-03-02T10:11:12.345+0900", 60, "2019-03-03T10:11:12.345+0100"},
    {"UtcStaysUtc", "2019-03-02T10:11:12Z", 0, "2019-03-03T10:11:12Z"},
    {"UtcCannotTakeAnOffset", "2019-03-02T10:11:12Z", 60, std::nullopt},
    {"NoZoneCannotGainOne", "2019-03-02T10:11:12", 60, std::nullopt},
    {"OwnZoneKept", "2019-03-02T10:11:12+0900", std::nullopt, "2019-03-03T10:11:12+0900"},
    {"NotADate", "2019-02-30T10:11:12+0900", 60, std::nullopt},
    {"BadZone", "2019-03-02T10:11:12+0960", 60, std::nullopt},
};

class ZonedTextRow : public testing::TestWithParam<ZoneRow> {};

TEST_P(ZonedTextRow, TakesTheZoneInItsOwnFormOrRefuses)
{
    const ZoneRow& row = GetParam();
    const std::optional<ZonedText> parsed = parseZonedText(row.text);
    std::optional<std::string> written;
    if (parsed)
        written =
            rewriteZonedText(*parsed, parsed->wall + std::chrono::days{1}, row.zone ? row.zone : parsed->offsetMinutes);
    EXPECT_EQ(written, row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, ZonedTextRow, testing::ValuesIn(kZones),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
