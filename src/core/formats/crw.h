#pragma once

#include "dates/date_site.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace shotdate {

// Canon CRW (CIFF): no EXIF at all. The file is a header and one heap;
// a heap's last four bytes point to its table of records, and a record
// either holds its value in the heap or is a heap of records itself. The
// shooting date is the first word of the TimeStamp record (0x180e): a
// 32-bit count of seconds, followed by a zone code that stays as it is.

bool isCrw(std::span<const std::uint8_t> file);

// Every TimeStamp in the file; nullopt when a heap or a record points
// outside the heap that holds it.
std::optional<std::vector<DateSite>> crwDateSites(std::span<const std::uint8_t> file);

} // namespace shotdate
