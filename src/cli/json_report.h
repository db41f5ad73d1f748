#pragma once

#include "io/json_line.h"
#include "run/batch_run.h"
#include "run/target_list.h"

#include <string>
#include <string_view>

namespace shotdate::cli {

// The records of --json: JSON Lines, one compact object per line, for
// scripts. Field names and reason codes are a promise to those scripts
// (the README lists them): add fields, never rename or drop one.

// {"type":"file","path":..,"outcome":..,"reason":..,"errno":..,"output":..,"renamed":..,"dates":[..],"changes":[..]}
std::string fileRecord(const FileReport& report);

// {"type":"folder","path":..,"outcome":"passed-over","reason":"cannot-list","errno":..}
std::string listingProblemRecord(const ListingProblem& problem);

// {"type":"summary","dry_run":..,"rewritten":..,"passed_over":..,"unlisted_folders":..,"stopped":..,"exit":..}
std::string summaryRecord(const RunSummary& summary, bool dryRun, int exitStatus);

// Linux file names are bytes. A name that is not valid UTF-8 is shown
// with U+FFFD in place of each bad byte, and its exact bytes are given
// beside it in base64 ("path_base64"), so that a script can still open it
// (isUtf8 tells which).
std::string base64(std::string_view bytes);

} // namespace shotdate::cli
