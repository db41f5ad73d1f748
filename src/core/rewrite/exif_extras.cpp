#include "rewrite/exif_extras.h"

#include "metadata/format_constants.h"

#include <algorithm>

namespace shotdate {

namespace {

using namespace tiff_tag;

bool isZoneTag(std::uint16_t tag)
{
    return tag == offsetTime || tag == offsetTimeOriginal || tag == offsetTimeDigitized;
}

// ModifyDate follows the rule from its own value; a value that is not a
// date is left as it is and noted, as long as it is not the shooting date.
Reason planModifyDate(const DateField& field, const DateArguments& args, ExtraPlan& plan)
{
    const NewDate moved = computeNewDate(args, field.text);
    if (moved.error == DateRuleError::OutOfRange)
        return Reason::DateOutOfRange;
    if (moved.error != DateRuleError::None) {
        plan.notes.push_back(exifTagName(field.tag) + ": not a date");
        return Reason::Rewritten;
    }
    // Its value has another length (a fraction, no seconds): not the form
    // the field is written in, and nothing may move to make room.
    if (!field.patchable)
        return Reason::CannotAddDate;
    plan.writes.push_back({field, moved.text});
    plan.changes.push_back({exifTagName(field.tag), field.text, moved.text});
    return Reason::Rewritten;
}

} // namespace

std::string zoneText(std::int32_t minutes)
{
    const std::int32_t size = minutes < 0 ? -minutes : minutes;
    const auto two = [](std::int32_t n) { return std::string{char('0' + n / 10), char('0' + n % 10)}; };
    return std::string(minutes < 0 ? "-" : "+") + two(size / 60) + ":" + two(size % 60);
}

std::string exifTagName(std::uint16_t tag)
{
    switch (tag) {
    case dateTimeOriginal: return "EXIF:DateTimeOriginal";
    case dateTimeDigitized: return "EXIF:CreateDate";
    case modifyDate: return "EXIF:ModifyDate";
    case offsetTime: return "EXIF:OffsetTime";
    case offsetTimeOriginal: return "EXIF:OffsetTimeOriginal";
    case offsetTimeDigitized: return "EXIF:OffsetTimeDigitized";
    default: return "EXIF:0x" + std::to_string(tag);
    }
}

ExtraPlan planExtraFields(const TiffDates& dates, const DateArguments& args)
{
    ExtraPlan plan;
    const auto wanted = [&](std::uint16_t tag) {
        if (tag == modifyDate)
            return args.allDates && args.datesChange;
        if (tag == offsetTime)
            return args.allDates && args.zoneMinutes.has_value();
        return isZoneTag(tag) && args.zoneMinutes.has_value();
    };
    for (const DateField& field : dates.extras) {
        if (!wanted(field.tag))
            continue;
        if (field.tag == modifyDate) {
            plan.reason = planModifyDate(field, args, plan);
            if (plan.reason != Reason::Rewritten)
                return plan;
            continue;
        }
        const std::string zone = zoneText(*args.zoneMinutes);
        if (field.patchable)
            plan.writes.push_back({field, zone});
        else if (field.mainCopy)
            plan.additions.push_back({field.tag, zone});
        else {
            plan.reason = Reason::CannotAddDate;
            return plan;
        }
        plan.changes.push_back({exifTagName(field.tag), field.text, zone});
    }
    // The shooting zone tags are added where missing; OffsetTime, like
    // ModifyDate, only changes where the file has it.
    for (const std::uint16_t tag : {offsetTimeOriginal, offsetTimeDigitized}) {
        const bool present = std::any_of(dates.extras.begin(), dates.extras.end(),
                                         [&](const DateField& f) { return f.tag == tag && f.mainCopy; });
        if (wanted(tag) && !present) {
            plan.additions.push_back({tag, zoneText(*args.zoneMinutes)});
            plan.changes.push_back({exifTagName(tag), "", zoneText(*args.zoneMinutes)});
        }
    }
    std::sort(plan.additions.begin(), plan.additions.end(),
              [](const TagText& a, const TagText& b) { return a.tag < b.tag; });
    return plan;
}

std::vector<std::uint16_t> changedTags(const ExtraPlan& plan)
{
    std::vector<std::uint16_t> tags;
    for (const TextWrite& write : plan.writes)
        tags.push_back(write.field.tag);
    for (const TagText& added : plan.additions)
        tags.push_back(added.tag);
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    return tags;
}

bool extrasReadBack(std::span<const std::uint8_t> tiff, const std::string& newDate, const ExtraPlan& plan,
                    bool positionsKept)
{
    const auto dates = readTiffDates(tiff, ExifBlock{0, tiff.size()});
    if (!dates)
        return false;
    if (!newDate.empty()) {
        if (dates->original.text != newDate || dates->digitized.text != newDate)
            return false;
        for (const DateField& copy : dates->otherCopies)
            if (copy.text != newDate)
                return false;
    }
    const auto holds = [&](std::uint16_t tag, std::optional<std::size_t> at, const std::string& text) {
        return std::any_of(dates->extras.begin(), dates->extras.end(), [&](const DateField& f) {
            return f.tag == tag && (at ? f.valueOffset == *at : f.mainCopy) && f.text == text;
        });
    };
    for (const TextWrite& write : plan.writes) {
        const std::optional<std::size_t> at =
            positionsKept ? std::optional<std::size_t>(write.field.valueOffset) : std::nullopt;
        if (!positionsKept && !write.field.mainCopy)
            return false;
        if (!holds(write.field.tag, at, write.text))
            return false;
    }
    for (const TagText& added : plan.additions)
        if (!holds(added.tag, std::nullopt, added.text))
            return false;
    return true;
}

} // namespace shotdate
