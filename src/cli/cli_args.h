#pragma once

#include "run/batch_run.h"

#include <string>
#include <vector>

namespace shotdate::cli {

enum class Verbosity {
    Normal,   // passed-over files, the summary, a progress line on a terminal
    Verbose,  // and every file's outcome with its old and new date
    Quiet,    // problems only: no progress, no per-file lines, no summary
};

enum class Action { Run, CleanTemp, Help, Version, Runs, Undo, Forget };

struct CliOptions {
    Action action = Action::Run;
    RunSettings settings;
    Verbosity verbosity = Verbosity::Normal;
    bool json = false;        // JSON Lines on stdout instead of text
    std::string runId;        // --undo RUN, --forget RUN ("" for --undo alone: the latest)
};

struct ParseResult {
    bool ok = false;
    CliOptions options;    // meaningful when ok
    std::string error;     // one line naming the problem when !ok
};

// Reads the arguments after the program name. Pure: touches no file, so a
// usage error is always found before anything happens on disk.
//
// --help and --version win over everything else on the line (before "--"),
// so asking for help never ends in an error.
ParseResult parseArguments(const std::vector<std::string>& args);

// The text of --help.
std::string usageText();

} // namespace shotdate::cli
