#pragma once

#include "run/reason.h"

#include <cstddef>
#include <string>
#include <vector>

namespace shotdate {

// One copy of the date a rewrite changed, named as exiftool names it
// ("EXIF:DateTimeOriginal", "XMP-xmp:CreateDate", "IPTC:DateCreated", ...).
struct DateChange {
    std::string name;
    std::string oldValue;
    std::string newValue;
};

// What became of one target.
struct FileReport {
    std::size_t index = 0; // 1-based position in the target list
    std::string inPath;
    std::string outPath; // where the new file went (or would have gone)
    Reason reason = Reason::Rewritten;
    int error = 0; // errno where one applies
    std::string oldDate;
    std::string newDate;
    bool renamed = false; // the output got a numbered name to avoid replacing a file of this run
    std::string exiv2Message; // what Exiv2 said when it could not lay the file out again
    std::vector<DateChange> changes; // every copy changed (oldDate/newDate stay DateTimeOriginal's)
    std::vector<std::string> notes; // copies left as they were, and why ("XMP-xmp:ModifyDate: not a date")
};

} // namespace shotdate
