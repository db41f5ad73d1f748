#include "run/file_rewrite.h"

#include "dates/wall_clock_instant.h"
#include "formats/format_table.h"
#include "formats/fotostation.h"
#include "formats/jpeg.h"
#include "io/file_probe.h"
#include "io/held_folder.h"
#include "io/input_file.h"
#include "io/path_text.h"
#include "io/safe_replace.h"
#include "rewrite/date_rewrite.h"
#include "rewrite/movie_date_rewrite.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace shotdate {

namespace {

// Enough of the head of a file to know its format before reading the rest.
constexpr std::size_t kSniffBytes = 64;
// The head read first: room for an EXIF segment (at most 64 KiB) behind an
// ICC profile and a few other segments.
constexpr std::size_t kHeadBytes = 256 * 1024;
// Files are prepared on several threads at once; those read whole beyond
// this size take turns, so that memory holds one large photo at a time
// (and a copy of it), whatever the number of cores.
constexpr std::size_t kWholeFileAlone = 16 << 20;
std::mutex wholeFileReads;

// A movie's dates: the top-level box headers read one by one, then the
// movie header box alone (and its XMP boxes), so memory never grows with
// the media data.
DateRewrite rewriteMovie(InputFile& input, std::uint64_t fileSize, const DateArguments& args, int& readError)
{
    const ReadRange read = [&](std::uint64_t offset, std::size_t length, std::vector<std::uint8_t>& out) {
        return input.readAt(offset, length, out) || ((readError = errno), false);
    };
    DateRewrite result = rewriteMovieAt(findMovieHeader(fileSize, read), read, args);
    // The journal keeps each patch's old bytes; the movie was read in parts,
    // so they are read again, a few bytes each.
    for (std::size_t i = 0; result.reason == Reason::Rewritten && i < result.patches.size(); ++i) {
        const FilePatch& patch = result.patches[i];
        std::vector<std::uint8_t> old;
        if (!read(patch.offset, patch.bytes.size(), old) || old.size() != patch.bytes.size()) {
            DateRewrite failed;
            failed.reason = Reason::Unreadable;
            return failed;
        }
        result.patchedBefore.push_back(std::move(old));
    }
    return result;
}

} // namespace

FileRewrite prepareFileRewrite(const FileLocation& in, const FileLocation& out, const DateArguments& args,
                               const FileRewriteOptions& options, PreparedReplacement& prepared, PreparedPatch* patch)
{
    FileRewrite result;
    InputFile input;
    bool opened = false;
    if (const int error = input.openAt(in.folderFd, in.name, opened)) {
        result.error = error;
        result.reason = !opened && error == ENOENT ? Reason::NotFound : Reason::Unreadable;
        result.folderFailed = !opened && error == EIO;
        return result;
    }
    const struct stat& before = input.state();
    if (!input.isRegular()) {
        result.reason = Reason::NotRegularFile;
        return result;
    }
    input.readBlocking();

    // Declared before the bytes, so that it is let go after they are freed.
    std::unique_lock wholeFileTurn(wholeFileReads, std::defer_lock);
    std::vector<std::uint8_t> bytes;
    if (!input.readInto(bytes, kSniffBytes)) {
        result.error = errno;
        result.reason = Reason::Unreadable;
        return result;
    }
    const ImageFormat format = sniffFormat(bytes);
    if (!containerFormat(format)) {
        result.reason = Reason::NotAnImage;
        return result;
    }
    const std::size_t fileSize = std::size_t(before.st_size);
    result.size = fileSize;

    // Most photos keep their dates in the first few kilobytes: read only
    // that head when it is enough, so that neither time nor memory grows
    // with the size of the picture.
    std::optional<std::size_t> headLength;
    if (fileSize > kHeadBytes) {
        if (!input.readInto(bytes, kHeadBytes - bytes.size())) {
            result.error = errno;
            result.reason = Reason::Unreadable;
            return result;
        }
        headLength = args.allDates ? allDatesHeadLength(bytes, format) : exifHeadLength(bytes, format);
        // Every copy of the date includes IPTC, which a JPEG keeps in a
        // segment after its EXIF: the head then reaches the first scan.
        if (headLength && args.allDates && format == ImageFormat::Jpeg)
            headLength = jpegSegmentsLength(bytes);
    }
    DateRewrite rewrite;
    if (containerFormat(format)->datesInMovieHeader) {
        int readError = 0;
        rewrite = rewriteMovie(input, fileSize, args, readError);
        if (rewrite.reason == Reason::Unreadable) {
            // Short where the size said more: the file shrank meanwhile.
            result.error = readError;
            result.reason = readError ? Reason::Unreadable : Reason::ChangedWhileReading;
            return result;
        }
    } else if (headLength) {
        // A JPEG's FotoStation trailer follows the picture: its footers are
        // read from the end, not the whole file.
        FotoStationTrailer trailer;
        if (args.allDates && format == ImageFormat::Jpeg) {
            int readError = 0;
            trailer = readFotoStationTrailer(
                fileSize, [&](std::uint64_t offset, std::size_t length, std::vector<std::uint8_t>& out) {
                    return input.readAt(offset, length, out) || ((readError = errno), false);
                });
            if (trailer.status == TrailerStatus::ReadFailed) {
                // Short where the size said more: the file shrank meanwhile.
                result.error = readError;
                result.reason = readError ? Reason::Unreadable : Reason::ChangedWhileReading;
                return result;
            }
        }
        rewrite = rewriteExifDates(
            std::span(bytes).first(*headLength), args,
            {.wantWholeFile = false, .haveWholeFile = false, .fileSize = fileSize, .trailer = &trailer});
    }
    if (!containerFormat(format)->datesInMovieHeader && (!headLength || rewrite.needsWholeFile)) {
        if (fileSize > options.maxFileBytes) {
            result.reason = Reason::TooLarge;
            return result;
        }
        if (fileSize > kWholeFileAlone)
            wholeFileTurn.lock();
        // One byte more than the size says, to notice a file that grows.
        const std::size_t expected = fileSize + 1;
        if (!input.readInto(bytes, expected > bytes.size() ? expected - bytes.size() : 0)) {
            result.error = errno;
            result.reason = Reason::Unreadable;
            return result;
        }
        if (bytes.size() != fileSize) {
            result.reason = Reason::ChangedWhileReading;
            return result;
        }
        rewrite = rewriteExifDates(bytes, args, {.wantWholeFile = false});
    }
    if (!input.unchanged()) {
        result.reason = Reason::ChangedWhileReading;
        return result;
    }

    result.oldDate = rewrite.oldDate;
    result.newDate = rewrite.newDate;
    result.exiv2Message = rewrite.exiv2Message;
    result.changes = std::move(rewrite.changes);
    result.notes = std::move(rewrite.notes);
    if (rewrite.reason != Reason::Rewritten) {
        result.reason = rewrite.reason;
        return result;
    }
    if (options.dryRun) {
        result.reason = Reason::WouldRewrite;
        return result;
    }

    result.change = describeChange(out.path, before, bytes, rewrite);
    const bool inPlace = out.folderFd == in.folderFd && out.name == in.name;
    const ReplaceTarget target{out.folderFd, out.name, out.path};
    const AttributeRule rule = inPlace ? AttributeRule::KeepEverything : AttributeRule::Copy;
    // The new file's times: the original's, or its new shooting date as
    // this computer's clock would have shown it.
    struct stat attributes = before;
    if (options.fileTime == FileTimeRule::Shooting) {
        const auto wall = parseExifDate(result.newDate);
        const auto instant = wall ? instantOfWallClock(*wall) : std::nullopt;
        if (!instant) {
            result.reason = Reason::DateOutOfRange;
            return result;
        }
        attributes.st_mtim = {*instant, 0};
    }
    // Every copy of the date brings sidecars, which follow a renamed photo;
    // a date kept as a value has no EXIF for the patch to be read back by.
    if (patch && inPlace && rewrite.patchedInPlace && !args.allDates && !rewrite.datesAreSites
        && !containerFormat(format)->datesInMovieHeader) {
        switch (preparePatch(in.folderFd, in.name, before, bytes, rewrite.patches, *containerFormat(format),
                             result.newDate, result.newDate, attributes, *patch)) {
        case PatchChoice::Patch:
            if (!input.unchanged()) {
                patch->file.close();
                result.reason = Reason::ChangedWhileReading;
                return result;
            }
            result.change.after = result.change.before;
            result.change.inPlace = inPlaceRecordOf(*patch, {});
            result.reason = Reason::Rewritten;
            return result;
        case PatchChoice::VerifyFailed: result.reason = Reason::VerifyFailed; return result;
        case PatchChoice::Rename: break;
        }
    }
    ReplaceError error;
    if (rewrite.patchedInPlace) {
        // The input's bytes are copied in the kernel (or shared, on btrfs and
        // XFS) and only the date bytes are written: no second copy in memory.
        bytes = {};
        error = prepareReplacement(target, CopySource{input.fd(), std::uint64_t(before.st_size), rewrite.patches},
                                   attributes, prepared, input.fd(), rule);
        if (!error && !input.unchanged()) {
            prepared.abandon();
            result.reason = Reason::ChangedWhileReading;
            return result;
        }
    } else {
        error = prepareReplacement(target, rewrite.bytes, attributes, prepared, input.fd(), rule);
    }
    if (error) {
        result.error = error.error;
        result.reason = error.step == ReplaceStep::Owner    ? Reason::CannotKeepOwner
            : error.step == ReplaceStep::ExtendedAttributes ? Reason::CannotKeepAttributes
                                                            : Reason::WriteFailed;
        return result;
    }
    if (inPlace)
        prepared.expectTarget(before);
    result.reason = Reason::Rewritten;
    return result;
}

FileStamp stampOf(const struct stat& st)
{
    return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::uint64_t(st.st_size), st.st_ctim.tv_sec,
            st.st_ctim.tv_nsec};
}

// What the rewrite changes, as the journal keeps it: the bytes of each
// patch before and after (`read` holds at least every patched byte that
// lay inside the file), and the two EXIF dates before and after.
JournalFile describeChange(const std::string& path, const struct stat& before, const std::vector<std::uint8_t>& read,
                           const DateRewrite& rewrite)
{
    JournalFile change;
    change.path = path;
    change.before = stampOf(before);
    change.oldSize = std::uint64_t(before.st_size);
    change.laidOut = !rewrite.patchedInPlace;
    if (rewrite.patchedInPlace && rewrite.patchedBefore.size() == rewrite.patches.size()) {
        for (std::size_t i = 0; i < rewrite.patches.size(); ++i)
            change.ranges.push_back({rewrite.patches[i].offset, rewrite.patchedBefore[i], rewrite.patches[i].bytes});
    } else if (rewrite.patchedInPlace) {
        for (const FilePatch& patch : rewrite.patches) {
            const std::uint64_t end = std::min<std::uint64_t>(patch.offset + patch.bytes.size(), change.oldSize);
            if (end > read.size()) {
                // Not all of it at hand: an undo goes by the dates instead.
                change.ranges.clear();
                change.laidOut = true;
                break;
            }
            ChangedRange range{patch.offset, {}, patch.bytes};
            if (patch.offset < end)
                range.oldBytes.assign(read.begin() + std::ptrdiff_t(patch.offset), read.begin() + std::ptrdiff_t(end));
            change.ranges.push_back(std::move(range));
        }
    }
    // A file whose dates are other values (a CRW's seconds) is undone by its bytes alone.
    if (!rewrite.newDate.empty() && !rewrite.datesAreSites) {
        const auto old = rewrite.oldDate.empty() ? std::nullopt : std::optional<std::string>(rewrite.oldDate);
        change.dates.push_back({kOriginalDateName, old, rewrite.newDate});
        change.dates.push_back({kDigitizedDateName, rewrite.oldDigitized, rewrite.newDate});
    }
    // Laid out again, the other copies of the date (ModifyDate, the zone
    // tags, XMP, IPTC) have no bytes to go back by: the journal names them,
    // so that an undo never puts back the two dates alone.
    if (change.laidOut)
        for (const DateChange& copy : rewrite.changes)
            if (copy.name != kOriginalDateName && copy.name != kDigitizedDateName)
                change.dates.push_back(
                    {copy.name, copy.oldValue.empty() ? std::nullopt : std::optional(copy.oldValue), copy.newValue});
    return change;
}

Reason reasonForCommit(const ReplaceError& error)
{
    switch (error.step) {
    case ReplaceStep::Rename: return Reason::RenameFailed;
    case ReplaceStep::TargetChanged: return Reason::ChangedWhileReading;
    case ReplaceStep::SyncFolder: return Reason::RewrittenNotSynced;
    default: return Reason::WriteFailed;
    }
}

FileRewrite rewriteFile(const std::string& inPath, const std::string& outPath, const DateArguments& args,
                        const FileRewriteOptions& options)
{
    // A path given whole is the user's choice: links on it are followed, and
    // in place the file a link points to is replaced, the link left a link.
    const std::string source = resolvedPath(inPath).value_or(inPath);
    FileRewrite result;
    const int inFolder = openFolderByPath(parentPath(source));
    if (inFolder < 0) {
        result.error = errno;
        result.reason = errno == ENOENT ? Reason::NotFound : Reason::Unreadable;
        return result;
    }
    const FileLocation in{inFolder, lastPathComponent(source), inPath};
    FileLocation out = in;
    if (outPath != inPath) {
        out = FileLocation{openFolderByPath(parentPath(outPath)), lastPathComponent(outPath), outPath};
        if (out.folderFd < 0) {
            result.error = errno;
            result.reason = Reason::WriteFailed;
            closeFolder(inFolder);
            return result;
        }
    }
    PreparedReplacement prepared;
    result = prepareFileRewrite(in, out, args, options, prepared);
    if (out.folderFd != inFolder)
        closeFolder(out.folderFd);
    closeFolder(inFolder);
    if (result.reason != Reason::Rewritten)
        return result;
    if (const ReplaceError error = prepared.commit()) {
        result.error = error.error;
        result.reason = reasonForCommit(error);
    }
    return result;
}

} // namespace shotdate
