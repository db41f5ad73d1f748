#pragma once

#include "bytes/file_patch.h"
#include "dates/date_site.h"
#include "formats/box_walker.h"
#include "formats/image_format.h"
#include "formats/xmp_packets.h"
#include "metadata/exif_block.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace shotdate {

// How a date that is missing, or stored at another size, can be written.
enum class DateAddition {
    None, // it cannot: the file is passed over
    WholeFile, // Exiv2 writes the whole file again
    SpliceBlock, // Exiv2 lays out the EXIF block alone, spliced back by `spliceExif`
};

// Everything the engine knows how to do with one container: one row per
// sniffed type. A column left empty means the container cannot do that.
struct ContainerFormat {
    ImageFormat type;
    std::string_view name;
    bool (*sniff)(std::span<const std::uint8_t> file);
    // false: recognised as an image, but never rewritten.
    bool rewritable = false;

    // Where the EXIF data lies: one block of the file...
    std::optional<ExifBlock> (*exifBlock)(std::span<const std::uint8_t> file) = nullptr;
    // ...the file itself (whose dates may then lie past any head)...
    bool fileIsExifBlock = false;
    // ...or pieces gathered from boxes.
    BoxExifStatus (*gatherExif)(std::span<const std::uint8_t> file, GatheredExif& out) = nullptr;
    // A file without EXIF whose dates are values at fixed places; nullopt
    // when its structure is damaged. Such a file is read whole.
    std::optional<std::vector<DateSite>> (*dateSites)(std::span<const std::uint8_t> file) = nullptr;
    // A movie: its dates are in the movie header box, found by walking the
    // top-level box headers (formats/movie.h); never read whole.
    bool datesInMovieHeader = false;

    // How much of the file's head holds everything a rewrite looks at (see
    // exifHeadLength()); empty: the whole file is read.
    std::optional<std::size_t> (*headLength)(std::span<const std::uint8_t> head) = nullptr;

    // Digests of the picture bytes, which a new layout must carry over.
    std::optional<std::vector<std::uint64_t>> (*pictureDigests)(std::span<const std::uint8_t> file) = nullptr;

    DateAddition dateAddition = DateAddition::None;
    std::optional<std::vector<std::uint8_t>> (*spliceExif)(std::span<const std::uint8_t> file, const ExifBlock& block,
                                                           std::span<const std::uint8_t> tiff) = nullptr;
    // A file of this type whose layout must not change (its offsets would go stale).
    bool (*keepsLayout)(std::span<const std::uint8_t> file) = nullptr;
    // A checksum over the EXIF block that patches must keep right.
    FilePatch (*checksumPatch)(std::span<const std::uint8_t> file, const ExifBlock& block,
                               const std::vector<FilePatch>& patches) = nullptr;

    // Where the XMP packets lie, looked at only when every copy of the date
    // moves, and how much of a head holds them all (empty: the whole file).
    std::vector<XmpPacketPlace> (*xmpPackets)(std::span<const std::uint8_t> file) = nullptr;
    std::optional<std::size_t> (*xmpHeadLength)(std::span<const std::uint8_t> head) = nullptr;
};

// The rows, in the order the types are sniffed.
std::span<const ContainerFormat> formatTable();

// The row of a type; nullptr for ImageFormat::Unknown.
const ContainerFormat* containerFormat(ImageFormat type);

// The EXIF block of a file of the row's type; nullopt when it has none, the
// structure is damaged or the block too small to hold a TIFF header.
std::optional<ExifBlock> locateExifBlock(std::span<const std::uint8_t> file, const ContainerFormat& format);

// How much of the head of a file is enough to find and patch its dates, or
// to know it has none: JPEG, PNG and WebP (and the JPEG inside a RAF) keep
// EXIF in one segment or chunk,
// found by walking the headers before it, so everything a rewrite looks at
// lies before that segment's end (or, in a JPEG without one, before the
// first scan). A TIFF's structure may point anywhere: for a TIFF or a
// TIFF-like raw the answer is all of `head`. Given at least that many bytes,
// rewriteExifDates() answers as it would for the whole file, or says it
// needs the whole file. nullopt when `head` is too short to tell, or for
// other formats.
std::optional<std::size_t> exifHeadLength(std::span<const std::uint8_t> head, ImageFormat format);

// The same, when every copy of the date moves: the XMP packets must lie in
// the head too.
std::optional<std::size_t> allDatesHeadLength(std::span<const std::uint8_t> head, ImageFormat format);

} // namespace shotdate
