#include "run_history.h"

#include "cli_report.h"

#include <cstdlib>
#include <cstring>

namespace shotdate::cli {

namespace {

std::string localTime(std::int64_t when)
{
    const std::time_t seconds = std::time_t(when);
    struct tm local {};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string modeText(const JournalHeader& header)
{
    if (header.mode == "shift")
        return "--shift " + shiftText(header.shiftSeconds);
    if (header.mode == "undo")
        return "--undo " + header.undoes.value_or("?");
    return "--" + header.mode + " \"" + header.date.value_or("") + "\"";
}

} // namespace

std::string shiftText(std::int32_t seconds)
{
    const char sign = seconds < 0 ? '-' : '+';
    std::int64_t left = std::llabs(std::int64_t(seconds));
    char text[32];
    const auto days = left / 86400;
    left %= 86400;
    if (days > 0)
        std::snprintf(text, sizeof text, "%c%lld:%02lld:%02lld:%02lld", sign, static_cast<long long>(days),
                      static_cast<long long>(left / 3600), static_cast<long long>(left / 60 % 60),
                      static_cast<long long>(left % 60));
    else
        std::snprintf(text, sizeof text, "%c%02lld:%02lld:%02lld", sign, static_cast<long long>(left / 3600),
                      static_cast<long long>(left / 60 % 60), static_cast<long long>(left % 60));
    return text;
}

void printRuns(std::FILE* out, const std::vector<JournalRun>& runs)
{
    for (const JournalRun& run : runs) {
        const std::string where = run.header.output ? *run.header.output
            : run.header.inputs.empty()             ? std::string("?")
                                                    : run.header.inputs.front();
        const auto undone = undoneBy(runs, run.header.id);
        std::fprintf(out, "%s  %s  %s  %s  %d rewritten%s%s\n", run.header.id.c_str(),
                     localTime(run.header.when).c_str(), printable(where).c_str(), modeText(run.header).c_str(),
                     run.rewritten, run.ended ? "" : " (stopped before its end)",
                     undone ? ("  undone by " + *undone).c_str() : "");
    }
}

void noteRecentShifts(std::FILE* err, const RunSettings& settings, std::time_t now)
{
    const std::vector<JournalRun> runs = readAllJournals(journalFolder(), true);
    for (const JournalRun* run : recentShiftsOf(runs, settings, now))
        std::fprintf(err,
                     "shotdate-cli: note: run %s already shifted these files by %s at %s (within the last 24 "
                     "hours); 'shotdate-cli --undo %s' takes that back\n",
                     run->header.id.c_str(), shiftText(run->header.shiftSeconds).c_str(),
                     localTime(run->header.when).c_str(), run->header.id.c_str());
}

std::unique_ptr<RunJournal> startJournal(std::FILE* err, JournalHeader header)
{
    int error = 0;
    auto journal = RunJournal::start(std::move(header), error);
    if (!journal)
        std::fprintf(err, "shotdate-cli: the run's journal cannot be written in %s (%s): this run cannot be undone\n",
                     printable(journalFolder()).c_str(), std::strerror(error));
    return journal;
}

void noteJournalBroken(std::FILE* err, const RunSummary& summary)
{
    if (summary.journalError != 0)
        std::fprintf(err,
                     "shotdate-cli: the run's journal could not be written to the end (%s): files rewritten after "
                     "that cannot be undone\n",
                     std::strerror(summary.journalError));
}

} // namespace shotdate::cli
