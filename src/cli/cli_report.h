#pragma once

#include "run/batch_run.h"
#include "run/reason.h"
#include "run/target_list.h"

#include <string>
#include <string_view>

namespace shotdate::cli {

// The command line's English words for what the core reports. Only text
// here: printing and timing belong to RunPrinter.

// Why a file was (or was not) rewritten, e.g. "no EXIF data".
std::string_view reasonText(Reason reason);

// A file name or date as it may be shown on a terminal: control characters
// (a newline inside a name, an escape sequence) become C escapes, so every
// report stays one line and cannot drive the terminal. Other bytes,
// UTF-8 names included, pass unchanged.
std::string printable(std::string_view text);

// "IMG_1.JPG: passed over: cannot be read (Permission denied)"
std::string passedOverLine(const FileReport& report);

// "IMG_1.JPG: rewritten: 2012:05:03 13:45:12 -> 2020:01:01 00:00:00"
std::string outcomeLine(const FileReport& report);

// "photos/sub: cannot list this folder (Permission denied)"
std::string listingProblemLine(const ListingProblem& problem);

// "3 rewritten, 1 passed over", or "3 would be rewritten, 1 passed over"
std::string summaryLine(const RunSummary& summary, bool dryRun);

// Why checkRunSettings refused the run, naming the path concerned.
std::string settingsErrorText(SettingsError error, const RunSettings& settings);

inline constexpr int kExitAllRewritten = 0;
inline constexpr int kExitSomePassedOver = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitStopped = 130;  // 128 + SIGINT, as shells report it

// 130 when stopped, 1 when any file or folder was passed over, else 0.
int exitStatus(const RunSummary& summary);

} // namespace shotdate::cli
