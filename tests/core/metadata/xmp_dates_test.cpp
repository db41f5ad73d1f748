#include "metadata/xmp_dates.h"

#include <gtest/gtest.h>

#include <string>

namespace shotdate {
namespace {

DateArguments shift(std::int32_t seconds)
{
    return {.mode = int(DateMode::Shift), .shiftSeconds = seconds, .allDates = true};
}

DateArguments given(DateMode mode)
{
    return {.mode = int(mode), .givenDate = *makeLocalSeconds(2013, 1, 15, 8, 0, 0), .allDates = true};
}

DateArguments zoneOnly(std::int32_t minutes)
{
    return {.mode = int(DateMode::Shift), .allDates = true, .zoneMinutes = minutes, .datesChange = false};
}

// One value in an attribute of the usual prefix: old -> expected new ("" =
// left as it was).
struct ValueRow {
    const char* name;
    const char* old;
    DateArguments args;
    const char* expected;
};

class XmpValue : public testing::TestWithParam<ValueRow> {};

TEST_P(XmpValue, KeepsItsOwnForm)
{
    const ValueRow& row = GetParam();
    const std::string packet =
        std::string("<rdf:Description xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:CreateDate='") + row.old + "'/>";
    const XmpDateEdit edit = changeXmpDates(packet, row.args, XmpLength::Free);
    ASSERT_EQ(edit.outcome, XmpOutcome::Changed);
    const std::string expected = *row.expected ? row.expected : row.old;
    EXPECT_EQ(edit.packet, std::string(packet).replace(packet.find(row.old), std::string(row.old).size(), expected));
    EXPECT_EQ(edit.changes.size(), *row.expected && expected != row.old ? 1u : 0u);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(FormsAndModes, XmpValue, testing::Values(
    ValueRow{"seconds_shift", "2018-09-10T10:20:30", shift(3600), "2018-09-10T11:20:30"},
    ValueRow{"fraction_and_zone_shift", "2018-09-10T23:20:30.57+02:00", shift(3600), "2018-09-11T00:20:30.57+02:00"},
    ValueRow{"utc_shift_back", "2018-01-01T00:30:00Z", shift(-3600), "2017-12-31T23:30:00Z"},
    ValueRow{"minutes_only_shift", "2018-09-10T10:20", shift(90), "2018-09-10T10:21"},
    ValueRow{"date_only_keeps_day_on_hours", "2018-09-10", shift(-5 * 3600), ""},
    ValueRow{"date_only_moves_by_days", "2018-09-10", shift(-2 * 86400), "2018-09-08"},
    ValueRow{"year_month_by_days", "2018-09", shift(31 * 86400), "2018-10"},
    ValueRow{"fixed_keeps_precision", "2018-09-10T10:20+09:00", given(DateMode::DateAndTime), "2013-01-15T08:00+09:00"},
    ValueRow{"fixed_on_date_only", "2018-09-10", given(DateMode::DateAndTime), "2013-01-15"},
    ValueRow{"fixed_on_invalid", "yesterday", given(DateMode::DateAndTime), "2013-01-15T08:00:00"},
    ValueRow{"date_only_mode", "2018-09-10T10:20:30.5", given(DateMode::DateOnly), "2013-01-15T10:20:30.5"},
    ValueRow{"time_only_mode", "2018-09-10T10:20:30-05:00", given(DateMode::TimeOnly), "2018-09-10T08:00:00-05:00"},
    ValueRow{"time_only_leaves_a_date", "2018-09-10", given(DateMode::TimeOnly), ""},
    ValueRow{"time_only_leaves_invalid", "2018-02-30T10:00:00", given(DateMode::TimeOnly), ""},
    ValueRow{"exif_form_kept", "2018:09:10 10:20:30", shift(3600), "2018:09:10 11:20:30"},
    ValueRow{"shift_leaves_invalid", "10.09.2018", shift(3600), ""},
    ValueRow{"zone_replaced", "2018-09-10T10:20:30+02:00", zoneOnly(9 * 60), "2018-09-10T10:20:30+09:00"},
    ValueRow{"zone_z_kept_for_utc", "2018-09-10T10:20:30Z", zoneOnly(0), ""},
    ValueRow{"zone_z_to_offset", "2018-09-10T10:20:30Z", zoneOnly(-150), "2018-09-10T10:20:30-02:30"},
    ValueRow{"zone_never_added", "2018-09-10T10:20:30", zoneOnly(9 * 60), ""}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(XmpPacket, FindsEveryCopyByNamespaceAndKeepsTheLength)
{
    // Odd prefixes, elements and attributes, a history date and a
    // structure that must stay as they are, and padding to give and take.
    const std::string packet =
        "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF>\n"
        "<rdf:Description xmlns:e=\"http://ns.adobe.com/exif/1.0/\" "
        "xmlns:X='http://ns.adobe.com/xap/1.0/' xmlns:t='http://ns.adobe.com/tiff/1.0/'\n"
        " xmlns:ps='http://ns.adobe.com/photoshop/1.0/' xmlns:stEvt='x'\n"
        " e:DateTimeOriginal = '2018-09-10T10:20:30Z' X:MetadataDate='2018-09-10T10:20:30'>\n"
        "<e:DateTimeDigitized>2018-09-10T10:20:30.25</e:DateTimeDigitized>\n"
        "<X:CreateDate>\n  2018-09-10T10:20\n</X:CreateDate>\n"
        "<X:ModifyDate><rdf:Alt/></X:ModifyDate>\n"
        "<t:DateTime>2018-09-10T10:20:30Z</t:DateTime><ps:DateCreated>2018-09-10</ps:DateCreated>\n"
        "<stEvt:when>2018-09-10T10:20:30</stEvt:when>\n"
        "</rdf:Description></rdf:RDF></x:xmpmeta>\n"
        "          \n<?xpacket end='w'?>";
    DateArguments args = shift(86400);
    args.zoneMinutes = 9 * 60;
    const XmpDateEdit edit = changeXmpDates(packet, args, XmpLength::Keep);
    ASSERT_EQ(edit.outcome, XmpOutcome::Changed);
    EXPECT_EQ(edit.packet.size(), packet.size());
    ASSERT_EQ(edit.changes.size(), 5u);
    EXPECT_EQ(edit.changes[0].name, "XMP-exif:DateTimeOriginal");
    EXPECT_EQ(edit.changes[0].newValue, "2018-09-11T10:20:30+09:00");
    EXPECT_EQ(edit.changes[2].newValue, "2018-09-11T10:20");
    EXPECT_EQ(edit.changes[4].name, "XMP-photoshop:DateCreated");
    EXPECT_NE(edit.packet.find("X:MetadataDate='2018-09-10T10:20:30'"), std::string::npos);
    EXPECT_NE(edit.packet.find("<stEvt:when>2018-09-10T10:20:30<"), std::string::npos);
    EXPECT_NE(edit.packet.find("<X:ModifyDate><rdf:Alt/>"), std::string::npos);
    // Two "Z" became "+09:00": twelve blanks of padding, less ten.
    EXPECT_NE(edit.packet.find("</x:xmpmeta>\n <?xpacket end='w'?>"), std::string::npos);

    // Without padding enough, nothing changes.
    std::string tight = packet;
    tight.erase(tight.find("          \n"), 4);
    EXPECT_EQ(changeXmpDates(tight, args, XmpLength::Keep).outcome, XmpOutcome::NoRoom);
    EXPECT_EQ(changeXmpDates(tight, args, XmpLength::Free).packet.size(), tight.size() + 10);
    // A shorter value gives its bytes back to the padding.
    const XmpDateEdit shorter = changeXmpDates(edit.packet, zoneOnly(0), XmpLength::Keep);
    EXPECT_EQ(shorter.packet.size(), packet.size());
    EXPECT_NE(shorter.packet.find("2018-09-11T10:20:30+00:00"), std::string::npos);
    const std::string lastDay = "<r xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:CreateDate='9999-12-31T12:00'/>";
    EXPECT_EQ(changeXmpDates(lastDay, shift(86400), XmpLength::Free).outcome, XmpOutcome::OutOfRange);
}

} // namespace
} // namespace shotdate
