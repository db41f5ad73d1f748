#pragma once

#include "run/batch_run.h"
#include "cli_args.h"
#include "progress_line.h"

#include <cstddef>
#include <cstdio>
#include <functional>

namespace shotdate::cli {

// Turns a run's callbacks into the command line's output: passed-over
// files and listing problems on `err`, per-file outcomes (verbose, dry run)
// and the closing summary on `out`, and, when `err` is a terminal, one
// progress line that is overwritten in place. With `json`, `out` gets only
// the JSON Lines records and every text line goes to `err`.
class RunPrinter {
public:
    struct Setup {
        Verbosity verbosity = Verbosity::Normal;
        bool dryRun = false;
        bool json = false;
        bool progress = false;       // err is a terminal
        std::size_t columns = 80;    // its width
        std::function<ProgressThrottle::Clock::time_point()> clock = [] { return ProgressThrottle::Clock::now(); };
    };

    RunPrinter(std::FILE* out, std::FILE* err, Setup setup);

    // Callbacks for runBatch; they run on the caller's thread and never throw.
    RunCallbacks callbacks();

    void targetsListed(std::size_t count);
    void fileDone(const FileReport& report);
    void listingProblem(const ListingProblem& problem);
    // Clears the progress line and prints the summary last, on `out`
    // (with `json` the summary record there, the text on `err`).
    void finish(const RunSummary& summary, int exitStatus);

private:
    void clearProgress();
    void printLine(std::FILE* stream, const std::string& line);
    void drawProgress(std::size_t done, const std::string& inPath);

    std::FILE* out_;
    std::FILE* err_;
    Setup setup_;
    ProgressThrottle throttle_;
    std::size_t total_ = 0;
    ProgressThrottle::Clock::time_point start_{};
    bool progressShown_ = false;
};

} // namespace shotdate::cli
