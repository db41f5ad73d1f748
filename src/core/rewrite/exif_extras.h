#pragma once

#include "dates/date_rule.h"
#include "metadata/tiff_structure.h"
#include "run/file_report.h"
#include "run/reason.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace shotdate {

// A new text for one field the file already holds, written where it stands.
struct TextWrite {
    DateField field;
    std::string text; // without the NUL
};

// A field the Exif IFD lacks (or holds in a form that cannot take the new
// text in place): it goes into the Exif IFD as a new ASCII entry.
struct TagText {
    std::uint16_t tag = 0;
    std::string text; // without the NUL
};

// What a run asks of the EXIF fields besides DateTimeOriginal and
// DateTimeDigitized: ModifyDate with every copy of the date, the zone
// tags with a zone.
struct ExtraPlan {
    Reason reason = Reason::Rewritten; // anything else: the file is passed over
    std::vector<TextWrite> writes;
    std::vector<TagText> additions;
    std::vector<DateChange> changes;
    std::vector<std::string> notes;
};

ExtraPlan planExtraFields(const TiffDates& dates, const DateArguments& args);

// "+09:00" for 540 minutes east of UTC.
std::string zoneText(std::int32_t minutes);

// The name exiftool gives an EXIF date or zone tag ("EXIF:CreateDate" for 0x9004).
std::string exifTagName(std::uint16_t tag);

// The tags a rewrite with `plan` may change besides the two dates.
std::vector<std::uint16_t> changedTags(const ExtraPlan& plan);

// Whether `tiff` (a TIFF structure, as laid out anew or patched) reads back
// with `newDate` in every copy of the two dates ("": left as they were,
// checked elsewhere) and the plan's texts. `positionsKept`: the writes are
// found at their old places; otherwise the first copy of each tag in IFD0 or
// the Exif IFD must hold it.
bool extrasReadBack(std::span<const std::uint8_t> tiff, const std::string& newDate, const ExtraPlan& plan,
                    bool positionsKept);

} // namespace shotdate
