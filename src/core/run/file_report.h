#pragma once

#include "run/reason.h"

#include <cstddef>
#include <string>

namespace shotdate {

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
};

} // namespace shotdate
