#pragma once

#include <string_view>

namespace shotdate {

// What happened to one target. Front ends turn these into their own words
// (English on the command line, Japanese in the window); the core never
// produces user-facing text.
enum class Reason {
    Rewritten, // the new file is in place
    WouldRewrite, // dry run: everything checked, nothing written
    NotFound, // nothing at the input path (vanished after listing)
    NotRegularFile, // FIFO, socket, device: never opened
    DanglingLink, // a symbolic link whose target does not exist
    Unreadable, // open or read failed (permissions, I/O error)
    TooLarge, // larger than the rewrite can hold in memory
    ChangedWhileReading, // size or modification time moved during the read
    NotAnImage, // no image format we know
    NoExif, // an image without EXIF data (no Exif IFD)
    NoFileDate, // DateTimeOriginal missing or blank (modes 1, 2, shift)
    BadFileDate, // DateTimeOriginal not a valid date (modes 1, 2, shift)
    DateOutOfRange, // the new date falls outside years 0001-9999
    CannotAddDate, // a field would have to grow, and this format cannot do that safely
    UnsupportedFormat, // an image format whose EXIF block we cannot rewrite safely
    VerifyFailed, // the rewritten file did not match the original outside the dates
    WriteFailed, // creating, writing, syncing or attributing the new file failed
    RenameFailed, // the complete new file could not be put in place
    SameFileTwice, // in place, a link led to a file the run already rewrote
    // The new file is in place, but its folder could not be synced: after a
    // crash the name may still lead to the old file. Counts as rewritten
    // (running the same shift again would move the date twice) and is still
    // shown, as it needs the user's attention.
    RewrittenNotSynced,
    CannotKeepOwner, // in place, the new file could not get the original's owner and group
    CannotKeepAttributes, // in place, an ACL or security label could not be carried over
    LinkOutside, // a symbolic link met in a folder leads outside the input folder: not followed
    FolderGone, // its folder (or the output folder) was removed or stopped answering mid-run
    // Undo: the dates no longer read as the run left them (changed again
    // since, by another run or program): they stay as they are.
    DatesChangedSince,
    // Undo: the file still holds what it held before the run (a killed run
    // never put its new file in place): nothing to undo.
    NotChangedByRun,
    // Undo: the run laid the metadata out again and changed other copies of
    // the date with the two (XMP, IPTC, ModifyDate, zone tags): they have no
    // old bytes to go back by, and the file is left as the run left it.
    CannotRestoreCopies,
    CannotChangeCopy, // another copy of the date (in XMP) has no room for its new value
    BoxPastEnd, // a movie's box runs past the end of the file or of the box holding it
    MovieHeaderTooLarge, // a movie header box too large to read whole (over 64 MiB)
};

// A stable identifier, used in logs and tests ("rewritten", "no-exif", ...).
std::string_view reasonKey(Reason reason);

constexpr bool isSuccess(Reason reason)
{
    return reason == Reason::Rewritten || reason == Reason::WouldRewrite;
}

// Whether the new file stands in place (or would): what the totals count.
constexpr bool countsAsRewritten(Reason reason)
{
    return isSuccess(reason) || reason == Reason::RewrittenNotSynced;
}

} // namespace shotdate
