#include "rewrite/exiv2_adapter.h"

#include <exiv2/exiv2.hpp>

#include <mutex>

namespace shotdate {

namespace {

// What went wrong in the last call on this thread: Exiv2's exception text,
// or else the last warning or error it logged.
thread_local std::string lastMessage;

// Exiv2 prints its log to stderr by default, which would land in the
// middle of the command line's report; its words are kept for the report
// of the file instead.
void keepLogMessage(int level, const char* message)
{
    if (level < Exiv2::LogMsg::warn || message == nullptr)
        return;
    std::string text = message;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    lastMessage = std::move(text);
}

// Adobe's XMP toolkit, inside Exiv2, keeps shared state: photos are read on
// several threads at once, so it is used by one at a time. Recursive,
// because Exiv2 registers namespaces while it holds the lock.
void lockXmpToolkit(void* data, bool lock)
{
    auto* mutex = static_cast<std::recursive_mutex*>(data);
    if (lock)
        mutex->lock();
    else
        mutex->unlock();
}

void initialiseExiv2()
{
    lastMessage.clear();
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::warn);
        Exiv2::LogMsg::setHandler(keepLogMessage);
        // The XMP toolkit must be initialised once before threads use it.
        static std::recursive_mutex xmpToolkit;
        Exiv2::XmpParser::initialize(lockXmpToolkit, &xmpToolkit);
#ifdef EXV_ENABLE_BMFF
        Exiv2::enableBMFF(true);
#endif
    });
}

// Exiv2 may write into the bytes it reads from (its "non-intrusive" TIFF
// writing patches the buffer in place), so it only ever sees `copy`, which
// must outlive the image.
Exiv2::Image::AutoPtr openInMemory(std::span<const std::uint8_t> file, std::vector<std::uint8_t>& copy)
{
    copy.assign(file.begin(), file.end());
    auto image = Exiv2::ImageFactory::open(copy.data(), long(copy.size()));
    if (image.get() == nullptr)
        throw Exiv2::Error(Exiv2::kerDataSourceOpenFailed);
    image->readMetadata();
    return image;
}

template <typename Data>
void addAll(MetadataSnapshot& snapshot, const Data& data)
{
    for (const auto& datum : data) {
        const std::string key = datum.key();
        std::string slot = key;
        for (int n = 2; snapshot.count(slot); ++n)
            slot = key + "#" + std::to_string(n);
        snapshot.emplace(std::move(slot), datum.value().toString());
    }
}

// nullopt removes the value: an undo takes away a field the run had added.
void setValues(Exiv2::ExifData& exif, const ExifValues& values)
{
    for (const auto& [key, text] : values) {
        if (text) {
            exif[key] = *text;
            continue;
        }
        const auto found = exif.findKey(Exiv2::ExifKey(key));
        if (found != exif.end())
            exif.erase(found);
    }
}

} // namespace

std::string exiv2LastMessage()
{
    return lastMessage;
}

std::optional<std::vector<std::uint8_t>> exiv2WriteValues(std::span<const std::uint8_t> file, const ExifValues& values)
{
    initialiseExiv2();
    try {
        std::vector<std::uint8_t> copy;
        auto image = openInMemory(file, copy);
        // Write the XMP packet back exactly as it was, not re-serialised.
        image->writeXmpFromPacket(true);
        setValues(image->exifData(), values);
        image->writeMetadata();
        Exiv2::BasicIo& io = image->io();
        if (io.open() != 0)
            return std::nullopt;
        const long size = io.size();
        io.seek(0, Exiv2::BasicIo::beg);
        Exiv2::DataBuf buffer = io.read(size);
        io.close();
        if (buffer.size_ != size)
            return std::nullopt;
        return std::vector<std::uint8_t>(buffer.pData_, buffer.pData_ + buffer.size_);
    } catch (const std::exception& error) {
        lastMessage = error.what();
        return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::vector<std::uint8_t>> exiv2RebuildExifBlock(std::span<const std::uint8_t> tiff,
                                                               const ExifValues& values)
{
    initialiseExiv2();
    try {
        Exiv2::ExifData exif;
        const auto size = static_cast<std::uint32_t>(tiff.size());
        const Exiv2::ByteOrder order = Exiv2::ExifParser::decode(exif, tiff.data(), size);
        if (order == Exiv2::invalidByteOrder)
            return std::nullopt;
        setValues(exif, values);
        // Exiv2 writes into the block it is given when the values fit
        // ("non-intrusive"), so it gets a copy, which is then the result.
        std::vector<std::uint8_t> copy(tiff.begin(), tiff.end());
        Exiv2::Blob blob;
        if (Exiv2::ExifParser::encode(blob, copy.data(), size, order, exif) == Exiv2::wmNonIntrusive)
            return copy;
        if (blob.empty())
            return std::nullopt;
        return std::vector<std::uint8_t>(blob.begin(), blob.end());
    } catch (const std::exception& error) {
        lastMessage = error.what();
        return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<MetadataSnapshot> exiv2ReadMetadata(std::span<const std::uint8_t> file)
{
    initialiseExiv2();
    try {
        std::vector<std::uint8_t> copy;
        auto image = openInMemory(file, copy);
        MetadataSnapshot snapshot;
        addAll(snapshot, image->exifData());
        addAll(snapshot, image->iptcData());
        addAll(snapshot, image->xmpData());
        return snapshot;
    } catch (const std::exception& error) {
        lastMessage = error.what();
        return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<MetadataSnapshot> exiv2ReadExifValues(std::span<std::uint8_t> tiff, const std::vector<std::string>& keys)
{
    initialiseExiv2();
    try {
        Exiv2::ExifData exif;
        Exiv2::ExifParser::decode(exif, tiff.data(), std::uint32_t(tiff.size()));
        if (exif.empty())
            return std::nullopt;
        MetadataSnapshot values;
        for (const std::string& key : keys)
            if (const auto found = exif.findKey(Exiv2::ExifKey(key)); found != exif.end())
                values.emplace(key, found->value().toString());
        return values;
    } catch (const std::exception& error) {
        lastMessage = error.what();
        return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace shotdate
