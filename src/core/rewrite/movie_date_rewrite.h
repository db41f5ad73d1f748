#pragma once

#include "formats/movie.h"
#include "rewrite/date_rewrite.h"

#include <cstdint>
#include <span>
#include <vector>

namespace shotdate {

// Why a movie whose header could not be reached is passed over.
Reason reasonForLayout(MovieLayout layout);

// The rewrite of a movie's dates, given its movie header box `moov` (which
// starts at file offset `moovStart`): same-size patches of the header times
// and of the zoned texts, at their file offsets. The times are UTC; a date
// and time, a date or a time given by the user is a wall clock in the zone
// the file records (Apple's creation date), else in the computer's zone.
// Zero times stay zero; a movie with no date at all is passed over in the
// modes that start from its own date. The reports' old and new dates are
// its creation time as a wall clock in that zone.
// With every copy of the date, the XMP packets move too (the photo's rules,
// same length): udta/XMP_ in `moov`, and `xmpBoxes`, the packets of the
// top-level uuid boxes as read.
struct MovieXmpPacket {
    std::uint64_t start = 0;
    std::vector<std::uint8_t> bytes;
};
DateRewrite rewriteMovieDates(std::span<const std::uint8_t> moov, std::uint64_t moovStart, const DateArguments& args,
                              std::span<const MovieXmpPacket> xmpBoxes = {});

// Reads what the rewrite needs of a movie whose top-level boxes are known:
// `moov`, and with every copy of the date its XMP boxes (together bounded
// as `moov` is). A failed or short read gives Unreadable.
DateRewrite rewriteMovieAt(const MovieHeaderPlace& place, const ReadRange& read, const DateArguments& args);

// The same for a whole movie in memory.
DateRewrite rewriteMovieFile(std::span<const std::uint8_t> file, const DateArguments& args, bool wantWholeFile);

} // namespace shotdate
