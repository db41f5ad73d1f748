#include "run_printer.h"

#include "cli_report.h"
#include "io/path_text.h"
#include "json_report.h"

namespace shotdate::cli {

RunPrinter::RunPrinter(std::FILE* out, std::FILE* err, Setup setup)
    : out_(out)
    , err_(err)
    , setup_(std::move(setup))
{
    if (setup_.verbosity == Verbosity::Quiet)
        setup_.progress = false;
}

RunCallbacks RunPrinter::callbacks()
{
    // Output trouble (a closed pipe, a full disk behind a redirection) must
    // not end a run halfway: every callback swallows what it throws.
    RunCallbacks callbacks;
    callbacks.onTargets = [this](std::size_t count) {
        try {
            targetsListed(count);
        } catch (...) {
        }
    };
    callbacks.onFile = [this](const FileReport& report) {
        try {
            fileDone(report);
        } catch (...) {
        }
    };
    callbacks.onListingProblem = [this](const ListingProblem& problem) {
        try {
            listingProblem(problem);
        } catch (...) {
        }
    };
    return callbacks;
}

void RunPrinter::targetsListed(std::size_t count)
{
    total_ = count;
    start_ = setup_.clock();
}

void RunPrinter::fileDone(const FileReport& report)
{
    if (setup_.json)
        printLine(out_, fileRecord(report));
    if (!isSuccess(report.reason))
        printLine(err_, passedOverLine(report));
    else if (setup_.verbosity == Verbosity::Verbose)
        printLine(setup_.json ? err_ : out_, outcomeLine(report));
    else if (setup_.dryRun && setup_.verbosity != Verbosity::Quiet && !setup_.json)
        printLine(out_, outcomeLine(report));
    drawProgress(report.index, report.inPath);
}

void RunPrinter::listingProblem(const ListingProblem& problem)
{
    if (setup_.json)
        printLine(out_, listingProblemRecord(problem));
    printLine(err_, listingProblemLine(problem));
}

void RunPrinter::finish(const RunSummary& summary, int exitStatus)
{
    clearProgress();
    if (summary.stopped)
        printLine(err_, "stopped: the remaining files were not touched");
    if (setup_.verbosity != Verbosity::Quiet)
        printLine(setup_.json ? err_ : out_, summaryLine(summary, setup_.dryRun));
    if (setup_.json)
        printLine(out_, summaryRecord(summary, setup_.dryRun, exitStatus));
    std::fflush(out_);
}

void RunPrinter::clearProgress()
{
    if (!progressShown_)
        return;
    std::fputs("\r\033[K", err_);
    std::fflush(err_);
    progressShown_ = false;
}

void RunPrinter::printLine(std::FILE* stream, const std::string& line)
{
    clearProgress();
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
    // Flushed line by line so that a reader of a pipe sees each file as it
    // is done, and the lines of out and err keep their order on a terminal.
    std::fflush(stream);
}

void RunPrinter::drawProgress(std::size_t done, const std::string& inPath)
{
    if (!setup_.progress)
        return;
    const auto now = setup_.clock();
    if (!throttle_.due(now))
        return;
    const std::string text =
        progressText(done, total_, lastPathComponent(inPath), setup_.columns, paceText(done, total_, now - start_));
    std::fputs(("\r" + text + "\033[K").c_str(), err_);
    std::fflush(err_);
    progressShown_ = true;
}

} // namespace shotdate::cli
