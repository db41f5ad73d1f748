#include "io/safe_replace.h"

#include "io/path_text.h"
#include "io/sys_ops.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace shotdate {
namespace {

constexpr std::string_view kTempPrefix = ".shotdate-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::size_t kTempHexDigits = 16;
// O_EXCL makes a clash harmless; a handful of fresh names is plenty unless
// something is deliberately squatting on them.
constexpr int kTempNameTries = 16;

// The folder and name of a target, split as plain text so that what we open
// is exactly what the user named ("a/b/c" -> "a/b" + "c", "c" -> "." + "c",
// "/c" -> "/" + "c"). Trailing slashes are ignored.
struct SplitPath {
    std::string folder;
    std::string prefix; // folder as it prefixes a name: "a/b/", "", "/"
    std::string name;
};

SplitPath splitTargetPath(const std::string& path)
{
    SplitPath split;
    split.folder = parentPath(path);
    split.name = lastPathComponent(path);
    if (split.name == "/")
        split.name.clear(); // the root itself has no name to replace
    const bool hasFolder = path.find('/') != std::string::npos;
    if (hasFolder)
        split.prefix = split.folder == "/" ? split.folder : split.folder + "/";
    return split;
}

std::uint64_t randomBits()
{
    std::uint64_t value = 0;
    ssize_t got;
    do
        got = ::getrandom(&value, sizeof value, 0);
    while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof value))
        return value;
    // Without a kernel source the name need only differ from its neighbours;
    // O_EXCL still guarantees we never open someone else's file.
    static std::atomic<std::uint64_t> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<std::uint64_t>(now) * 0x9E3779B97F4A7C15ull + (counter++ << 32) + ::getpid();
}

// 0 on success, else the errno: `bytes` written at the file position, or
// at `offset` when one is given. A write that makes no progress would loop
// forever, so it counts as an I/O error.
int writeAll(int fd, std::span<const std::uint8_t> bytes, std::optional<std::uint64_t> offset = std::nullopt)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::uint8_t* from = bytes.data() + done;
        const std::size_t count = bytes.size() - done;
        const ssize_t n =
            offset ? sysOps().pwrite(fd, from, count, off_t(*offset + done)) : sysOps().write(fd, from, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// ACLs and security labels decide who may read a photo: in place, a new
// file without them could be open to more people than the old one was.
bool guardsAccess(std::string_view name)
{
    return name.starts_with("system.posix_acl_") || name.starts_with("security.");
}

// Whether `toFd` already carries `name` with exactly `value` (a security
// label the new file was given on creation, say).
bool alreadyCarries(int toFd, const char* name, const std::vector<char>& value)
{
    std::vector<char> present(value.size() + 1);
    const ssize_t got = ::fgetxattr(toFd, name, present.data(), present.size());
    return got == static_cast<ssize_t>(value.size()) && std::equal(value.begin(), value.end(), present.begin());
}

// Extended attributes carry things like desktop tags, ACLs or security
// labels. Most are copied where the file system lets us (many, FAT on a
// memory card, have none). Under KeepEverything an ACL or a security label
// that cannot be carried over refuses the rewrite: 0 or the errno.
int copyExtendedAttributes(int fromFd, int toFd, AttributeRule rule)
{
    const bool strict = rule == AttributeRule::KeepEverything;
    const ssize_t listSize = ::flistxattr(fromFd, nullptr, 0);
    if (listSize < 0)
        return strict && errno != ENOTSUP ? errno : 0;
    std::vector<char> names(static_cast<std::size_t>(listSize));
    const ssize_t got = listSize > 0 ? ::flistxattr(fromFd, names.data(), names.size()) : 0;
    if (got < 0)
        return strict ? errno : 0;
    std::vector<char> value;
    for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
        const char* name = names.data() + at;
        at += std::strlen(name) + 1;
        const bool required = strict && guardsAccess(name);
        const ssize_t valueSize = ::fgetxattr(fromFd, name, nullptr, 0);
        value.resize(static_cast<std::size_t>(std::max<ssize_t>(valueSize, 0)));
        const ssize_t valueRead = valueSize < 0 ? -1 : ::fgetxattr(fromFd, name, value.data(), value.size());
        if (valueRead < 0) {
            if (required)
                return errno;
            continue;
        }
        value.resize(static_cast<std::size_t>(valueRead));
        if (sysOps().fsetxattr(toFd, name, value.data(), value.size(), 0) != 0) {
            const int error = errno;
            if (required && !alreadyCarries(toFd, name, value))
                return error;
        }
    }
    return 0;
}

bool sameTime(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

bool sameFileState(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size && sameTime(a.st_mtim, b.st_mtim)
        && sameTime(a.st_ctim, b.st_ctim);
}

namespace {

bool kernelCopyUnavailable(int error)
{
    return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL;
}

// Copies the first `size` bytes of `from` into the empty file `to`: shared
// extents where the file system offers them (almost no I/O), else a copy
// inside the kernel, else through a buffer. 0 on success, else the errno.
int copyContent(int from, int to, std::uint64_t size)
{
    const SysOps& ops = sysOps();
    // A failed clone leaves the target empty; any failure just means "copy".
    if (size > 0 && ops.cloneFile(to, from) == 0)
        return 0;
    off_t in = 0;
    off_t out = 0;
    std::uint64_t done = 0;
    bool inKernel = true;
    std::vector<std::uint8_t> buffer;
    while (done < size) {
        if (inKernel) {
            const ssize_t n = ops.copyFileRange(from, &in, to, &out, std::size_t(size - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && done == 0 && kernelCopyUnavailable(errno)) {
                inKernel = false;
                continue;
            }
            if (n < 0)
                return errno;
            if (n == 0)
                return EIO; // the source ended early: it changed under us
            done += std::uint64_t(n);
            continue;
        }
        buffer.resize(std::size_t(std::min<std::uint64_t>(size - done, 1u << 20)));
        const ssize_t got = ::pread(from, buffer.data(), buffer.size(), off_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? errno : EIO;
        if (const int error = writeAll(to, std::span(buffer.data(), std::size_t(got))))
            return error;
        done += std::uint64_t(got);
    }
    return 0;
}

} // namespace

std::string newTemporaryName()
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::uint64_t bits = randomBits();
    std::string name(kTempPrefix);
    for (std::size_t i = 0; i < kTempHexDigits; ++i, bits >>= 4)
        name += kHex[bits & 0xF];
    name += kTempSuffix;
    return name;
}

bool isOurTemporaryName(const std::string& fileName)
{
    const std::string_view name(fileName);
    if (name.size() != kTempPrefix.size() + kTempHexDigits + kTempSuffix.size())
        return false;
    if (!name.starts_with(kTempPrefix) || !name.ends_with(kTempSuffix))
        return false;
    for (char c : name.substr(kTempPrefix.size(), kTempHexDigits)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

PreparedReplacement::PreparedReplacement(PreparedReplacement&& other) noexcept
{
    *this = std::move(other);
}

PreparedReplacement& PreparedReplacement::operator=(PreparedReplacement&& other) noexcept
{
    if (this != &other) {
        abandon();
        fd_ = std::exchange(other.fd_, -1);
        dirFd_ = std::exchange(other.dirFd_, -1);
        synced_ = std::exchange(other.synced_, false);
        expectTarget_ = std::exchange(other.expectTarget_, false);
        expected_ = other.expected_;
        tempName_ = std::move(other.tempName_);
        tempPath_ = std::move(other.tempPath_);
        targetName_ = std::move(other.targetName_);
        targetPath_ = std::move(other.targetPath_);
        other.tempName_.clear();
        other.tempPath_.clear();
        other.targetName_.clear();
        other.targetPath_.clear();
    }
    return *this;
}

PreparedReplacement::~PreparedReplacement()
{
    abandon();
}

// Also used to clean up half-built states (no descriptor yet, or one already
// closed before a failed rename), so it checks each piece on its own.
void PreparedReplacement::abandon()
{
    const SysOps& ops = sysOps();
    if (fd_ >= 0)
        ops.close(fd_);
    if (dirFd_ >= 0) {
        if (!tempName_.empty())
            ops.unlinkat(dirFd_, tempName_.c_str(), 0);
        ops.close(dirFd_);
    }
    fd_ = -1;
    dirFd_ = -1;
    synced_ = false;
    expectTarget_ = false;
    tempName_.clear();
    tempPath_.clear();
    targetName_.clear();
    targetPath_.clear();
}

ReplaceError PreparedReplacement::sync()
{
    if (!active())
        return ReplaceError{ReplaceStep::Sync, EBADF};
    if (synced_)
        return {};
    if (sysOps().fsync(fd_) != 0) {
        // After a failed fsync the kernel may already have dropped the dirty
        // pages, and a second fsync can then report success for data that
        // never reached the disk. The file cannot be trusted any more.
        const int error = errno;
        abandon();
        return ReplaceError{ReplaceStep::Sync, error};
    }
    synced_ = true;
    return {};
}

int PreparedReplacement::holdTarget() const
{
    if (dirFd_ < 0 || targetName_.empty())
        return -1;
    return ::openat(dirFd_, targetName_.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
}

ReplaceError PreparedReplacement::commit(bool syncFolder)
{
    if (const ReplaceError error = sync())
        return error;
    const SysOps& ops = sysOps();
    // Everything is on disk already; a close error could add nothing.
    ops.close(std::exchange(fd_, -1));
    if (expectTarget_) {
        struct stat now {};
        if (ops.fstatat(dirFd_, targetName_.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0
            || !sameFileState(now, expected_)) {
            abandon();
            return ReplaceError{ReplaceStep::TargetChanged, ESTALE};
        }
    }
    if (ops.renameat(dirFd_, tempName_.c_str(), dirFd_, targetName_.c_str()) != 0) {
        const int error = errno;
        abandon();
        return ReplaceError{ReplaceStep::Rename, error};
    }
    // The new file now stands under the target's name, so with the name
    // cleared abandon() only closes the folder.
    tempName_.clear();
    const int syncError = syncFolder && ops.fsync(dirFd_) != 0 ? errno : 0;
    abandon();
    if (syncError != 0)
        return ReplaceError{ReplaceStep::SyncFolder, syncError};
    return {};
}

// Builds the temporary file: folder, exclusive name, content, attributes.
// A friend of PreparedReplacement, so both ways of filling a file share it.
class TemporaryFileMaker {
public:
    template <typename WriteContent>
    static ReplaceError make(const ReplaceTarget& target, const struct stat& attributes, PreparedReplacement& out,
                             int xattrSourceFd, AttributeRule rule, WriteContent writeContent)
    {
        out.abandon();
        const SysOps& ops = sysOps();
        SplitPath split = splitTargetPath(target.path);
        if (target.folderFd >= 0)
            split.name = target.name;
        if (split.name.empty())
            return ReplaceError{ReplaceStep::CreateTemp, EINVAL};

        // Every later call is relative to this descriptor, so a folder renamed or
        // swapped for a link half-way cannot send the new file somewhere else.
        // Until it is moved into `out`, `prepared` removes whatever it holds.
        PreparedReplacement prepared;
        prepared.dirFd_ = target.folderFd >= 0
            ? ops.openat(target.folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0)
            : ops.openat(AT_FDCWD, split.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
        if (prepared.dirFd_ < 0)
            return ReplaceError{ReplaceStep::CreateTemp, errno};

        for (int attempt = 0; attempt < kTempNameTries && prepared.fd_ < 0; ++attempt) {
            std::string name = newTemporaryName();
            const int fd =
                ops.openat(prepared.dirFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd >= 0) {
                prepared.fd_ = fd;
                prepared.tempName_ = std::move(name);
            } else if (errno != EEXIST) {
                return ReplaceError{ReplaceStep::CreateTemp, errno};
            }
        }
        if (prepared.fd_ < 0)
            return ReplaceError{ReplaceStep::CreateTemp, EEXIST};
        prepared.tempPath_ = split.prefix + prepared.tempName_;
        prepared.targetName_ = split.name;
        prepared.targetPath_ = target.path;

        if (const int error = writeContent(prepared.fd_))
            return ReplaceError{ReplaceStep::Write, error};

        // Owner first: changing it clears the set-user-ID and set-group-ID bits,
        // which the permissions below then restore. Without privileges we
        // cannot give the file away (EPERM): in place another user's photo
        // would silently become ours, with our group, so it is left alone.
        mode_t mode = attributes.st_mode & 07777;
        if (rule == AttributeRule::KeepEverything) {
            if (ops.fchown(prepared.fd_, attributes.st_uid, attributes.st_gid) != 0)
                return ReplaceError{errno == EPERM ? ReplaceStep::Owner : ReplaceStep::Attributes, errno};
        } else {
            // Ours now: a set-ID bit would run as us, and our group is not
            // the original's, so it gets no more than the original gave.
            mode &= 0777;
        }
        if (ops.fchmod(prepared.fd_, mode) != 0)
            return ReplaceError{ReplaceStep::Attributes, errno};
        if (xattrSourceFd >= 0)
            if (const int error = copyExtendedAttributes(xattrSourceFd, prepared.fd_, rule))
                return ReplaceError{ReplaceStep::ExtendedAttributes, error};
        // Times last: nothing may touch the file after them.
        const struct timespec times[2] = {attributes.st_atim, attributes.st_mtim};
        if (ops.futimens(prepared.fd_, times) != 0)
            return ReplaceError{ReplaceStep::Attributes, errno};
        // Let the disk start on this file while the next ones are prepared,
        // so that the sync before the rename finds little left to write. A
        // hint only: durability still comes from that sync.
        ::sync_file_range(prepared.fd_, 0, 0, SYNC_FILE_RANGE_WRITE);

        out = std::move(prepared);
        return {};
    }
};

ReplaceError prepareReplacement(const ReplaceTarget& target, std::span<const std::uint8_t> bytes,
                                const struct stat& attributes, PreparedReplacement& out, int xattrSourceFd,
                                AttributeRule rule)
{
    return TemporaryFileMaker::make(target, attributes, out, xattrSourceFd, rule,
                                    [&](int fd) { return writeAll(fd, bytes); });
}

ReplaceError prepareReplacement(const ReplaceTarget& target, const CopySource& source, const struct stat& attributes,
                                PreparedReplacement& out, int xattrSourceFd, AttributeRule rule)
{
    return TemporaryFileMaker::make(target, attributes, out, xattrSourceFd, rule, [&](int fd) {
        if (const int error = copyContent(source.fd, fd, source.size))
            return error;
        for (const FilePatch& patch : source.patches)
            if (const int error = writeAll(fd, patch.bytes, patch.offset))
                return error;
        return 0;
    });
}

ReplaceError prepareReplacement(const std::string& targetPath, std::span<const std::uint8_t> bytes,
                                const struct stat& attributes, PreparedReplacement& out, int xattrSourceFd,
                                AttributeRule rule)
{
    return prepareReplacement(ReplaceTarget{-1, {}, targetPath}, bytes, attributes, out, xattrSourceFd, rule);
}

ReplaceError prepareReplacement(const std::string& targetPath, const CopySource& source, const struct stat& attributes,
                                PreparedReplacement& out, int xattrSourceFd, AttributeRule rule)
{
    return prepareReplacement(ReplaceTarget{-1, {}, targetPath}, source, attributes, out, xattrSourceFd, rule);
}

ReplaceError replaceFile(const std::string& targetPath, std::span<const std::uint8_t> bytes,
                         const struct stat& attributes, int xattrSourceFd, AttributeRule rule)
{
    PreparedReplacement prepared;
    if (const ReplaceError error = prepareReplacement(targetPath, bytes, attributes, prepared, xattrSourceFd, rule))
        return error;
    return prepared.commit();
}

} // namespace shotdate
