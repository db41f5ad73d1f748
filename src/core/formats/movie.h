#pragma once

#include "bytes/read_range.h"
#include "dates/date_site.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace shotdate {

// QuickTime and ISO movies (MOV, MP4, M4V, 3GP). Their dates live in the
// movie header box `moov`, which may stand before or after the media data;
// only the box headers on the way to it and `moov` itself are ever read.

// An ftyp with a movie brand, or a QuickTime file without ftyp that opens
// with a movie's own top-level box. Photo brands (HEIF, AVIF, CR3) are not movies.
bool isMovie(std::span<const std::uint8_t> head);

// More than this in `moov` is not a movie header a camera writes; reading
// it whole would make memory grow with the file.
inline constexpr std::uint64_t kMaxMovieHeaderBytes = 64ull << 20;

enum class MovieLayout {
    Found,
    NoMovieHeader, // no moov, or more than one
    BoxPastEnd, // a top-level box's size runs past the end of the file (a cut-off recording)
    HeaderTooLarge, // moov is larger than kMaxMovieHeaderBytes
    ReadFailed, // the reader failed (errno set) or came back short
};

// The packet of a top-level `uuid` box of XMP (as ISO files keep it), at
// its file offset.
struct MovieXmpBox {
    std::uint64_t start = 0;
    std::uint64_t size = 0;
};

struct MovieHeaderPlace {
    MovieLayout status = MovieLayout::NoMovieHeader;
    std::uint64_t start = 0; // of moov's header
    std::uint64_t size = 0; // of the whole box
    std::vector<MovieXmpBox> xmpBoxes;
    std::uint64_t xmpBytes = 0; // all of them together, bounded like moov by whoever reads them
};

// Walks the top-level box headers of a file of `fileSize` bytes.
MovieHeaderPlace findMovieHeader(std::uint64_t fileSize, const ReadRange& read);

// One date of a movie, named as exiftool names it ("QuickTime:CreateDate").
struct MovieTimeSite {
    DateSite site; // a 1904-based count
    std::string_view name;
};
struct MovieTextSite {
    std::size_t offset = 0; // of the text's first byte
    std::size_t length = 0;
    std::string_view name;
};

struct MovieDateSites {
    std::vector<MovieTimeSite> times; // mvhd, then each trak's tkhd and mdhd
    std::vector<MovieTextSite> texts; // com.apple.quicktime.creationdate
    std::vector<MovieTextSite> utcTexts; // creation_time keys: the header time as text
    std::vector<MovieTextSite> dayTexts; // ©day items
    std::vector<MovieTextSite> xmpPackets; // udta/XMP_, as QuickTime keeps it
};

// The dates in `moov` (the whole box, which starts at file offset
// `moovStart`), at their file offsets; nullopt when a box on the way runs
// past its container or a header box is of a version we do not know.
std::optional<MovieDateSites> movieDateSites(std::span<const std::uint8_t> moov, std::uint64_t moovStart);

} // namespace shotdate
