#include "run/file_rewrite.h"

#include "rewrite/date_rewrite.h"
#include "formats/exif_block.h"
#include "formats/image_format.h"
#include "io/safe_replace.h"
#include "io/sys_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
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

class InputFile {
public:
    ~InputFile()
    {
        if (fd_ >= 0)
            sysOps().close(fd_);
    }

    // O_NONBLOCK: opening a FIFO must never wait for a writer.
    bool open(const std::string& path)
    {
        fd_ = sysOps().openat(AT_FDCWD, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0);
        return fd_ >= 0;
    }

    int fd() const { return fd_; }

    // Reads up to `limit` bytes from the current position onto the end of `out`.
    bool readInto(std::vector<std::uint8_t>& out, std::size_t limit)
    {
        const std::size_t start = out.size();
        out.resize(start + limit);
        std::size_t filled = 0;
        while (filled < limit) {
            const ssize_t got = sysOps().read(fd_, out.data() + start + filled, limit - filled);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                out.resize(start + filled);
                return false;
            }
            if (got == 0)
                break;
            filled += std::size_t(got);
        }
        out.resize(start + filled);
        return true;
    }

private:
    int fd_ = -1;
};

bool sameContentState(const struct stat& a, const struct stat& b)
{
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec
        && a.st_ino == b.st_ino && a.st_dev == b.st_dev;
}

// In place, a symbolic link stays a link: the file it points to is replaced.
std::string replacementTarget(const std::string& inPath, const std::string& outPath)
{
    if (inPath != outPath)
        return outPath;
    char resolved[PATH_MAX];
    if (::realpath(inPath.c_str(), resolved) == nullptr)
        return outPath;
    return resolved;
}

} // namespace

FileRewrite prepareFileRewrite(const std::string& inPath, const std::string& outPath, const DateArguments& args,
                               const FileRewriteOptions& options, PreparedReplacement& prepared)
{
    FileRewrite result;
    InputFile input;
    if (!input.open(inPath)) {
        result.error = errno;
        result.reason = errno == ENOENT ? Reason::NotFound : Reason::Unreadable;
        return result;
    }
    struct stat before {};
    if (::fstat(input.fd(), &before) != 0) {
        result.error = errno;
        result.reason = Reason::Unreadable;
        return result;
    }
    if (!S_ISREG(before.st_mode)) {
        result.reason = Reason::NotRegularFile;
        return result;
    }
    // Regular files never block; reads should wait for slow disks as usual.
    ::fcntl(input.fd(), F_SETFL, ::fcntl(input.fd(), F_GETFL) & ~O_NONBLOCK);

    std::vector<std::uint8_t> bytes;
    if (!input.readInto(bytes, kSniffBytes)) {
        result.error = errno;
        result.reason = Reason::Unreadable;
        return result;
    }
    const ImageFormat format = sniffFormat(bytes);
    if (format == ImageFormat::Unknown) {
        result.reason = Reason::NotAnImage;
        return result;
    }
    const std::size_t fileSize = std::size_t(before.st_size);

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
        headLength = exifHeadLength(bytes, format);
    }
    DateRewrite rewrite;
    if (headLength) {
        rewrite = rewriteExifDates(std::span(bytes).first(*headLength), args,
                                   {.wantWholeFile = false, .haveWholeFile = false, .fileSize = fileSize});
    }
    if (!headLength || rewrite.needsWholeFile) {
        if (fileSize > options.maxFileBytes) {
            result.reason = Reason::TooLarge;
            return result;
        }
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
    struct stat after {};
    if (::fstat(input.fd(), &after) != 0 || !sameContentState(before, after)) {
        result.reason = Reason::ChangedWhileReading;
        return result;
    }

    result.oldDate = rewrite.oldDate;
    result.newDate = rewrite.newDate;
    if (rewrite.reason != Reason::Rewritten) {
        result.reason = rewrite.reason;
        return result;
    }
    if (options.dryRun) {
        result.reason = Reason::WouldRewrite;
        return result;
    }

    const std::string target = replacementTarget(inPath, outPath);
    ReplaceError error;
    if (rewrite.patchedInPlace) {
        // The input's bytes are copied in the kernel (or shared, on btrfs and
        // XFS) and only the date bytes are written: no second copy in memory.
        bytes = {};
        error = prepareReplacement(target, CopySource{input.fd(), std::uint64_t(before.st_size), rewrite.patches},
                                   before, prepared, input.fd());
        struct stat copied {};
        if (!error && (::fstat(input.fd(), &copied) != 0 || !sameContentState(before, copied))) {
            prepared.abandon();
            result.reason = Reason::ChangedWhileReading;
            return result;
        }
    } else {
        error = prepareReplacement(target, rewrite.bytes, before, prepared, input.fd());
    }
    if (error) {
        result.error = error.error;
        result.reason = Reason::WriteFailed;
        return result;
    }
    if (inPath == outPath)
        prepared.expectTarget(before.st_dev, before.st_ino);
    result.reason = Reason::Rewritten;
    return result;
}

Reason reasonForCommit(const ReplaceError& error)
{
    switch (error.step) {
    case ReplaceStep::Rename: return Reason::RenameFailed;
    case ReplaceStep::TargetChanged: return Reason::ChangedWhileReading;
    default: return Reason::WriteFailed;
    }
}

FileRewrite rewriteFile(const std::string& inPath, const std::string& outPath, const DateArguments& args,
                        const FileRewriteOptions& options)
{
    PreparedReplacement prepared;
    FileRewrite result = prepareFileRewrite(inPath, outPath, args, options, prepared);
    if (result.reason != Reason::Rewritten)
        return result;
    if (const ReplaceError error = prepared.commit()) {
        result.error = error.error;
        result.reason = reasonForCommit(error);
    }
    return result;
}

} // namespace shotdate
