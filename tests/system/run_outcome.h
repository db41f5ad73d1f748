#pragma once

// A whole run as the seam tests drive it (every date one hour later), with
// each file's report gathered by input path, and the photos they run over;
// journaled runs and their undo.

#include "fixtures.h"
#include "run/batch_run.h"
#include "run/file_rewrite.h"
#include "run/run_journal.h"
#include "run/undo_run.h"
#include "table_row.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>

namespace shotdate {

struct RunOutcome {
    RunSummary summary;
    std::map<std::string, FileReport> reports; // by input path
};

inline const DateArguments kOneHourLater{std::int32_t(DateMode::Shift), {}, 3600};

// `afterListing` runs once the targets are listed, before the first file.
inline RunOutcome runOver(const std::string& input, std::optional<std::string> output = std::nullopt,
                          bool subfolders = false, const std::function<void()>& afterListing = {})
{
    RunSettings settings;
    settings.inputPath = input;
    settings.outputFolder = std::move(output);
    settings.subfolders = subfolders;
    settings.dates = kOneHourLater;
    RunOutcome outcome;
    RunCallbacks callbacks;
    callbacks.onTargets = [&](std::size_t) {
        if (afterListing)
            afterListing();
    };
    callbacks.onFile = [&](const FileReport& report) {
        EXPECT_EQ(outcome.reports.count(report.inPath), 0u) << "reported twice: " << report.inPath;
        outcome.reports[report.inPath] = report;
    };
    const std::atomic<bool> stop{false};
    outcome.summary = runBatch(settings, stop, callbacks);
    return outcome;
}

// Fixtures cost an exiftool run each; every test copies them from here.
inline const fixtures::Bytes& fixtureBytes(fixtures::Fixture fixture)
{
    static fixtures::TempFolder folder;
    static std::map<fixtures::Fixture, fixtures::Bytes> made;
    auto found = made.find(fixture);
    if (found == made.end()) {
        const fixtures::MadeFixture result = fixtures::makeFixture(fixture, folder.path());
        EXPECT_TRUE(result.error.empty()) << fixtures::fixtureFileName(fixture) << ": " << result.error;
        found =
            made.emplace(fixture, result.error.empty() ? fixtures::readBytes(result.path) : fixtures::Bytes{}).first;
    }
    return found->second;
}

// What an undisturbed run makes of `bytes`, worked out by the engine on a
// copy of its own; the tests only ask whether a file is this or the original.
inline fixtures::Bytes rewrittenBytes(const fixtures::Bytes& bytes, const std::string& name = "photo.jpg")
{
    fixtures::TempFolder side;
    fixtures::writeBytes(side / name, bytes);
    const FileRewrite result = rewriteFile(side / name, side / name, kOneHourLater);
    EXPECT_EQ(result.reason, Reason::Rewritten) << name << " cannot be rewritten even without a failure";
    return fixtures::readBytes(side / name);
}

// Runs over folder() journaled as the programs do, the journals in a state
// folder of the test's own.
class JournalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("XDG_STATE_HOME", (root_ / "state").c_str(), 1);
        std::filesystem::create_directories(folder());
    }
    void TearDown() override { ::unsetenv("XDG_STATE_HOME"); }
    // Not UTF-8: the journal must keep the folder's exact bytes for undo.
    std::string folder() const { return root_ / "in\xe9"; }

    // `afterStart` runs once the journal is open; `journaled` false: no journal.
    RunSummary journaledRun(std::vector<FileReport>* reports = nullptr, const std::function<void()>& afterStart = {},
                            bool journaled = true, const DateArguments& dates = kOneHourLater,
                            std::optional<std::string> output = {})
    {
        RunSettings settings;
        settings.inputPath = folder();
        settings.outputFolder = std::move(output);
        settings.dates = dates;
        int error = 0;
        const auto journal = journaled ? RunJournal::start(journalHeaderFor(settings), error) : nullptr;
        EXPECT_EQ(error, 0);
        if (afterStart)
            afterStart();
        RunCallbacks callbacks;
        callbacks.onFile = [&](const FileReport& report) {
            if (reports)
                reports->push_back(report);
        };
        const RunSummary summary = runBatch(settings, stop_, callbacks, journal.get());
        if (journal)
            journal->finish(summary.rewritten, summary.stopped);
        return summary;
    }

    // Undoes the latest run, itself journaled.
    RunSummary undoLatest()
    {
        const std::vector<JournalRun> runs = readAllJournals();
        const JournalRun* latest = latestUndoable(runs);
        EXPECT_NE(latest, nullptr);
        int error = 0;
        const auto journal = RunJournal::start(journalHeaderFor(undoSettings(*latest), latest->header.id), error);
        const RunSummary summary = runUndo(*latest, stop_, {}, journal.get());
        journal->finish(summary.rewritten, summary.stopped);
        return summary;
    }
    fixtures::TempFolder root_;
    std::atomic<bool> stop_{false};
};

} // namespace shotdate
