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

// Exif values to set, by Exiv2's key ("Exif.Photo.DateTimeOriginal"), as
// ASCII text; nullopt removes the value (an undo takes away a field the run
// had added).
using ExifValues = std::vector<std::pair<std::string, std::optional<std::string>>>;

// Sets `values` in a copy of the file held in memory; nullopt when Exiv2
// cannot do it.
std::optional<std::vector<std::uint8_t>> exiv2WriteValues(std::span<const std::uint8_t> file, const ExifValues& values);

// A new TIFF structure holding the EXIF data of `tiff` with `values` set,
// in the original byte order; for containers (PNG, WebP) whose EXIF
// block we splice ourselves, since Exiv2 would move a PNG's EXIF into a text
// chunk and write a WebP's in another byte order.
std::optional<std::vector<std::uint8_t>> exiv2RebuildExifBlock(std::span<const std::uint8_t> tiff,
                                                               const ExifValues& values);

// Every Exif, IPTC and XMP value of the file as text, keyed by Exiv2's key
// (with "#n" for repeated keys); nullopt when Exiv2 cannot read the file.
using MetadataSnapshot = std::map<std::string, std::string>;
std::optional<MetadataSnapshot> exiv2ReadMetadata(std::span<const std::uint8_t> file);

// The values of `keys` ("Exif.Photo.DateTimeOriginal") in a TIFF structure
// (an EXIF block), as text; a key Exiv2 does not find is left out. Cheaper
// than a whole snapshot: only the EXIF is decoded, and only these values
// turned into text. nullopt when Exiv2 cannot decode the block. The block
// is decoded where it lies, and decoding may patch what it reads (as an
// image's readMetadata does): hand it bytes that are yours to spoil.
std::optional<MetadataSnapshot> exiv2ReadExifValues(std::span<std::uint8_t> tiff, const std::vector<std::string>& keys);

// Exiv2's own words about the last call on this thread: the text of the
// error it raised, or else the last warning or error it logged; empty when
// it said nothing.
std::string exiv2LastMessage();

} // namespace shotdate
