#include "run/reason.h"

namespace shotdate {

std::string_view reasonKey(Reason reason)
{
    switch (reason) {
    case Reason::Rewritten: return "rewritten";
    case Reason::WouldRewrite: return "would-rewrite";
    case Reason::NotFound: return "not-found";
    case Reason::NotRegularFile: return "not-regular-file";
    case Reason::DanglingLink: return "dangling-link";
    case Reason::Unreadable: return "unreadable";
    case Reason::TooLarge: return "too-large";
    case Reason::ChangedWhileReading: return "changed-while-reading";
    case Reason::NotAnImage: return "not-an-image";
    case Reason::NoExif: return "no-exif";
    case Reason::NoFileDate: return "no-file-date";
    case Reason::BadFileDate: return "bad-file-date";
    case Reason::DateOutOfRange: return "date-out-of-range";
    case Reason::CannotAddDate: return "cannot-add-date";
    case Reason::UnsupportedFormat: return "unsupported-format";
    case Reason::VerifyFailed: return "verify-failed";
    case Reason::WriteFailed: return "write-failed";
    case Reason::RenameFailed: return "rename-failed";
    case Reason::SameFileTwice: return "same-file-twice";
    case Reason::RewrittenNotSynced: return "rewritten-not-synced";
    case Reason::CannotKeepOwner: return "cannot-keep-owner";
    case Reason::CannotKeepAttributes: return "cannot-keep-attributes";
    case Reason::LinkOutside: return "link-outside";
    case Reason::FolderGone: return "folder-gone";
    case Reason::DatesChangedSince: return "dates-changed-since";
    case Reason::NotChangedByRun: return "not-changed-by-run";
    case Reason::CannotRestoreCopies: return "cannot-restore-copies";
    case Reason::CannotChangeCopy: return "cannot-change-copy";
    case Reason::BoxPastEnd: return "box-past-end";
    case Reason::MovieHeaderTooLarge: return "movie-header-too-large";
    }
    return "unknown";
}

} // namespace shotdate
