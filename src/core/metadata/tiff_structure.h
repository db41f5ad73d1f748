#pragma once

#include "metadata/exif_block.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace shotdate {

// One date (or zone) field of an IFD, as the file stores it.
struct DateField {
    bool present = false;
    std::uint16_t tag = 0;
    // In IFD0 or the Exif IFD it points to; false for the copies hung off
    // later IFDs and for repeats within one IFD.
    bool mainCopy = false;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::size_t valueOffset = 0; // absolute position of the value in the file
    std::string text; // the stored bytes (up to the first NUL), when readable

    // An ASCII value of the field's usual length (20 bytes for a date, 7
    // for a zone) lying inside the block: it can take a new value of that
    // length without moving anything else in the file.
    bool patchable = false;

    // The bytes a value of this tag takes when written in its usual form.
    std::size_t width() const { return usualWidth(tag); }
    static std::size_t usualWidth(std::uint16_t tag) { return tag >= 0x9010 && tag <= 0x9012 ? 7 : 20; }
};

struct TiffDates {
    bool hasExifIfd = false;
    DateField original; // 0x9003 DateTimeOriginal
    DateField digitized; // 0x9004 DateTimeDigitized
    // Some cameras give a later IFD (the thumbnail's) an Exif IFD of its own
    // with the same dates, and some writers repeat an entry within one IFD;
    // readers that show the last copy would still show the old date unless
    // these change too.
    std::vector<DateField> otherCopies;
    // ModifyDate (0x0132) of IFD0 and of later IFDs, and the zone tags
    // OffsetTime, OffsetTimeOriginal and OffsetTimeDigitized (0x9010-0x9012)
    // of every Exif IFD, each copy once, in the order met.
    std::vector<DateField> extras;
};

// Reads IFD0, follows its Exif IFD pointer and finds the two date fields.
// Some containers (Canon's CR3) store the Exif tags in IFD0 itself:
// `exifTagsInFirstIfd` says so. nullopt when the TIFF header or IFD0 is damaged.
// With `needsMore`, `file` may be only the head of the file and `block` run
// past its end: nothing beyond the head is read, and *needsMore tells
// whether the answer would have needed more (when false, the answer is the
// one the whole file gives).
std::optional<TiffDates> readTiffDates(std::span<const std::uint8_t> file, const ExifBlock& block,
                                       bool exifTagsInFirstIfd = false, bool* needsMore = nullptr);

// What a rewrite must carry over unchanged: how many images the IFD chain
// holds, and a digest of every strip, tile and embedded JPEG they point to
// (main chain and SubIFDs).
struct TiffImageData {
    std::size_t pages = 0;
    std::vector<std::uint64_t> digests;
    bool operator==(const TiffImageData&) const = default;
};

std::optional<TiffImageData> readTiffImageData(std::span<const std::uint8_t> file, const ExifBlock& block);

} // namespace shotdate
