#include "rewrite/xmp_rewrite.h"

#include "formats/png.h"

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

// XMP may be written in UTF-16 (rarely, UTF-32 is not met here). Dates,
// names and padding are all ASCII: each code unit is read as one
// character, anything beyond ASCII as a stand-in that never changes.
enum class Encoding { Utf8, Utf16BigEndian, Utf16LittleEndian };

Encoding encodingOf(std::string_view packet)
{
    if (packet.size() < 4 || packet.size() % 2 != 0)
        return Encoding::Utf8;
    const auto byte = [&](std::size_t i) { return std::uint8_t(packet[i]); };
    if ((byte(0) == 0xFE && byte(1) == 0xFF) || (byte(0) == 0 && byte(1) == '<'))
        return Encoding::Utf16BigEndian;
    if ((byte(0) == 0xFF && byte(1) == 0xFE && byte(2) != 0) || (byte(0) == '<' && byte(1) == 0))
        return Encoding::Utf16LittleEndian;
    return Encoding::Utf8;
}

std::string narrowed(std::string_view packet, Encoding encoding)
{
    std::string text(packet.size() / 2, '\x01');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint8_t high = std::uint8_t(packet[2 * i + (encoding == Encoding::Utf16BigEndian ? 0 : 1)]);
        const std::uint8_t low = std::uint8_t(packet[2 * i + (encoding == Encoding::Utf16BigEndian ? 1 : 0)]);
        if (high == 0 && low < 0x80 && low != 0)
            text[i] = char(low);
    }
    return text;
}

std::string widened(std::string_view text, Encoding encoding)
{
    std::string wide;
    for (const char c : text) {
        if (encoding == Encoding::Utf16BigEndian)
            wide += '\0';
        wide += c;
        if (encoding == Encoding::Utf16LittleEndian)
            wide += '\0';
    }
    return wide;
}

} // namespace

std::vector<DateChange> toDateChanges(const std::vector<XmpCopyChange>& changes, const std::string& suffix)
{
    std::vector<DateChange> out;
    for (const XmpCopyChange& change : changes)
        out.push_back({change.name + suffix, change.oldValue, change.newValue});
    return out;
}

bool addXmpPacketPatches(std::string_view packet, std::size_t offset, const DateArguments& args, XmpPatches& result)
{
    const Encoding encoding = encodingOf(packet);
    const std::string text = encoding == Encoding::Utf8 ? std::string(packet) : narrowed(packet, encoding);
    XmpDateEdit edit = changeXmpDates(text, args, XmpLength::Keep);
    if (edit.outcome != XmpOutcome::Changed) {
        result.reason = edit.outcome == XmpOutcome::NoRoom ? Reason::CannotChangeCopy : Reason::DateOutOfRange;
        result.patches.clear();
        result.changes.clear();
        return false;
    }
    if (encoding != Encoding::Utf8) {
        // Only ASCII changed: each changed character is its code unit.
        std::string wide(packet);
        for (std::size_t i = 0; i < text.size(); ++i)
            if (text[i] != edit.packet[i])
                wide.replace(2 * i, 2, widened(std::string_view(edit.packet).substr(i, 1), encoding));
        edit.packet = std::move(wide);
    }
    addDifferences(packet, edit.packet, offset, result.patches);
    const auto changes = toDateChanges(edit.changes);
    result.changes.insert(result.changes.end(), changes.begin(), changes.end());
    result.notes.insert(result.notes.end(), edit.notes.begin(), edit.notes.end());
    return true;
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
        const std::size_t first = result.patches.size();
        if (!addXmpPacketPatches(packet, place.offset, args, result))
            return result;
        if (place.hasCrc && result.patches.size() > first)
            result.patches.push_back(
                chunkCrcPatch(file, place.crcStart, place.crcLength, std::span(result.patches).subspan(first)));
    }
    return result;
}

} // namespace shotdate
