#include "rewrite/xmp_rewrite.h"

#include "bytes/checksums.h"

#include <algorithm>
#include <string_view>

namespace shotdate {

namespace {

// The runs of bytes where `after` differs from `before` (same length), as
// patches at `offset`.
void addDifferences(std::string_view before, std::string_view after, std::size_t offset,
                    std::vector<FilePatch>& patches)
{
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i] == after[i])
            continue;
        FilePatch patch{offset + i, {}};
        while (i < before.size() && before[i] != after[i])
            patch.bytes.push_back(std::uint8_t(after[i++]));
        patches.push_back(std::move(patch));
    }
}

FilePatch chunkCrcPatch(std::span<const std::uint8_t> file, const XmpPacketPlace& place,
                        std::span<const FilePatch> patches)
{
    std::vector<std::uint8_t> chunk(file.begin() + std::ptrdiff_t(place.crcStart),
                                    file.begin() + std::ptrdiff_t(place.crcStart + place.crcLength));
    for (const FilePatch& patch : patches)
        for (std::size_t i = 0; i < patch.bytes.size(); ++i)
            if (patch.offset + i >= place.crcStart && patch.offset + i < place.crcStart + place.crcLength)
                chunk[patch.offset + i - place.crcStart] = patch.bytes[i];
    const std::uint32_t crc = crc32(chunk);
    return {place.crcStart + place.crcLength,
            {std::uint8_t(crc >> 24), std::uint8_t(crc >> 16), std::uint8_t(crc >> 8), std::uint8_t(crc)}};
}

} // namespace

std::vector<DateChange> toDateChanges(const std::vector<XmpCopyChange>& changes, const std::string& suffix)
{
    std::vector<DateChange> out;
    for (const XmpCopyChange& change : changes)
        out.push_back({change.name + suffix, change.oldValue, change.newValue});
    return out;
}

XmpPatches xmpDatePatches(std::span<const std::uint8_t> file, const ContainerFormat& format, const DateArguments& args,
                          bool haveWholeFile)
{
    XmpPatches result;
    if (!format.xmpPackets)
        return result;
    for (const XmpPacketPlace& place : format.xmpPackets(file)) {
        const bool inside = place.offset <= file.size() && place.size <= file.size() - place.offset;
        const bool crcInside = !place.hasCrc || place.crcStart + place.crcLength + 4 <= file.size();
        if (!inside || !crcInside) {
            if (!haveWholeFile) {
                result.needsWholeFile = true;
                return result;
            }
            result.notes.push_back("XMP: a packet runs past the end of the file");
            continue;
        }
        const std::string_view packet(reinterpret_cast<const char*>(file.data() + place.offset), place.size);
        XmpDateEdit edit = changeXmpDates(packet, args, XmpLength::Keep);
        if (edit.outcome != XmpOutcome::Changed) {
            result.reason = edit.outcome == XmpOutcome::NoRoom ? Reason::CannotChangeCopy : Reason::DateOutOfRange;
            result.patches.clear();
            result.changes.clear();
            return result;
        }
        const std::size_t first = result.patches.size();
        addDifferences(packet, edit.packet, place.offset, result.patches);
        if (place.hasCrc && result.patches.size() > first)
            result.patches.push_back(chunkCrcPatch(file, place, std::span(result.patches).subspan(first)));
        const auto changes = toDateChanges(edit.changes);
        result.changes.insert(result.changes.end(), changes.begin(), changes.end());
        result.notes.insert(result.notes.end(), edit.notes.begin(), edit.notes.end());
    }
    return result;
}

} // namespace shotdate
