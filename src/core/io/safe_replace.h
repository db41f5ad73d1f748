#pragma once

#include "bytes/file_patch.h"

#include <sys/stat.h>

#include <cstdint>
#include <span>
#include <string>

namespace shotdate {

// The usual way a file reaches the user's disk (the other, for a journaled
// same-length change within one page, is io/in_place_patch): a new file is
// created exclusively beside its target under a hidden name, written in
// full, given the original's owner, permissions, extended attributes and
// times, synced, and only then renamed over the target. Until the rename the
// target is untouched; if anything fails before it, the temporary file is
// removed.
//
// The work is split in two so that a batch can prepare many files, sync
// them, and rename them afterwards.

enum class ReplaceStep {
    None,
    CreateTemp,
    Write,
    Attributes, // permissions, times, or an owner change that failed other than by EPERM
    Owner, // the original's owner and group cannot both be kept (EPERM); KeepEverything only
    ExtendedAttributes, // an ACL or security label cannot be carried over; KeepEverything only
    Sync,
    Rename,
    TargetChanged, // in place: the name no longer stands for the file that was read
    SyncFolder, // after the rename: the new file is in place, but maybe not yet durable
};

// How much of the original the new file must carry besides its content,
// permission bits and times.
enum class AttributeRule {
    // In place the new file stands for the old one: its owner and group, its
    // ACLs and security labels must all come along, or the replacement is
    // refused. Other extended attributes are copied where they can be.
    KeepEverything,
    // A copy in another folder belongs to whoever makes it: no change of
    // owner, no set-user-ID or set-group-ID bit, group and other access
    // never more than the original's; extended attributes where they can be.
    Copy,
};

struct ReplaceError {
    ReplaceStep step = ReplaceStep::None;
    int error = 0; // errno
    explicit operator bool() const { return step != ReplaceStep::None; }
};

// Whether two states of a file show the same file with the same content:
// device, inode, size, modification and change time.
bool sameFileState(const struct stat& a, const struct stat& b);

// Hidden temporary names all look like ".shotdate-<16 hex digits>.tmp".
bool isOurTemporaryName(const std::string& fileName);
// A fresh one, random enough that a clash is rare (creating it O_EXCL makes
// a clash harmless).
std::string newTemporaryName();

// The content of a new file taken from an open file: its first `size`
// bytes, cloned where the file system shares extents (btrfs, XFS),
// otherwise copied in the kernel, then patched.
struct CopySource {
    int fd = -1;
    std::uint64_t size = 0;
    std::span<const FilePatch> patches;
};

// Where a new file goes: the entry `name` of a folder the caller holds open
// (`path` only names it in reports). Without a descriptor (-1) the folder of
// `path` is opened by its path.
struct ReplaceTarget {
    int folderFd = -1;
    std::string name;
    std::string path;
};

class PreparedReplacement {
public:
    PreparedReplacement() = default;
    PreparedReplacement(PreparedReplacement&& other) noexcept;
    PreparedReplacement& operator=(PreparedReplacement&& other) noexcept;
    PreparedReplacement(const PreparedReplacement&) = delete;
    PreparedReplacement& operator=(const PreparedReplacement&) = delete;
    // Abandons (removes the temporary file) if neither commit nor abandon ran.
    ~PreparedReplacement();

    bool active() const { return fd_ >= 0; }
    const std::string& temporaryPath() const { return tempPath_; }
    const std::string& targetPath() const { return targetPath_; }

    // fsync of the temporary file; may be called early by a batch.
    ReplaceError sync();
    // A batch that made the whole file system durable at once (syncfs)
    // vouches for this file's data.
    void markSynced() { synced_ = fd_ >= 0; }
    int folderDescriptor() const { return dirFd_; }
    // The new file itself, while it is prepared (its inode and size for a journal).
    int fileDescriptor() const { return fd_; }
    // In place the rename must replace the very file that was read, as it
    // was read: when another program has meanwhile saved a new file under the
    // name, or written into the same one, commit refuses (TargetChanged)
    // instead of throwing that work away. Size and both times are compared
    // too; the change time catches a writer that set the modification time
    // back, since no one can set it.
    void expectTarget(const struct stat& state)
    {
        expectTarget_ = true;
        expected_ = state;
    }
    // The run itself changed the expected file from `before` to `after`
    // (renaming over another of its names drops its link count, which moves
    // its change time): that is no change by another program.
    void expectedTargetChanged(const struct stat& before, const struct stat& after)
    {
        if (expectTarget_ && sameFileState(expected_, before))
            expected_ = after;
    }
    // A descriptor (O_PATH) of the file the rename will replace, or -1 when
    // there is none. Holding it past the rename keeps the kernel from
    // freeing the old file's blocks inside the rename itself: the last close
    // does that, wherever the caller chooses to make it.
    int holdTarget() const;
    // sync (when not done yet), rename over the target, and unless the
    // caller syncs the folder itself, fsync the folder.
    // On failure before the rename the temporary file is removed.
    ReplaceError commit(bool syncFolder = true);
    // Removes the temporary file; the target stays as it was.
    void abandon();

private:
    friend class TemporaryFileMaker;
    int fd_ = -1;
    int dirFd_ = -1;
    bool synced_ = false;
    bool expectTarget_ = false;
    struct stat expected_ {};
    std::string tempName_; // name inside the folder
    std::string tempPath_;
    std::string targetName_;
    std::string targetPath_;
};

// Writes `bytes` to a new hidden file in the folder of `targetPath` and gives
// it the attributes in `attributes` under `rule` (owner and group, then
// permission bits, then access and modification times to the nanosecond).
// Extended attributes are copied from `xattrSourceFd` when it is an open
// descriptor. The target itself is not touched. On failure nothing is left
// behind.
ReplaceError prepareReplacement(const std::string& targetPath, std::span<const std::uint8_t> bytes,
                                const struct stat& attributes, PreparedReplacement& out, int xattrSourceFd = -1,
                                AttributeRule rule = AttributeRule::KeepEverything);

// The same, with the content copied from an open file and patched.
ReplaceError prepareReplacement(const std::string& targetPath, const CopySource& source, const struct stat& attributes,
                                PreparedReplacement& out, int xattrSourceFd = -1,
                                AttributeRule rule = AttributeRule::KeepEverything);

// The same two, into a held folder.
ReplaceError prepareReplacement(const ReplaceTarget& target, std::span<const std::uint8_t> bytes,
                                const struct stat& attributes, PreparedReplacement& out, int xattrSourceFd = -1,
                                AttributeRule rule = AttributeRule::KeepEverything);
ReplaceError prepareReplacement(const ReplaceTarget& target, const CopySource& source, const struct stat& attributes,
                                PreparedReplacement& out, int xattrSourceFd = -1,
                                AttributeRule rule = AttributeRule::KeepEverything);

// prepare + commit in one go.
ReplaceError replaceFile(const std::string& targetPath, std::span<const std::uint8_t> bytes,
                         const struct stat& attributes, int xattrSourceFd = -1,
                         AttributeRule rule = AttributeRule::KeepEverything);

} // namespace shotdate
