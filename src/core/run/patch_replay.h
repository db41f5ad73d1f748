#pragma once

#include "run/run_journal.h"

#include <string>
#include <vector>

namespace shotdate {

// What a replay did with one record a run left unfinished.
struct ReplayOutcome {
    enum class Kind {
        Replayed, // the span held old and new bytes: it holds the new ones now, and the times are back
        NotSameFile, // the path leads to another file now (or none): nothing to do
        ForeignBytes, // the span holds bytes that are neither: left as it is
        Failed, // an I/O error: tried again at the next start
    };
    std::string path;
    Kind kind = Kind::Replayed;
    int error = 0; // errno behind Failed
};

// At the start of either program, before anything else: the records of
// patches written into files by a run of an earlier boot and never marked
// done may have been torn by power loss, sector by sector. Wherever such a
// span still holds only old and new bytes, the new bytes are written and the
// times put back. A run killed in this boot left every file old or new, and
// a live run holds its journal locked: neither is looked at. Never throws.
std::vector<ReplayOutcome> replayUnfinishedPatches(const std::string& folder = journalFolder(),
                                                   const std::string& bootId = currentBootId());

} // namespace shotdate
