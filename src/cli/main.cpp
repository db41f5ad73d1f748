// shotdate-cli: rewrites the EXIF shooting dates of the photos in folders
// or of single files, from the command line.

#include "run/batch_run.h"
#include "run/patch_replay.h"
#include "run/undo_run.h"
#include "cli_args.h"
#include "cli_report.h"
#include "run_history.h"
#include "run_printer.h"
#include "stop_signal.h"
#include "io/temporary_cleanup.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace shotdate;
using namespace shotdate::cli;

constexpr const char* kProgramName = "shotdate-cli";

std::size_t terminalColumns(int fd)
{
    struct winsize size {};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

int usageError(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgramName, message.c_str(),
                 kProgramName);
    return kExitUsage;
}

int cleanTemporaryFiles(const RunSettings& settings)
{
    const std::vector<std::string> folders = runInputs(settings);
    for (const std::string& folder : folders) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            std::fprintf(stderr, "%s: %s is not a folder\n", kProgramName, printable(folder).c_str());
            return kExitUsage;
        }
    }
    std::size_t removed = 0;
    bool problems = false;
    for (const std::string& folder : folders) {
        const CleanupReport report = removeOurTemporaryFiles(folder, settings.subfolders);
        for (const auto& problem : report.problems)
            std::fprintf(stderr, "%s: %s: %s\n", kProgramName, printable(problem.path).c_str(),
                         std::strerror(problem.error));
        removed += report.removed.size();
        problems = problems || !report.problems.empty();
    }
    std::printf("%zu unfinished files removed\n", removed);
    return problems ? kExitSomePassedOver : kExitAllRewritten;
}

RunPrinter::Setup printerSetup(const CliOptions& options)
{
    RunPrinter::Setup setup;
    setup.verbosity = options.verbosity;
    setup.dryRun = options.settings.dryRun;
    setup.json = options.json;
    setup.progress = isatty(STDERR_FILENO) == 1;
    if (setup.progress)
        setup.columns = terminalColumns(STDERR_FILENO);
    return setup;
}

void prepareSignals()
{
    // A reader that goes away (`| head`) must not kill the run between a
    // file's preparation and its rename; writes to it just fail.
    std::signal(SIGPIPE, SIG_IGN);
    if (!installStopOnInterrupt())
        std::fprintf(stderr, "%s: warning: Ctrl-C will end the program at once, not after the current file\n",
                     kProgramName);
}

int forgetRun(const std::string& id)
{
    const int error = forgetJournal(id);
    if (error == ENOENT) {
        std::fprintf(stderr, "%s: no run %s in the journal (see --runs)\n", kProgramName, printable(id).c_str());
        return kExitUsage;
    }
    if (error != 0) {
        std::fprintf(stderr, "%s: the journal of run %s cannot be deleted: %s\n", kProgramName,
                     printable(id).c_str(), std::strerror(error));
        return kExitSomePassedOver;
    }
    return kExitAllRewritten;
}

// An undo is a run like any other: progress, Ctrl-C, its own journal, the
// same reasons and exit status.
int undoRun(const CliOptions& options)
{
    forgetOldJournals(std::time(nullptr));
    const std::vector<JournalRun> runs = readAllJournals(journalFolder(), true);
    const JournalRun* chosen = nullptr;
    if (options.runId.empty()) {
        chosen = latestUndoable(runs);
        if (!chosen) {
            std::fprintf(stderr, "%s: no run to undo (see --runs)\n", kProgramName);
            return kExitUsage;
        }
    } else {
        for (const JournalRun& run : runs)
            if (run.header.id == options.runId)
                chosen = &run;
        if (!chosen) {
            std::fprintf(stderr, "%s: no run %s in the journal (see --runs)\n", kProgramName,
                         printable(options.runId).c_str());
            return kExitUsage;
        }
    }
    const std::optional<JournalRun> whole = readJournal(chosen->path);
    if (!whole) {
        std::fprintf(stderr, "%s: the journal of run %s cannot be read\n", kProgramName, chosen->header.id.c_str());
        return kExitSomePassedOver;
    }
    chosen = &*whole;
    if (chosen->header.output)
        std::fprintf(stderr,
                     "%s: note: undo gives the files run %s wrote into %s their old dates back; a file it replaced "
                     "there cannot be brought back\n",
                     kProgramName, chosen->header.id.c_str(), printable(*chosen->header.output).c_str());
    prepareSignals();
    const auto journal = startJournal(stderr, journalHeaderFor(undoSettings(*chosen), chosen->header.id));
    RunPrinter printer(stdout, stderr, printerSetup(options));
    const RunSummary summary = runUndo(*chosen, stopFlag(), printer.callbacks(), journal.get());
    if (journal)
        journal->finish(summary.rewritten, summary.stopped);
    noteJournalBroken(stderr, summary);
    const int status = exitStatus(summary);
    printer.finish(summary, status);
    return status;
}

// Patches an earlier boot left unfinished, whatever the command: a torn
// span is put right before anything reads the file. Said on stderr only.
void finishTornPatches()
{
    for (const ReplayOutcome& outcome : replayUnfinishedPatches()) {
        const char* path = outcome.path.c_str();
        switch (outcome.kind) {
        case ReplayOutcome::Kind::Replayed:
            std::fprintf(stderr, "%s: finished the new date cut short by a power loss: %s\n", kProgramName, path);
            break;
        case ReplayOutcome::Kind::ForeignBytes:
            std::fprintf(stderr, "%s: a date cut short by a power loss was changed since, left as it is: %s\n",
                         kProgramName, path);
            break;
        case ReplayOutcome::Kind::Failed:
            std::fprintf(stderr, "%s: could not finish a date cut short by a power loss: %s: %s\n", kProgramName,
                         path, std::strerror(outcome.error));
            break;
        case ReplayOutcome::Kind::NotSameFile: break; // replaced or removed since: nothing of ours is there
        }
    }
}

int run(const std::vector<std::string>& args)
{
    finishTornPatches();
    const ParseResult parsed = parseArguments(args);
    if (!parsed.ok)
        return usageError(parsed.error);
    const CliOptions& options = parsed.options;
    if (options.action == Action::Help) {
        std::fputs(usageText().c_str(), stdout);
        return kExitAllRewritten;
    }
    if (options.action == Action::Version) {
        std::printf("%s %s\n", kProgramName, SHOTDATE_VERSION);
        return kExitAllRewritten;
    }

    if (options.action == Action::CleanTemp)
        return cleanTemporaryFiles(options.settings);
    if (options.action == Action::Runs) {
        printRuns(stdout, readAllJournals());
        return kExitAllRewritten;
    }
    if (options.action == Action::Forget)
        return forgetRun(options.runId);
    if (options.action == Action::Undo)
        return undoRun(options);

    RunSettings settings = options.settings;
    const SettingsError refused = checkAndNoteRunSettings(settings);
    if (refused != SettingsError::None) {
        std::fprintf(stderr, "%s: %s\n", kProgramName, settingsErrorText(refused, settings).c_str());
        return kExitUsage;
    }

    prepareSignals();
    RunPrinter printer(stdout, stderr, printerSetup(options));

    // Shifting the same files twice is the common accident: say so first.
    noteRecentShifts(stderr, settings, std::time(nullptr));
    std::unique_ptr<RunJournal> journal;
    if (!settings.dryRun) {
        forgetOldJournals(std::time(nullptr));
        journal = startJournal(stderr, journalHeaderFor(settings));
    }
    const RunSummary summary = runBatch(settings, stopFlag(), printer.callbacks(), journal.get());
    if (journal)
        journal->finish(summary.rewritten, summary.stopped);
    noteJournalBroken(stderr, summary);
    const int status = exitStatus(summary);
    printer.finish(summary, status);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: internal error: %s\n", kProgramName, e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: internal error\n", kProgramName);
    }
    return kExitSomePassedOver;
}
