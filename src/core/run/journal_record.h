#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace shotdate {

// exiftool's names for the two EXIF dates, as the journal and reports use them.
inline constexpr const char* kOriginalDateName = "EXIF:DateTimeOriginal";
inline constexpr const char* kDigitizedDateName = "EXIF:CreateDate";

// Which file, and in which state: enough to tell later whether a name still
// leads to the very file (same device and inode) as it was.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t ctimeSeconds = 0;
    std::int64_t ctimeNanoseconds = 0;
};

// Bytes a run replaced at one place of a file. `newBytes` may be longer
// than `oldBytes` where the range grew the file past its old end.
struct ChangedRange {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> oldBytes;
    std::vector<std::uint8_t> newBytes;
};

// One date field before and after (nullopt: the field was absent).
struct ChangedDate {
    std::string name; // "EXIF:DateTimeOriginal", ...
    std::optional<std::string> oldValue;
    std::optional<std::string> newValue;
};

// A change written into the file itself: its one span before and after,
// the boot it was written in (power loss can only have torn it if that boot
// ended before the change was made durable), and the times put back after it.
struct InPlaceRecord {
    std::string bootId;
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> oldBytes;
    std::vector<std::uint8_t> newBytes;
    std::int64_t accessSeconds = 0;
    std::int64_t accessNanoseconds = 0;
    std::int64_t modifySeconds = 0;
    std::int64_t modifyNanoseconds = 0;
};

// What a run did to one file it wrote: journaled before the new file is
// renamed into place, so that an undo (or a later replay) knows exactly
// what to put back.
struct JournalFile {
    std::string path; // the written file (absolute once journaled)
    std::string relativePath; // below the run's output folder or input
    FileStamp before; // the input as read
    FileStamp after; // the new file, when made durable
    std::uint64_t oldSize = 0; // the input's size: an undo cuts back to it
    std::vector<ChangedRange> ranges; // empty when the file was laid out again
    bool laidOut = false;
    std::vector<ChangedDate> dates;
    bool replacedOther = false; // into an output folder, over a file that stood there
    std::optional<InPlaceRecord> inPlace; // patched in the file, not renamed over it
    bool done = false; // known to have been renamed into place (read back only)
    bool settled = false; // its outcome, whatever it was, is journaled (read back only)
};

} // namespace shotdate
