#pragma once

// One check of a rewritten photo for every format, through exiftool, exiv2
// and the pixel decoders, so that each fixture test states only what it
// expects. Like fixtures.h, nothing here links Exiv2 or the engine.

#include "fixtures.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace shotdate::fixtures {

// How the pixels are read back where ImageMagick 6 has no decoder. None: a
// raw file nothing here decodes.
enum class Decoder { Identify, IdentifyAsTiff, Avifdec, Djxl, None };
const char* decoderTool(Decoder decoder);

// What a faithful rewrite of a photo looks like to the outside tools.
struct Faithful {
    std::string oldDate = {}; // both fields' value before
    std::string newDate = {}; // both fields' value after
    Layout layout = Layout::Patched;
    Decoder decoder = Decoder::Identify;
    bool exiv2Reads = true; // false: exiv2 0.27 may not read this layout; checked only where it does
    std::vector<std::string> laterCopies = {}; // further values of each date, which stay
    std::vector<std::pair<std::size_t, std::size_t>> untouched = {}; // (start, length): another structure's bytes
};

// Checks `rewritten` against `original` with tools that share no code with
// the engine: both dates read back as `newDate` by exiftool and exiv2, the
// format, every other tag and the pixels stay, and the bytes change only
// as `layout` allows.
void expectFaithfulRewrite(const std::string& original, const std::string& rewritten, const Faithful& expect);

} // namespace shotdate::fixtures
