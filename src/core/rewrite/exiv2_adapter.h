#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace shotdate {

// The only door to Exiv2. Every Exiv2 exception stops here and becomes an
// empty result; Exiv2's log never reaches stderr. What Exiv2 said about the
// last call is kept for the file's report (exiv2LastMessage()).

// The two dates a new layout gives a file; nullopt removes the field (an
// undo takes away a DateTimeDigitized the run had added).
struct ExifDateValues {
    std::optional<std::string> original;
    std::optional<std::string> digitized;
};

// Sets Exif.Photo.DateTimeOriginal and DateTimeDigitized to `newDate` in a
// copy of the file held in memory; nullopt when Exiv2 cannot do it.
std::optional<std::vector<std::uint8_t>> exiv2WriteDates(std::span<const std::uint8_t> file,
                                                         const std::string& newDate);
std::optional<std::vector<std::uint8_t>> exiv2WriteDates(std::span<const std::uint8_t> file,
                                                         const ExifDateValues& values);

// A new TIFF structure holding the EXIF data of `tiff` with the two dates
// set, in the original byte order; for containers (PNG, WebP) whose EXIF
// block we splice ourselves, since Exiv2 would move a PNG's EXIF into a text
// chunk and write a WebP's in another byte order.
std::optional<std::vector<std::uint8_t>> exiv2RebuildExifBlock(std::span<const std::uint8_t> tiff,
                                                               const std::string& newDate);
std::optional<std::vector<std::uint8_t>> exiv2RebuildExifBlock(std::span<const std::uint8_t> tiff,
                                                               const ExifDateValues& values);

// Every Exif, IPTC and XMP value of the file as text, keyed by Exiv2's key
// (with "#n" for repeated keys); nullopt when Exiv2 cannot read the file.
using MetadataSnapshot = std::map<std::string, std::string>;
std::optional<MetadataSnapshot> exiv2ReadMetadata(std::span<const std::uint8_t> file);

// Exiv2's own words about the last call on this thread: the text of the
// error it raised, or else the last warning or error it logged; empty when
// it said nothing.
std::string exiv2LastMessage();

} // namespace shotdate
