#include "run/sidecar_rewrite.h"

#include "io/held_folder.h"
#include "io/input_file.h"
#include "io/path_text.h"
#include "metadata/xmp_dates.h"
#include "rewrite/xmp_rewrite.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace shotdate {

namespace {

// A sidecar is written whole: the journal keeps the span between its first
// and last differing bytes (to the end of the longer text when its length
// changes), which is all an undo needs to put back.
std::vector<ChangedRange> changedRanges(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after)
{
    std::size_t first = 0;
    while (first < before.size() && first < after.size() && before[first] == after[first])
        ++first;
    std::size_t endBefore = before.size();
    std::size_t endAfter = after.size();
    if (endBefore == endAfter)
        while (endBefore > first && before[endBefore - 1] == after[endAfter - 1])
            --endBefore, --endAfter;
    if (first == endBefore && first == endAfter)
        return {};
    return {ChangedRange{first,
                         {before.begin() + std::ptrdiff_t(first), before.begin() + std::ptrdiff_t(endBefore)},
                         {after.begin() + std::ptrdiff_t(first), after.begin() + std::ptrdiff_t(endAfter)}}};
}

// Sidecars are a few kilobytes; anything far larger is no sidecar to read whole.
constexpr std::size_t kMaxSidecarBytes = 16u << 20;

// A sidecar name: `base` + ".xmp" in the case the folder has it in, and
// the name it takes beside the new photo.
struct Candidate {
    std::string name;
    std::string outName;
};

// Every spelling of ".xmp" after each of the two bases, or, when the
// folder's sidecar names are known, those of them that follow a base.
std::vector<Candidate> sidecarCandidates(const std::string& photo, const std::string& outPhoto,
                                         const std::optional<std::vector<std::string>>* folderSidecars)
{
    std::vector<std::pair<std::string, std::string>> bases{{photo, outPhoto}};
    const std::size_t dot = photo.rfind('.');
    const std::size_t outDot = outPhoto.rfind('.');
    if (dot != std::string::npos && dot > 0 && outDot != std::string::npos && outDot > 0)
        bases.insert(bases.begin(), {photo.substr(0, dot), outPhoto.substr(0, outDot)});
    std::vector<Candidate> candidates;
    if (folderSidecars && *folderSidecars) {
        const std::vector<std::string>& names = **folderSidecars; // sorted
        for (const auto& [base, outBase] : bases)
            for (auto it = std::lower_bound(names.begin(), names.end(), base);
                 it != names.end() && it->starts_with(base); ++it)
                if (it->size() == base.size() + 4)
                    candidates.push_back({*it, outBase + it->substr(base.size())});
        return candidates;
    }
    for (const auto& [base, outBase] : bases)
        for (int spelling = 0; spelling < 8; ++spelling) {
            std::string extension = ".xmp";
            for (int letter = 0; letter < 3; ++letter)
                if (spelling & (1 << letter))
                    extension[std::size_t(letter) + 1] = char(extension[std::size_t(letter) + 1] - 'a' + 'A');
            candidates.push_back({base + extension, outBase + extension});
        }
    return candidates;
}

void fail(FileRewrite& result, Reason reason, int error, PreparedReplacement& photo,
          std::vector<PreparedReplacement>& sidecars)
{
    result.reason = reason;
    result.error = error;
    result.changes.clear();
    result.sidecarChanges.clear();
    photo.abandon();
    for (PreparedReplacement& sidecar : sidecars)
        sidecar.abandon();
    sidecars.clear();
}

} // namespace

bool isSidecarName(const std::string& name)
{
    if (name.size() < 4)
        return false;
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension)
        c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    return extension == ".xmp";
}

void addSidecarRewrites(const FileLocation& in, const FileLocation& out, const DateArguments& args, bool dryRun,
                        SidecarRun& run, FileRewrite& result, PreparedReplacement& photo,
                        std::vector<PreparedReplacement>& sidecars)
{
    // Most folders hold no sidecar at all: one listing spares every photo
    // its sixteen lookups.
    std::optional<std::vector<std::string>>* folderSidecars = nullptr;
    if (const auto folder = identityOfDescriptor(in.folderFd)) {
        auto [entry, fresh] = run.folders.try_emplace(*folder);
        if (fresh) {
            FolderNames names = readFolderNamesAt(in.folderFd);
            if (names.opened && names.error == 0) {
                std::erase_if(names.names, [](const std::string& name) { return !isSidecarName(name); });
                std::sort(names.names.begin(), names.names.end());
                entry->second = std::move(names.names);
            }
        }
        folderSidecars = &entry->second;
    }
    std::set<FileIdentity>& done = run.done;
    const bool inPlace = out.folderFd == in.folderFd && out.name == in.name;
    std::set<FileIdentity> seen; // a case-blind file system answers every spelling
    for (const Candidate& candidate : sidecarCandidates(in.name, out.name, folderSidecars)) {
        if (candidate.name == in.name)
            continue;
        InputFile sidecar;
        bool opened = false;
        if (const int error = sidecar.openAt(in.folderFd, candidate.name, opened)) {
            if (!opened && (error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG))
                continue;
            return fail(result, Reason::Unreadable, error, photo, sidecars);
        }
        if (!sidecar.isRegular()) {
            result.notes.push_back(candidate.name + ": not a regular file, left alone");
            continue;
        }
        const struct stat before = sidecar.state();
        const FileIdentity identity{before.st_dev, before.st_ino};
        if (!seen.insert(identity).second || done.count(identity))
            continue;
        if (std::size_t(before.st_size) > kMaxSidecarBytes)
            return fail(result, Reason::TooLarge, 0, photo, sidecars);
        std::vector<std::uint8_t> bytes;
        sidecar.readBlocking();
        if (!sidecar.readInto(bytes, kMaxSidecarBytes + 1))
            return fail(result, Reason::Unreadable, errno, photo, sidecars);
        if (bytes.size() != std::size_t(before.st_size) || !sidecar.unchanged())
            return fail(result, Reason::ChangedWhileReading, 0, photo, sidecars);
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        const XmpDateEdit edit = changeXmpDates(text, args, XmpLength::Free);
        if (edit.outcome != XmpOutcome::Changed)
            return fail(result, Reason::DateOutOfRange, 0, photo, sidecars);
        for (const std::string& note : edit.notes)
            result.notes.push_back(note + " (" + candidate.name + ")");
        if (edit.changes.empty())
            continue;
        const auto changes = toDateChanges(edit.changes, " (" + candidate.outName + ")");
        result.changes.insert(result.changes.end(), changes.begin(), changes.end());
        done.insert(identity);
        if (dryRun)
            continue;
        const std::string outPath = joinPath(parentPath(out.path), candidate.outName);
        const std::span<const std::uint8_t> newBytes(reinterpret_cast<const std::uint8_t*>(edit.packet.data()),
                                                     edit.packet.size());
        PreparedReplacement prepared;
        const ReplaceError error =
            prepareReplacement(ReplaceTarget{out.folderFd, candidate.outName, outPath}, newBytes, before, prepared,
                               sidecar.fd(), inPlace ? AttributeRule::KeepEverything : AttributeRule::Copy);
        if (error) {
            const Reason reason = error.step == ReplaceStep::Owner ? Reason::CannotKeepOwner
                : error.step == ReplaceStep::ExtendedAttributes    ? Reason::CannotKeepAttributes
                                                                   : Reason::WriteFailed;
            return fail(result, reason, error.error, photo, sidecars);
        }
        if (inPlace)
            prepared.expectTarget(before);
        sidecars.push_back(std::move(prepared));
        JournalFile change;
        change.path = outPath;
        change.before = {std::uint64_t(before.st_dev), std::uint64_t(before.st_ino), std::uint64_t(before.st_size),
                         before.st_ctim.tv_sec, before.st_ctim.tv_nsec};
        change.oldSize = std::uint64_t(before.st_size);
        change.ranges = changedRanges(bytes, newBytes);
        result.sidecarChanges.push_back(std::move(change));
    }
}

} // namespace shotdate
