#pragma once

#include "bytes/read_range.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace shotdate {

// FotoStation appends a trailer after a JPEG's end: records laid end to
// end, each its data followed by a 10-byte footer (tag, size of data and
// footer, 0xA1B2C3D4; big-endian). Only the last footer can be found
// without reading the picture, so the records are walked back from the end
// of the file. Record 1 holds bare IPTC IIM; the others (a crop, a
// thumbnail, a preview) are stepped over unread.

enum class TrailerStatus {
    None, // the file does not end with a footer
    Found, // every record's footer read; `iptc` holds the IPTC records
    Damaged, // a footer runs past the start of the file, too many records, or an IPTC record too large
    ReadFailed, // the reader failed (errno set) or came back short
};

struct TrailerIptc {
    std::uint64_t offset = 0; // of its first byte in the file
    std::vector<std::uint8_t> bytes;
};

struct FotoStationTrailer {
    TrailerStatus status = TrailerStatus::None;
    std::vector<TrailerIptc> iptc; // in file order
};

// Past these a trailer is not one FotoStation writes; reading it would make
// time or memory grow with a damaged file.
inline constexpr std::size_t kMaxTrailerRecords = 256;
inline constexpr std::size_t kMaxTrailerIptcBytes = 8u << 20;

// The trailer of a file of `fileSize` bytes, read through `read` (a few
// bytes at its end, then each IPTC record alone).
FotoStationTrailer readFotoStationTrailer(std::uint64_t fileSize, const ReadRange& read);

} // namespace shotdate
