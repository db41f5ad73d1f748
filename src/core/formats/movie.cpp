#include "formats/movie.h"

#include "bytes/byte_match.h"
#include "bytes/byte_reader.h"
#include "formats/box_walker.h"

#include <algorithm>
#include <array>

namespace shotdate {

using namespace std::string_view_literals;

namespace {

constexpr std::array kPhotoBrands{"heic"sv, "heix"sv, "heim"sv, "heis"sv, "hevc"sv, "hevx"sv,
                                  "mif1"sv, "msf1"sv, "avif"sv, "avis"sv, "crx "sv, "jxl "sv};
constexpr std::array kMovieBrands{"qt  "sv, "isom"sv, "iso2"sv, "iso3"sv, "iso4"sv, "iso5"sv, "iso6"sv,
                                  "mp41"sv, "mp42"sv, "M4V "sv, "M4VH"sv, "M4VP"sv, "avc1"sv, "3gp4"sv,
                                  "3gp5"sv, "3gp6"sv, "3gp7"sv, "3gs7"sv, "3g2a"sv, "3g2b"sv, "3g2c"sv,
                                  "3ge6"sv, "3ge7"sv, "3gg6"sv, "MSNV"sv, "XAVC"sv, "CAEP"sv, "mmp4"sv};
// Boxes a QuickTime file without ftyp may open with.
constexpr std::array kMovieTopBoxes{"moov"sv, "mdat"sv, "wide"sv, "free"sv, "skip"sv, "pnot"sv};

constexpr std::size_t kMaxTopLevelBoxes = 1000000;

constexpr auto kAppleCreationKey = "com.apple.quicktime.creationdate"sv;
// ffmpeg's own copy of the header time, which ffprobe shows before mvhd's.
constexpr auto kCreationTimeKey = "creation_time"sv;
constexpr std::array<std::uint8_t, 16> kXmpUuid{0xBE, 0x7A, 0xCF, 0xCB, 0x97, 0xA9, 0x42, 0xE8,
                                                0x9C, 0x71, 0x99, 0x94, 0x91, 0xE3, 0xAF, 0xAC};

constexpr auto kDayItem = "\xA9"
                          "day"sv;

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& list, std::string_view value)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

std::string_view fourCc(std::span<const std::uint8_t> bytes, std::size_t at)
{
    if (at > bytes.size() || bytes.size() - at < 4)
        return {};
    return {reinterpret_cast<const char*>(bytes.data() + at), 4};
}

MovieHeaderPlace placeOf(MovieLayout status)
{
    MovieHeaderPlace place;
    place.status = status;
    return place;
}

class MovieWalk {
public:
    MovieWalk(std::span<const std::uint8_t> moov, std::uint64_t base) : moov_(moov), base_(base) {}

    bool damaged = false;
    MovieDateSites sites;

    std::vector<Box> children(const Box& box, std::size_t skip = 0)
    {
        if (box.payload + skip > box.end) {
            damaged = true;
            return {};
        }
        return childBoxes(moov_, box.payload + skip, box.end, damaged);
    }

    // The creation and modification times of mvhd, tkhd or mdhd: a full box
    // whose version says 32 or 64 bits.
    void addTimes(const Box& box, std::string_view created, std::string_view modified)
    {
        const std::size_t at = box.payload;
        const std::uint8_t version = at < box.end ? moov_[at] : 0xFF;
        const std::size_t width = version == 0 ? 4 : 8;
        if (version > 1 || box.end - at < 4 + 2 * width) {
            damaged = true;
            return;
        }
        const DateEncoding encoding = version == 0 ? DateEncoding::MovieSeconds32 : DateEncoding::MovieSeconds64;
        sites.times.push_back({{std::size_t(base_ + at + 4), encoding}, created});
        sites.times.push_back({{std::size_t(base_ + at + 4 + width), encoding}, modified});
    }

    void track(const Box& trak)
    {
        for (const Box& box : children(trak)) {
            if (box.type == "tkhd")
                addTimes(box, "QuickTime:TrackCreateDate", "QuickTime:TrackModifyDate");
            if (box.type == "mdia")
                for (const Box& inner : children(box))
                    if (inner.type == "mdhd")
                        addTimes(inner, "QuickTime:MediaCreateDate", "QuickTime:MediaModifyDate");
        }
    }

    // A text inside an ilst item's `data` box, when it is UTF-8.
    void addItemText(const Box& item, std::vector<MovieTextSite>& out, std::string_view name)
    {
        for (const Box& data : children(item)) {
            const ByteReader reader(moov_.subspan(0, data.end), true);
            if (data.type != "data" || reader.u32(data.payload) != 1u || !reader.has(data.payload, 8))
                continue;
            out.push_back({std::size_t(base_ + data.payload + 8), data.end - data.payload - 8, name});
        }
    }

    // meta holding keys and ilst (Apple's keyed items), or an ilst of
    // four-letter items. QuickTime writes meta without the full box's
    // version and flags, ISO files with them.
    void meta(const Box& box)
    {
        const bool bare = box.end - box.payload >= 8 && fourCc(moov_, box.payload + 4) == "hdlr";
        const std::vector<Box> inner = children(box, bare ? 0 : 4);
        std::uint32_t creationKey = 0;
        std::uint32_t creationTimeKey = 0;
        if (const auto keys = findBox(inner, "keys")) {
            const ByteReader reader(moov_.subspan(0, keys->end), true);
            const auto count = reader.u32(keys->payload + 4);
            std::size_t at = keys->payload + 8;
            for (std::uint32_t index = 1; count && index <= *count; ++index) {
                const auto size = reader.u32(at);
                if (!size || *size < 8 || !reader.has(at, *size)) {
                    damaged = true;
                    break;
                }
                const std::string_view key(reinterpret_cast<const char*>(moov_.data() + at + 8), *size - 8);
                if (key == kAppleCreationKey && creationKey == 0)
                    creationKey = index;
                if (key == kCreationTimeKey && creationTimeKey == 0)
                    creationTimeKey = index;
                at += *size;
            }
        }
        const auto ilst = findBox(inner, "ilst");
        if (!ilst)
            return;
        for (const Box& item : children(*ilst)) {
            const ByteReader reader(moov_.subspan(0, item.end), true);
            if (creationKey != 0 && reader.u32(item.start + 4) == creationKey)
                addItemText(item, sites.texts, "QuickTime:CreationDate");
            else if (creationTimeKey != 0 && reader.u32(item.start + 4) == creationTimeKey)
                addItemText(item, sites.utcTexts, "QuickTime:CreationTime");
            else if (item.type == kDayItem)
                addItemText(item, sites.dayTexts, "QuickTime:ContentCreateDate");
        }
    }

    void userData(const Box& udta)
    {
        for (const Box& box : children(udta)) {
            if (box.type == "meta")
                meta(box);
            if (box.type == "XMP_")
                sites.xmpPackets.push_back({std::size_t(base_ + box.payload), box.end - box.payload, "XMP"});
            if (box.type != kDayItem)
                continue;
            // QuickTime's own user-data text: a 16-bit length and language, then the text.
            const ByteReader reader(moov_.subspan(0, box.end), true);
            const auto length = reader.u16(box.payload);
            if (length && reader.has(box.payload + 4, *length))
                sites.dayTexts.push_back(
                    {std::size_t(base_ + box.payload + 4), *length, "QuickTime:ContentCreateDate"});
        }
    }

private:
    std::span<const std::uint8_t> moov_;
    std::uint64_t base_;
};

} // namespace

bool isMovie(std::span<const std::uint8_t> head)
{
    if (matchesAt(head, 4, "ftyp"sv)) {
        const std::string_view major = fourCc(head, 8);
        if (contains(kMovieBrands, major))
            return true;
        if (contains(kPhotoBrands, major))
            return false;
        // An unknown major brand: a movie when a compatible brand says so.
        const ByteReader reader(head, true);
        const std::size_t end = std::min<std::size_t>(reader.u32(0).value_or(0), head.size());
        bool movie = false;
        for (std::size_t at = 16; at + 4 <= end; at += 4) {
            if (contains(kPhotoBrands, fourCc(head, at)))
                return false;
            movie = movie || contains(kMovieBrands, fourCc(head, at));
        }
        return movie;
    }
    const auto size = ByteReader(head, true).u32(0);
    return size && (*size == 0 || *size == 1 || *size >= 8) && contains(kMovieTopBoxes, fourCc(head, 4));
}

MovieHeaderPlace findMovieHeader(std::uint64_t fileSize, const ReadRange& read)
{
    MovieHeaderPlace place;
    bool found = false;
    std::vector<std::uint8_t> header;
    std::uint64_t at = 0;
    // Fragmented recordings hold a few boxes per second of video; a million
    // is hours of it, and bounds the reads a file of tiny boxes could ask for.
    for (std::size_t count = 0; fileSize - at >= 8; ++count) {
        if (count == kMaxTopLevelBoxes)
            return placeOf(MovieLayout::NoMovieHeader);
        const std::size_t want = std::size_t(std::min<std::uint64_t>(32, fileSize - at));
        if (!read(at, want, header) || header.size() != want)
            return placeOf(MovieLayout::ReadFailed);
        bool damaged = false;
        const std::optional<Box> box = boxHeaderAt(header, std::size_t(at), std::size_t(fileSize), damaged);
        if (!box)
            return placeOf(MovieLayout::BoxPastEnd);
        if (box->type == "moov") {
            if (found)
                return placeOf(MovieLayout::NoMovieHeader);
            found = true;
            place.status = MovieLayout::Found;
            place.start = at;
            place.size = box->end - at;
        }
        // A uuid's own 16 bytes end where its payload starts, within the header read.
        const std::size_t uuidEnd = box->payload - std::size_t(at);
        if (box->type == "uuid" && header.size() >= uuidEnd
            && std::equal(kXmpUuid.begin(), kXmpUuid.end(),
                          header.begin() + std::ptrdiff_t(uuidEnd - kXmpUuid.size()))) {
            place.xmpBoxes.push_back({box->payload, box->end - box->payload});
            place.xmpBytes += box->end - box->payload;
        }
        at = box->end;
    }
    if (!found)
        return placeOf(MovieLayout::NoMovieHeader);
    if (place.size > kMaxMovieHeaderBytes)
        return placeOf(MovieLayout::HeaderTooLarge);
    return place;
}

std::optional<MovieDateSites> movieDateSites(std::span<const std::uint8_t> moov, std::uint64_t moovStart)
{
    MovieWalk walk(moov, moovStart);
    bool damaged = false;
    const std::optional<Box> top = boxHeaderAt(moov, 0, moov.size(), damaged);
    if (!top || top->type != "moov")
        return std::nullopt;
    for (const Box& box : walk.children(*top)) {
        if (box.type == "mvhd")
            walk.addTimes(box, "QuickTime:CreateDate", "QuickTime:ModifyDate");
        else if (box.type == "trak")
            walk.track(box);
        else if (box.type == "meta")
            walk.meta(box);
        else if (box.type == "udta")
            walk.userData(box);
    }
    if (walk.damaged || walk.sites.times.empty())
        return std::nullopt;
    return std::move(walk.sites);
}

} // namespace shotdate
