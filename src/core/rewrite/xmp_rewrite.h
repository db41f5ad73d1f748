#pragma once

#include "bytes/file_patch.h"
#include "dates/date_rule.h"
#include "formats/format_table.h"
#include "metadata/xmp_dates.h"
#include "run/file_report.h"
#include "run/reason.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace shotdate {

// The dates of every XMP packet a container holds, as same-size patches:
// a packet keeps its length (a longer value takes its padding), or the
// photo is passed over (CannotChangeCopy) rather than half-changed.
struct XmpPatches {
    Reason reason = Reason::Rewritten;
    bool needsWholeFile = false; // a packet lies past the head at hand
    std::vector<FilePatch> patches;
    std::vector<DateChange> changes;
    std::vector<std::string> notes;
};

XmpPatches xmpDatePatches(std::span<const std::uint8_t> file, const ContainerFormat& format, const DateArguments& args,
                          bool haveWholeFile);

// The same for one packet of a file at `offset`: its patches, changes and
// notes are added to `result`; false (`result` emptied, its reason set)
// when the packet cannot keep its length.
bool addXmpPacketPatches(std::string_view packet, std::size_t offset, const DateArguments& args, XmpPatches& result);

// The copies an XMP edit changed, as the report names them (`suffix` after
// each name: " (IMG_1.xmp)" for a sidecar).
std::vector<DateChange> toDateChanges(const std::vector<XmpCopyChange>& changes, const std::string& suffix = {});

} // namespace shotdate
