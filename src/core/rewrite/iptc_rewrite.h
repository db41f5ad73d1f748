#pragma once

#include "bytes/file_patch.h"
#include "dates/date_rule.h"
#include "formats/format_table.h"
#include "formats/fotostation.h"
#include "run/file_report.h"
#include "run/reason.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace shotdate {

// The IPTC IIM dates of a file moved with every copy of the date:
// DateCreated + TimeCreated (2:55/2:60) and DigitalCreationDate +
// DigitalCreationTime (2:62/2:63), in every IPTC block the file holds (a
// JPEG's Photoshop APP13 segment and FotoStation trailer, a TIFF's IPTC-NAA
// and Photoshop tags).
// Each value keeps its fixed width, so every change is a same-size patch;
// a Photoshop digest of the IPTC data that matched it is worked out again.
struct IptcDates {
    Reason reason = Reason::Rewritten; // anything else: the file is passed over
    bool needsWholeFile = false; // the IPTC blocks may lie past the head at hand
    std::vector<FilePatch> patches;
    std::vector<DateChange> changes;
    std::vector<std::string> notes;
};

// Nothing to do unless `args.allDates`. `haveWholeFile` false: `file` is
// only the head of the file, and a JPEG's `trailer` is what the caller read
// at the file's end (without it, the whole file is asked for).
IptcDates planIptcDates(std::span<const std::uint8_t> file, const ContainerFormat& format, const DateArguments& args,
                        bool haveWholeFile, const FotoStationTrailer* trailer = nullptr);

} // namespace shotdate
