#include "cli_report.h"

#include <cstdio>
#include <cstring>

namespace shotdate::cli {

namespace {

std::string errnoText(int error)
{
    // The program never calls setlocale, so this is the C locale's English.
    return std::strerror(error);
}

std::string withErrno(std::string text, int error)
{
    if (error != 0)
        text += " (" + errnoText(error) + ")";
    return text;
}

std::string shownDate(const std::string& date)
{
    return date.empty() ? std::string("(no date)") : printable(date);
}

} // namespace

std::string_view reasonText(Reason reason)
{
    switch (reason) {
    case Reason::Rewritten: return "rewritten";
    case Reason::WouldRewrite: return "would be rewritten";
    case Reason::NotFound: return "no longer there";
    case Reason::NotRegularFile: return "not a regular file";
    case Reason::DanglingLink: return "a symbolic link to nothing";
    case Reason::Unreadable: return "cannot be read";
    case Reason::TooLarge: return "too large to rewrite";
    case Reason::ChangedWhileReading: return "changed while it was being read";
    case Reason::NotAnImage: return "not an image in a known format";
    case Reason::NoExif: return "no EXIF data";
    case Reason::NoFileDate: return "no shooting date (DateTimeOriginal) to start from";
    case Reason::BadFileDate: return "its shooting date (DateTimeOriginal) is not a valid date";
    case Reason::DateOutOfRange: return "the new date would fall outside the years 0001-9999";
    case Reason::CannotAddDate: return "the date fields cannot be added to this file safely";
    case Reason::UnsupportedFormat: return "its EXIF data cannot be rewritten safely in this image format";
    case Reason::VerifyFailed: return "the rewritten file did not match the original; left unchanged";
    case Reason::WriteFailed: return "the new file could not be written";
    case Reason::RenameFailed: return "the new file could not be put in place";
    case Reason::SameFileTwice:
        return "the same file as an earlier one (named again, or through a link): its date moves only once";
    case Reason::RewrittenNotSynced:
        return "rewritten, but its folder could not be synced: after a crash the old file may come back";
    case Reason::CannotKeepOwner: return "its owner and group cannot be kept";
    case Reason::CannotKeepAttributes: return "its ACL or security label cannot be kept";
    case Reason::LinkOutside: return "a symbolic link to a file outside the input folder: not followed";
    case Reason::FolderGone: return "its folder was removed or could no longer be read during the run";
    case Reason::DatesChangedSince: return "its dates were changed again since that run: left as they are";
    case Reason::CannotRestoreCopies: return "other copies of the date that run laid out again cannot be put back: left as it is";
    case Reason::NotChangedByRun: return "that run never changed this file: nothing to undo";
    case Reason::CannotChangeCopy: return "an XMP copy of the date has no room for its new value";
    case Reason::BoxPastEnd: return "a box of the movie runs past the end of the file (cut off?) or of its container";
    case Reason::MovieHeaderTooLarge: return "its movie header (moov) is larger than 64 MiB";
    }
    return "passed over for an unknown reason";
}

std::string printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        case '\t': out += "\\t"; continue;
        case '\\': out += "\\\\"; continue;
        default: break;
        }
        if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", unsigned(byte));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string passedOverLine(const FileReport& report)
{
    // A file rewritten but not made durable was not passed over; it still
    // needs the user's attention.
    const char* verdict = countsAsRewritten(report.reason) ? ": needs attention: " : ": passed over: ";
    std::string line = printable(report.inPath) + verdict
        + withErrno(std::string(reasonText(report.reason)), report.error);
    // The date found explains a refused shift or an unreadable date.
    if (!report.oldDate.empty())
        line += " [shooting date found: " + printable(report.oldDate) + "]";
    return line;
}

std::string outcomeLine(const FileReport& report)
{
    if (!isSuccess(report.reason))
        return passedOverLine(report);
    std::string line = printable(report.inPath) + ": " + std::string(reasonText(report.reason)) + ": "
        + shownDate(report.oldDate) + " -> " + shownDate(report.newDate);
    if (report.outPath != report.inPath && !report.outPath.empty())
        line += " (as " + printable(report.outPath) + ")";
    // Copies of the date left as they were: not failures, but worth a look.
    for (const std::string& note : report.notes)
        line += " [left as it was: " + printable(note) + "]";
    return line;
}

std::string listingProblemLine(const ListingProblem& problem)
{
    return printable(problem.path) + ": " + withErrno("cannot list this folder", problem.error);
}

std::string summaryLine(const RunSummary& summary, bool dryRun)
{
    return std::to_string(summary.rewritten) + (dryRun ? " would be rewritten, " : " rewritten, ")
        + std::to_string(summary.passedOver) + " passed over";
}

std::string settingsErrorText(SettingsError error, const RunSettings& settings)
{
    const std::string input = "'" + printable(missingInput(settings).value_or(settings.inputPath)) + "'";
    const std::string output = "'" + printable(settings.outputFolder.value_or("")) + "'";
    switch (error) {
    case SettingsError::None: return {};
    case SettingsError::InputMissing: return input + ": no such file or folder";
    case SettingsError::OutputMissing: return "output folder " + output + " does not exist";
    case SettingsError::OutputNotFolder: return "output " + output + " is not a folder";
    case SettingsError::OutputNotWritable: return "output folder " + output + " cannot be written to";
    }
    return "the settings were refused";
}

int exitStatus(const RunSummary& summary)
{
    if (summary.stopped)
        return kExitStopped;
    if (summary.passedOver > 0 || !summary.passedOverFiles.empty() || !summary.listingProblems.empty())
        return kExitSomePassedOver;
    return kExitAllRewritten;
}

} // namespace shotdate::cli
