#pragma once

#include "bytes/file_patch.h"
#include "dates/date_rule.h"
#include "formats/format_table.h"
#include "formats/fotostation.h"
#include "rewrite/exiv2_adapter.h"
#include "run/file_report.h"
#include "run/reason.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace shotdate {

// The in-memory heart of the rewrite: given the bytes of one image file,
// produce the bytes of the same file with DateTimeOriginal and
// DateTimeDigitized set. Never touches the disk.
//
// When both fields already exist as 20-byte ASCII values the result differs
// from the input in exactly those bytes. Otherwise the metadata is rewritten
// through Exiv2 (for the formats it writes faithfully) and the result is
// checked against the original before it is accepted.
struct DateRewrite {
    Reason reason = Reason::NotAnImage; // Rewritten on success
    std::string oldDate; // the file's DateTimeOriginal as found ("" when none)
    std::optional<std::string> oldDigitized; // the file's DateTimeDigitized as found (nullopt: absent)
    std::string newDate; // the text written (set on success)
    bool patchedInPlace = false; // true: only the date bytes changed (and, for a TIFF given a
                                 // missing date, bytes added at its end)
    std::vector<FilePatch> patches; // when patched in place: the bytes that change; one may start
                                    // at the old end of the file and extend it
    std::vector<std::uint8_t> bytes; // the new file (on success; with patches only when asked for)
    // Given only the head of the file, the rewrite needs all of it: the
    // fields cannot simply be patched. Nothing else in the result is set.
    bool needsWholeFile = false;
    // The dates were values at fixed places (a CRW's seconds), not EXIF text.
    bool datesAreSites = false;
    // When Exiv2 could not lay the file out again: what it said.
    std::string exiv2Message;
    // Each patch's bytes before it, where they lie outside what the caller
    // read (a movie's header, read on its own): for the journal.
    std::vector<std::vector<std::uint8_t>> patchedBefore;
    std::vector<DateChange> changes; // every copy changed (on success)
    std::vector<std::string> notes; // copies left as they were, and why
};

struct RewriteOptions {
    // false: when the file can be patched in place, give only the patches
    // and spare the copy of the whole file.
    bool wantWholeFile = true;
    // false: `file` is only the head of the file, as long as
    // exifHeadLength() asked for, and `fileSize` the size of the whole.
    bool haveWholeFile = true;
    std::size_t fileSize = 0;
    // With only the head and every copy of the date: a JPEG's FotoStation
    // trailer, read at the file's end (nullptr: the whole file is asked for).
    const FotoStationTrailer* trailer = nullptr;
};

DateRewrite rewriteExifDates(std::span<const std::uint8_t> file, const DateArguments& args,
                             RewriteOptions options = {});

// Exiv2's key for an EXIF tag a rewrite may set ("Exif.Photo.DateTimeOriginal").
std::string exiv2Key(std::uint16_t tag);

// The file with its metadata laid out again by Exiv2, `values` set (nullopt
// removes one), accepted only if every picture and every value but these
// and `alsoChanged` (tags besides the two dates) came through unchanged and
// the new TIFF structure `readsBack` as asked.
Reason rewriteThroughExiv2(std::span<const std::uint8_t> file, const ContainerFormat& format, const ExifBlock& block,
                           const ExifValues& values, std::span<const std::uint16_t> alsoChanged,
                           const std::function<bool(std::span<const std::uint8_t>)>& readsBack,
                           std::vector<std::uint8_t>& out);

} // namespace shotdate
