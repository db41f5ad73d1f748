#pragma once

#include "dates/date_rule.h"

#include <string>
#include <string_view>
#include <vector>

namespace shotdate {

// The dates an XMP packet keeps as text: exif:DateTimeOriginal,
// exif:DateTimeDigitized, xmp:CreateDate, xmp:ModifyDate, tiff:DateTime and
// photoshop:DateCreated, as attributes or as elements, whatever prefix their
// namespace is bound to. Each moves by the date rule from its own value and
// keeps its own form: precision, fraction and zone suffix.

struct XmpCopyChange {
    std::string name; // "XMP-xmp:CreateDate", as exiftool names it
    std::string oldValue;
    std::string newValue;
};

enum class XmpOutcome {
    Changed, // `packet` holds the new text (maybe with nothing changed)
    NoRoom, // a longer value found no padding to take it from
    OutOfRange, // a new value would fall outside years 0001-9999
};

struct XmpDateEdit {
    XmpOutcome outcome = XmpOutcome::Changed;
    std::string packet;
    std::vector<XmpCopyChange> changes;
    std::vector<std::string> notes; // copies left alone, and why
};

// How a packet may change length: inside a file it must keep its own (a
// longer value takes the padding before "<?xpacket end=", a shorter one
// gives its bytes back there); a sidecar is a file of its own and may grow.
enum class XmpLength { Keep, Free };

XmpDateEdit changeXmpDates(std::string_view packet, const DateArguments& args, XmpLength length);

} // namespace shotdate
