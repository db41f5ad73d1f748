#include "rewrite/date_site_rewrite.h"

#include <algorithm>

namespace shotdate {

DateRewrite rewriteDateSites(std::span<const std::uint8_t> file, const ContainerFormat& format,
                             const DateArguments& args, bool wantWholeFile)
{
    DateRewrite result;
    const auto sites = format.dateSites(file);
    if (!sites) {
        result.reason = Reason::UnsupportedFormat;
        return result;
    }
    if (sites->empty()) {
        result.reason = args.mode == int(DateMode::DateAndTime) ? Reason::CannotAddDate : Reason::NoFileDate;
        return result;
    }
    for (const DateSite& site : *sites) {
        if (site.offset > file.size() || encodedSize(site.encoding) > file.size() - site.offset) {
            result = DateRewrite{};
            result.reason = Reason::UnsupportedFormat;
            return result;
        }
        const std::optional<LocalSeconds> own = decodeDate(file.subspan(site.offset), site.encoding);
        const NewDateTime newDate = computeNewDateTime(args, own);
        if (newDate.error == DateRuleError::NoFileDate) {
            result = DateRewrite{};
            result.reason = Reason::NoFileDate;
            return result;
        }
        auto bytes = encodeDate(newDate.when, site.encoding);
        if (!bytes) {
            result = DateRewrite{};
            result.reason = Reason::DateOutOfRange;
            return result;
        }
        if (result.patches.empty()) {
            result.oldDate = own ? formatExifDate(*own).value_or("") : "";
            result.newDate = formatExifDate(newDate.when).value_or("");
        }
        result.patches.push_back({site.offset, std::move(*bytes)});
    }
    if (wantWholeFile)
        result.bytes = withPatches(file, result.patches);
    result.patchedInPlace = true;
    result.datesAreSites = true;
    result.reason = Reason::Rewritten;
    return result;
}

} // namespace shotdate
