#pragma once

#include "bytes/file_patch.h"

#include <sys/stat.h>

#include <cstdint>
#include <span>
#include <string>

namespace shotdate {

// The one way a file reaches the user's disk: a new file is created
// exclusively beside its target under a hidden name, written in full, given
// the original's owner, permissions, extended attributes and times, synced,
// and only then renamed over the target. Until the rename the target is
// untouched; if anything fails before it, the temporary file is removed.
//
// The work is split in two so that a batch can prepare many files, sync
// them, and rename them afterwards.

enum class ReplaceStep {
    None,
    CreateTemp,
    Write,
    Attributes, // owner, permissions, times (extended attributes are best effort)
    Sync,
    Rename,
    TargetChanged, // in place: the name no longer stands for the file that was read
    SyncFolder, // after the rename: the new file is in place, but maybe not yet durable
};

struct ReplaceError {
    ReplaceStep step = ReplaceStep::None;
    int error = 0; // errno
    explicit operator bool() const { return step != ReplaceStep::None; }
};

// Hidden temporary names all look like ".shotdate-<16 hex digits>.tmp".
bool isOurTemporaryName(const std::string& fileName);

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
    // In place the rename must replace the very file that was read: when
    // another program has meanwhile saved a new file under the name, commit
    // refuses (TargetChanged) instead of throwing that file away.
    void expectTarget(dev_t device, ino_t inode)
    {
        expectTarget_ = true;
        expectedDevice_ = device;
        expectedInode_ = inode;
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
    dev_t expectedDevice_ = 0;
    ino_t expectedInode_ = 0;
    std::string tempName_; // name inside the folder
    std::string tempPath_;
    std::string targetName_;
    std::string targetPath_;
};

// Writes `bytes` to a new hidden file in the folder of `targetPath` and gives
// it the attributes in `attributes` (owner and group where allowed, then
// permission bits, then access and modification times to the nanosecond).
// Extended attributes are copied, best effort, from `xattrSourceFd` when it
// is an open descriptor. The target itself is not touched. On failure
// nothing is left behind.
ReplaceError prepareReplacement(const std::string& targetPath, std::span<const std::uint8_t> bytes,
                                const struct stat& attributes, PreparedReplacement& out, int xattrSourceFd = -1);

// The same, with the content copied from an open file and patched.
ReplaceError prepareReplacement(const std::string& targetPath, const CopySource& source, const struct stat& attributes,
                                PreparedReplacement& out, int xattrSourceFd = -1);

// The same two, into a held folder.
ReplaceError prepareReplacement(const ReplaceTarget& target, std::span<const std::uint8_t> bytes,
                                const struct stat& attributes, PreparedReplacement& out, int xattrSourceFd = -1);
ReplaceError prepareReplacement(const ReplaceTarget& target, const CopySource& source, const struct stat& attributes,
                                PreparedReplacement& out, int xattrSourceFd = -1);

// prepare + commit in one go.
ReplaceError replaceFile(const std::string& targetPath, std::span<const std::uint8_t> bytes,
                         const struct stat& attributes, int xattrSourceFd = -1);

} // namespace shotdate
