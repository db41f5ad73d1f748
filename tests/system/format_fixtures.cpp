#include "format_fixtures.h"

#include "tiff_builder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

namespace shotdate::format_fixtures {

namespace fs = std::filesystem;
using fixtures::exiftoolWrite;
using fixtures::readBytes;
using fixtures::writeBytes;
using testing_support::put32;
constexpr auto step = fixtures::runStep;

namespace {

bool setDates(const std::string& path, std::vector<std::string> extra, bool withDigitized, std::string& error)
{
    const std::string date = kFormatFixtureDate;
    std::vector<std::string> tags = {"-IFD0:Make=FixtureCam",
                                     "-IFD0:ModifyDate=" + std::string(fixtures::kFixtureModifyDate),
                                     "-ExifIFD:ExposureTime=0.01", "-ExifIFD:DateTimeOriginal=" + date};
    if (withDigitized)
        tags.push_back("-ExifIFD:CreateDate=" + date);
    tags.insert(tags.end(), extra.begin(), extra.end());
    return step(exiftoolWrite(tags, path), error);
}

// Lets `change` reshape the file in place; it answers what it did not find, "" when done.
bool reshape(const std::string& path, std::string& error, const std::function<std::string(Bytes&)>& change)
{
    Bytes bytes = readBytes(path);
    error = change(bytes);
    if (!error.empty())
        error += " in " + path;
    return error.empty() && writeBytes(path, bytes);
}

// --- byte layouts -----------------------------------------------------------

bool startsWithText(const Bytes& bytes, std::size_t at, std::string_view text)
{
    return at + text.size() <= bytes.size() && std::memcmp(bytes.data() + at, text.data(), text.size()) == 0;
}

// JPEG marker segments between SOI and SOS, each with its marker.
std::vector<Span> jpegSegments(const Bytes& jpeg)
{
    std::vector<Span> segments;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
        const std::size_t size = 2 + std::size_t(getBigEndian(jpeg, at + 2, 2));
        segments.push_back({at, size});
        at += size;
    }
    return segments;
}

bool isApp1(const Bytes& jpeg, Span segment, std::string_view signature)
{
    return jpeg[segment.start + 1] == 0xE1 && startsWithText(jpeg, segment.start + 4, signature);
}

std::optional<Span> jpegApp1(const Bytes& jpeg, std::string_view signature)
{
    for (const Span& segment : jpegSegments(jpeg))
        if (isApp1(jpeg, segment, signature))
            return segment;
    return std::nullopt;
}

constexpr std::string_view kExifSignature{"Exif\0\0", 6};
constexpr std::string_view kXmpSignature{"http://ns.adobe.com/xap/1.0/\0", 29};

Bytes cut(const Bytes& bytes, Span span)
{
    return Bytes(bytes.begin() + std::ptrdiff_t(span.start), bytes.begin() + std::ptrdiff_t(span.end()));
}

void replaceAll(Bytes& bytes, std::string_view from, std::string_view to)
{
    for (auto it = bytes.begin(); (it = std::search(it, bytes.end(), from.begin(), from.end())) != bytes.end();
         it += std::ptrdiff_t(to.size()))
        std::copy(to.begin(), to.end(), it);
}

std::string moveXmpBeforeExif(Bytes& jpeg)
{
    const auto exif = jpegApp1(jpeg, kExifSignature);
    const auto xmp = jpegApp1(jpeg, kXmpSignature);
    if (!exif || !xmp || xmp->start < exif->start)
        return "expected an Exif APP1 followed by an XMP APP1";
    const Bytes xmpSegment = cut(jpeg, *xmp);
    jpeg.erase(jpeg.begin() + std::ptrdiff_t(xmp->start), jpeg.begin() + std::ptrdiff_t(xmp->end()));
    jpeg.insert(jpeg.begin() + std::ptrdiff_t(exif->start), xmpSegment.begin(), xmpSegment.end());
    return {};
}

std::string addSecondExifSegment(Bytes& jpeg)
{
    const auto exif = jpegApp1(jpeg, kExifSignature);
    if (!exif)
        return "no Exif APP1";
    Bytes second = cut(jpeg, *exif);
    replaceAll(second, kFormatFixtureDate, kSecondSegmentDate);
    jpeg.insert(jpeg.begin() + std::ptrdiff_t(exif->end()), second.begin(), second.end());
    return {};
}

std::string moveExifAfterImageData(Bytes& png)
{
    const auto chunks = pngChunks(png);
    const auto typed = [&](const char* type) {
        return std::find_if(chunks.begin(), chunks.end(),
                            [&](const Span& chunk) { return startsWithText(png, chunk.start + 4, type); });
    };
    const auto exif = typed("eXIf");
    const auto end = typed("IEND");
    if (exif == chunks.end() || end == chunks.end())
        return "no eXIf or IEND chunk";
    const Bytes chunk = cut(png, *exif);
    png.insert(png.begin() + std::ptrdiff_t(end->start), chunk.begin(), chunk.end());
    png.erase(png.begin() + std::ptrdiff_t(exif->start), png.begin() + std::ptrdiff_t(exif->end()));
    return {};
}

// --- ISO base media boxes ---------------------------------------------------

struct Box {
    std::string type;
    Span span;
    std::size_t payload = 0;
};

std::vector<Box> boxesIn(const Bytes& file, std::size_t from, std::size_t to)
{
    std::vector<Box> boxes;
    std::size_t at = from;
    while (at + 8 <= to) {
        const std::size_t size = std::size_t(getBigEndian(file, at, 4));
        if (size < 8 || size > to - at)
            break; // the fixtures never use 64-bit or open-ended sizes
        boxes.push_back({std::string(reinterpret_cast<const char*>(file.data() + at + 4), 4), {at, size}, at + 8});
        at += size;
    }
    return boxes;
}

std::optional<Box> boxOf(const std::vector<Box>& boxes, std::string_view type)
{
    const auto it = std::find_if(boxes.begin(), boxes.end(), [&](const Box& box) { return box.type == type; });
    return it == boxes.end() ? std::nullopt : std::optional(*it);
}

struct IlocExtent {
    std::uint64_t index = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::size_t offsetAt = 0; // file positions of the fields, as parsed
    std::size_t lengthAt = 0;
};

struct IlocItem {
    std::uint32_t id = 0;
    std::uint16_t methodField = 0; // reserved bits and construction_method
    std::uint16_t dataReference = 0;
    std::uint64_t base = 0;
    std::vector<IlocExtent> extents;
    int method() const { return methodField & 15; }
};

struct Iloc {
    Box box;
    std::uint8_t version = 0;
    std::uint32_t flags = 0;
    std::size_t offsetSize = 0, lengthSize = 0, baseSize = 0, indexSize = 0;
    std::vector<IlocItem> items;
};

struct HeifIndex {
    Box meta;
    Iloc iloc;
    std::uint32_t exifItem = 0;
    bool hasExifItem = false;
};

std::optional<HeifIndex> readHeifIndex(const Bytes& file)
{
    HeifIndex index;
    const auto meta = boxOf(boxesIn(file, 0, file.size()), "meta");
    if (!meta)
        return std::nullopt;
    index.meta = *meta;
    const auto inner = boxesIn(file, meta->payload + 4, meta->span.end());
    const auto iloc = boxOf(inner, "iloc");
    const auto iinf = boxOf(inner, "iinf");
    if (!iloc || !iinf)
        return std::nullopt;

    std::size_t at = iinf->payload;
    const std::size_t countSize = file[at] == 0 ? 2 : 4;
    for (const Box& infe : boxesIn(file, at + 4 + countSize, iinf->span.end())) {
        const std::uint8_t version = file[infe.payload];
        if (infe.type != "infe" || version < 2)
            continue;
        const std::size_t idSize = version == 2 ? 2 : 4;
        if (startsWithText(file, infe.payload + 4 + idSize + 2, "Exif")) {
            index.exifItem = std::uint32_t(getBigEndian(file, infe.payload + 4, idSize));
            index.hasExifItem = true;
        }
    }

    Iloc& out = index.iloc;
    out.box = *iloc;
    at = iloc->payload;
    const auto take = [&](std::size_t size) {
        at += size;
        return getBigEndian(file, at - size, size);
    };
    out.version = std::uint8_t(take(1));
    out.flags = std::uint32_t(take(3));
    out.offsetSize = file[at] >> 4;
    out.lengthSize = file[at] & 15;
    out.baseSize = file[at + 1] >> 4;
    out.indexSize = out.version >= 1 ? file[at + 1] & 15 : 0;
    at += 2;
    const std::size_t idSize = out.version < 2 ? 2 : 4;
    for (std::size_t i = 0, count = take(idSize); i < count; ++i) {
        IlocItem item;
        item.id = std::uint32_t(take(idSize));
        item.methodField = out.version >= 1 ? std::uint16_t(take(2)) : 0;
        item.dataReference = std::uint16_t(take(2));
        item.base = take(out.baseSize);
        for (std::size_t e = 0, extents = take(2); e < extents; ++e) {
            IlocExtent extent;
            extent.index = take(out.indexSize);
            extent.offsetAt = at;
            extent.offset = take(out.offsetSize);
            extent.lengthAt = at;
            extent.length = take(out.lengthSize);
            item.extents.push_back(extent);
        }
        out.items.push_back(std::move(item));
    }
    return index;
}

Bytes ilocBox(const Iloc& iloc)
{
    Bytes payload;
    payload.push_back(iloc.version);
    put32(payload, iloc.flags, true, 3);
    payload.push_back(std::uint8_t(iloc.offsetSize << 4 | iloc.lengthSize));
    payload.push_back(std::uint8_t(iloc.baseSize << 4 | (iloc.version >= 1 ? iloc.indexSize : 0)));
    const std::size_t idSize = iloc.version < 2 ? 2 : 4;
    put32(payload, iloc.items.size(), true, idSize);
    for (const IlocItem& item : iloc.items) {
        put32(payload, item.id, true, idSize);
        if (iloc.version >= 1)
            put32(payload, item.methodField, true, 2);
        put32(payload, item.dataReference, true, 2);
        put32(payload, item.base, true, iloc.baseSize);
        put32(payload, item.extents.size(), true, 2);
        for (const IlocExtent& extent : item.extents) {
            put32(payload, extent.index, true, iloc.indexSize);
            put32(payload, extent.offset, true, iloc.offsetSize);
            put32(payload, extent.length, true, iloc.lengthSize);
        }
    }
    Bytes box;
    put32(box, 8 + payload.size(), true);
    box.insert(box.end(), {'i', 'l', 'o', 'c'});
    box.insert(box.end(), payload.begin(), payload.end());
    return box;
}

// Moves every file position into the extents (base_offset_size 0), then
// writes `iloc` in place of the old box. Data stored in the file after the
// old box moves by the change in size, so its positions move with it.
Bytes withIloc(const Bytes& file, const HeifIndex& index, Iloc iloc)
{
    const std::size_t oldEnd = index.iloc.box.span.end();
    iloc.baseSize = 0;
    for (IlocItem& item : iloc.items) {
        for (IlocExtent& extent : item.extents)
            extent.offset += item.base;
        item.base = 0;
    }
    const Bytes sizing = ilocBox(iloc);
    const std::ptrdiff_t delta = std::ptrdiff_t(sizing.size()) - std::ptrdiff_t(index.iloc.box.span.size);
    for (IlocItem& item : iloc.items)
        if (item.method() == 0 && item.dataReference == 0)
            for (IlocExtent& extent : item.extents)
                if (extent.offset >= oldEnd)
                    extent.offset = std::uint64_t(std::ptrdiff_t(extent.offset) + delta);
    const Bytes box = ilocBox(iloc);

    Bytes out(file.begin(), file.begin() + std::ptrdiff_t(index.iloc.box.span.start));
    out.insert(out.end(), box.begin(), box.end());
    out.insert(out.end(), file.begin() + std::ptrdiff_t(oldEnd), file.end());
    putBigEndian(out, index.meta.span.start, 4, std::uint64_t(std::ptrdiff_t(index.meta.span.size) + delta));
    return out;
}

// The Exif item when it lies in one extent of the file itself.
IlocItem* exifItemOf(Iloc& iloc, std::uint32_t id)
{
    const auto it = std::find_if(iloc.items.begin(), iloc.items.end(), [&](const IlocItem& item) {
        return item.id == id && item.extents.size() == 1 && item.method() == 0;
    });
    return it == iloc.items.end() ? nullptr : &*it;
}

std::string plainOffsets(Bytes& file)
{
    const auto index = readHeifIndex(file);
    if (!index || !index->hasExifItem)
        return "no HEIF Exif item";
    file = withIloc(file, *index, index->iloc);
    return {};
}

// Stores the Exif item as its tail followed by its head, with two extents
// that put it back in order. The cut falls inside DateTimeOriginal's value,
// so a patch must follow the extents byte by byte to land right.
std::string splitExifItem(Bytes& file)
{
    const auto index = readHeifIndex(file);
    Iloc iloc = index ? index->iloc : Iloc{};
    IlocItem* item = index && index->hasExifItem ? exifItemOf(iloc, index->exifItem) : nullptr;
    if (!item)
        return "expected the Exif item in one extent of the file";
    const std::size_t start = std::size_t(item->base + item->extents[0].offset);
    const std::size_t length = std::size_t(item->extents[0].length);
    const Bytes data(file.begin() + std::ptrdiff_t(start), file.begin() + std::ptrdiff_t(start + length));
    const std::string_view date = kFormatFixtureDate;
    const auto found = std::search(data.begin(), data.end(), date.begin(), date.end());
    if (found == data.end())
        return "no date text in the Exif item";
    const std::size_t head = std::size_t(found - data.begin()) + 10; // cut between the date and the time
    std::copy(data.begin() + std::ptrdiff_t(head), data.end(), file.begin() + std::ptrdiff_t(start));
    std::copy(data.begin(), data.begin() + std::ptrdiff_t(head), file.begin() + std::ptrdiff_t(start + length - head));
    const std::uint64_t base = item->base;
    item->extents = {IlocExtent{0, start + length - head - base, head, 0, 0},
                     IlocExtent{0, start - base, length - head, 0, 0}};
    file = withIloc(file, *index, iloc);
    return {};
}

// --- recipes ----------------------------------------------------------------

struct Recipe {
    Container container;
    const char* fileName;
    std::vector<std::string> tools; // besides convert and exiftool
};

const Recipe& recipe(Container container)
{
    static const Recipe kRecipes[] = {
        {Container::JpegXmpFirst, "xmp-first.jpg", {}},
        {Container::JpegTwoExif, "two-exif.jpg", {}},
        {Container::Dng, "minimal.dng", {}},
        {Container::PngExifAfterIdat, "exif-after-idat.png", {}},
        {Container::HeicBaseOffsets, "base-offsets.heic", {"heif-enc"}},
        {Container::HeicPlainOffsets, "plain-offsets.heic", {"heif-enc"}},
        {Container::HeicSplitExif, "split-exif.heic", {"heif-enc"}},
        {Container::Avif, "exif.avif", {"avifenc"}},
        {Container::JpegXl, "exif-box.jxl", {"cjxl"}},
        {Container::JpegXlBrob, "brob.jxl", {"cjxl"}},
        {Container::Raf, "fixture.raf", {}},
    };
    return *std::find_if(std::begin(kRecipes), std::end(kRecipes),
                         [&](const Recipe& r) { return r.container == container; });
}

bool build(Container container, bool withDigitized, const std::string& folder, const std::string& path,
           std::string& error)
{
    const std::string source = folder + "/.source-in-progress.jpg";
    const std::string png = folder + "/.source-in-progress.png";
    const auto picture = [&](const std::string& file) { return fixtures::makePicture(file, 1, error, "32x24"); };
    const auto dates = [&](const std::string& file, std::vector<std::string> extra = {}) {
        return setDates(file, std::move(extra), withDigitized, error);
    };
    // The encoders copy the EXIF of the JPEG they are given.
    const auto encoded = [&](std::vector<std::string> argv) {
        return picture(source) && dates(source) && step(argv, error);
    };
    switch (container) {
    case Container::JpegXmpFirst:
        return picture(path) && dates(path, {"-XMP-dc:Title=Fixture title"}) && reshape(path, error, moveXmpBeforeExif);
    case Container::JpegTwoExif: return picture(path) && dates(path) && reshape(path, error, addSecondExifSegment);
    case Container::PngExifAfterIdat:
        return picture(path) && dates(path) && reshape(path, error, moveExifAfterImageData);
    case Container::Dng: {
        // exiftool writes only into files whose name matches their content.
        const std::string tiff = folder + "/.dng-in-progress.tif";
        return picture(tiff) && dates(tiff, {"-IFD0:DNGVersion=1.4.0.0", "-IFD0:UniqueCameraModel=FixtureCam"})
            && step({"mv", tiff, path}, error);
    }
    case Container::HeicBaseOffsets: return encoded({"heif-enc", "-q", "50", "-o", path, source});
    case Container::HeicPlainOffsets:
        return encoded({"heif-enc", "-q", "50", "-o", path, source}) && reshape(path, error, plainOffsets);
    case Container::HeicSplitExif:
        return encoded({"heif-enc", "-q", "50", "-o", path, source}) && reshape(path, error, plainOffsets)
            && reshape(path, error, splitExifItem);
    case Container::Avif: return encoded({"avifenc", "-s", "10", source, path});
    case Container::JpegXl: return picture(png) && step({"cjxl", "-e", "3", png, path}, error) && dates(path);
    case Container::JpegXlBrob: return encoded({"cjxl", source, path});
    case Container::Raf: {
        const std::string raw = folder + "/.raw-in-progress.tif";
        const bool made = picture(source) && dates(source)
            && step({"convert", "-size", "4x4", "xc:gray", "-strip", raw}, error)
            && writeBytes(path, rafAround(readBytes(source), readBytes(raw)));
        std::error_code ignored;
        fs::remove(raw, ignored);
        return made;
    }
    }
    error = "unknown container";
    return false;
}

} // namespace

std::vector<std::string> makerTools(Container container)
{
    return recipe(container).tools;
}

MadeFile makeContainer(Container container, bool withDigitized, const std::string& folder)
{
    MadeFile made;
    const std::string path = folder + "/" + recipe(container).fileName;
    const bool ok = build(container, withDigitized, folder, path, made.error);
    std::error_code ignored;
    fs::remove(folder + "/.source-in-progress.jpg", ignored);
    fs::remove(folder + "/.source-in-progress.png", ignored);
    if (ok)
        made.path = path;
    return made;
}

HeifExifExtent heifExifExtent(const Bytes& file)
{
    HeifExifExtent result;
    auto index = readHeifIndex(file);
    if (!index || !index->hasExifItem)
        return result;
    const IlocItem* item = exifItemOf(index->iloc, index->exifItem);
    if (!item)
        return result;
    const IlocExtent& extent = item->extents[0];
    result.found = true;
    result.itemStart = std::size_t(item->base + extent.offset);
    result.itemLength = std::size_t(extent.length);
    result.offsetField = extent.offsetAt;
    result.offsetSize = index->iloc.offsetSize;
    result.lengthField = extent.lengthAt;
    result.lengthSize = index->iloc.lengthSize;
    return result;
}

Bytes rafAround(const Bytes& jpeg, const Bytes& raw)
{
    Bytes raf(148, 0);
    const std::string_view magic = "FUJIFILMCCD-RAW 0201FF383501FixtureCam";
    std::copy(magic.begin(), magic.end(), raf.begin());
    const std::string_view directoryVersion = "0100";
    std::copy(directoryVersion.begin(), directoryVersion.end(), raf.begin() + 60);
    putBigEndian(raf, 84, 4, raf.size());
    putBigEndian(raf, 88, 4, jpeg.size());
    putBigEndian(raf, 100, 4, raf.size() + jpeg.size());
    putBigEndian(raf, 104, 4, raw.size());
    raf.insert(raf.end(), jpeg.begin(), jpeg.end());
    raf.insert(raf.end(), raw.begin(), raw.end());
    return raf;
}

void putBigEndian(Bytes& bytes, std::size_t at, std::size_t size, std::uint64_t value)
{
    for (std::size_t i = 0; i < size; ++i)
        bytes.at(at + i) = std::uint8_t(value >> (8 * (size - 1 - i)));
}

std::uint64_t getBigEndian(const Bytes& bytes, std::size_t at, std::size_t size)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value = value << 8 | bytes.at(at + i);
    return value;
}

std::vector<Span> pngChunks(const Bytes& png)
{
    std::vector<Span> chunks;
    for (std::size_t at = 8; startsWithText(png, 0, "\x89PNG\r\n\x1A\n") && at + 12 <= png.size();) {
        const std::size_t size = 12 + std::size_t(getBigEndian(png, at, 4));
        if (size > png.size() - at)
            break;
        chunks.push_back({at, size});
        at += size;
    }
    return chunks;
}

std::vector<std::string> piecesOutsideExif(const Bytes& file)
{
    const auto text = [&](Span span) {
        return std::string(reinterpret_cast<const char*>(file.data() + span.start), span.size);
    };
    std::vector<std::string> pieces;
    if (const auto chunks = pngChunks(file); !chunks.empty()) {
        for (const Span& chunk : chunks)
            pieces.push_back(startsWithText(file, chunk.start + 4, "eXIf") ? "eXIf" : text(chunk));
    } else if (startsWithText(file, 0, "RIFF") && startsWithText(file, 8, "WEBP")) {
        std::size_t at = 12;
        while (at + 8 <= file.size()) {
            const std::size_t length = std::size_t(file[at + 4]) | std::size_t(file[at + 5]) << 8
                | std::size_t(file[at + 6]) << 16 | std::size_t(file[at + 7]) << 24;
            const std::size_t size = std::min(file.size() - at, 8 + length + (length & 1));
            pieces.push_back(startsWithText(file, at, "EXIF") ? "EXIF" : text({at, size}));
            at += size;
        }
    } else if (startsWithText(file, 0, "\xFF\xD8")) {
        const auto segments = jpegSegments(file);
        for (const Span& segment : segments)
            if (!isApp1(file, segment, kExifSignature))
                pieces.push_back(text(segment));
        std::sort(pieces.begin(), pieces.end());
        const std::size_t scan = segments.empty() ? 2 : segments.back().end();
        pieces.push_back(text({scan, file.size() - scan}));
    }
    return pieces;
}

Ciff makeCiff(std::uint32_t seconds, bool bigEndian)
{
    const auto put = [&](Bytes& out, int size, std::uint32_t value) { put32(out, value, bigEndian, size); };
    const auto record = [&](Bytes& table, std::uint16_t tag, std::size_t size, std::size_t offset) {
        put(table, 2, tag);
        put(table, 4, size);
        put(table, 4, offset);
    };
    Ciff ciff;
    Bytes& file = ciff.bytes;
    file = {bigEndian ? std::uint8_t('M') : std::uint8_t('I'), bigEndian ? std::uint8_t('M') : std::uint8_t('I')};
    put(file, 4, 26);
    const std::string_view magic = "HEAPCCDR";
    file.insert(file.end(), magic.begin(), magic.end());
    put(file, 4, 0x00010002);
    file.resize(26, 0);

    // The image-properties heap: its values, its table, its table's offset.
    Bytes heap;
    const std::string_view model = "Canon\0FixtureCam\0";
    heap.insert(heap.end(), model.begin(), model.end());
    const std::size_t stamp = heap.size();
    put(heap, 4, seconds);
    put(heap, 4, std::uint32_t(-9 * 3600));
    put(heap, 4, 1);
    const std::size_t table = heap.size();
    put(heap, 2, 2);
    record(heap, 0x080a, model.size(), 0);
    record(heap, 0x180e, 12, stamp);
    put(heap, 4, table);

    // The root heap holds it first, then its own table.
    const std::size_t root = file.size();
    ciff.timeStampAt = root + stamp;
    file.insert(file.end(), heap.begin(), heap.end());
    const std::size_t rootTable = file.size() - root;
    put(file, 2, 1);
    record(file, 0x300a, heap.size(), 0);
    ciff.rootTableOffsetAt = file.size();
    put(file, 4, rootTable);
    return ciff;
}

} // namespace shotdate::format_fixtures
