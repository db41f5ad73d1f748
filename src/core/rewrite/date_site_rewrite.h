#pragma once

#include "formats/format_table.h"
#include "rewrite/date_rewrite.h"

#include <cstdint>
#include <span>

namespace shotdate {

// The rewrite of a file whose dates are values at fixed places (its row's
// `dateSites`): the date rule on each site's own value, and a patch of the
// same size in its place. The reports' old and new dates are the first
// site's, as EXIF text. A file with no site has no date to change, and none
// can be added.
DateRewrite rewriteDateSites(std::span<const std::uint8_t> file, const ContainerFormat& format,
                             const DateArguments& args, bool wantWholeFile);

} // namespace shotdate
