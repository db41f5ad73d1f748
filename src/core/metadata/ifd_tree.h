#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace shotdate {

// Every IFD of a TIFF structure that can be reached from IFD0: the chain
// (IFD1..n), and wherever they hang, Exif, GPS and Interop IFDs and SubIFDs.
// Walked with our own reader, so that what a rewrite must keep can be
// checked without trusting the library that did the rewrite.

struct IfdEntryView {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::size_t entryOffset = 0; // of the 12-byte entry, inside the block
    std::size_t valueOffset = 0; // inside the block (the entry itself for values of up to 4 bytes)
    std::uint64_t valueSize = 0; // 0 for an unknown type
    bool inBounds = false; // the value lies inside the block
};

struct IfdView {
    std::string path; // "IFD0", "IFD1", "IFD0/Exif", "IFD0/Exif/Interop", "IFD0/SubIFD1", ...
    std::size_t offset = 0;
    std::vector<IfdEntryView> entries;
    std::uint32_t next = 0;
    // The pointer leads to a table that does not fit, or to one already walked.
    bool broken = false;
    bool repeated = false;
};

struct IfdTree {
    bool bigEndian = false;
    std::vector<IfdView> ifds;
    // A table lies inside the block but past the bytes at hand.
    bool incomplete = false;
};

// `tiff` starts at the TIFF header; `blockSize` is the size of the whole
// structure, of which `tiff` may be only the start (a file's head).
// nullopt when the header is damaged or the walk would take more work than
// the block's size can account for (tables claiming more entries than fit).
std::optional<IfdTree> walkIfdTree(std::span<const std::uint8_t> tiff, std::size_t blockSize);

// Unsigned integer values of a SHORT, LONG or IFD entry; empty when the
// value is not at hand or of another type.
std::vector<std::uint64_t> ifdNumbers(std::span<const std::uint8_t> tiff, bool bigEndian, const IfdEntryView& entry);

// The bytes of an entry's value, when at hand.
std::optional<std::span<const std::uint8_t>> ifdValue(std::span<const std::uint8_t> tiff, const IfdEntryView& entry);

} // namespace shotdate
