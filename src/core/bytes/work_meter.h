#pragma once

#include <cstdint>

namespace shotdate {

// What reading one file cost, counted on the thread that read it. Every
// reader must stay within a small multiple of the file's size whatever its
// bytes claim; the counts let tests hold them to it without timing anything.
struct WorkMeter {
    std::uint64_t bytesHashed = 0; // image data digested to check a rewrite
    std::uint64_t bytesGathered = 0; // pieces of a box file's Exif item copied together
    std::uint64_t rangesChecked = 0; // byte ranges a date was checked against
};

// This thread's meter; tests reset it with `workMeter() = {}`.
WorkMeter& workMeter();

} // namespace shotdate
