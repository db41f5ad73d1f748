#include "run/sidecar_rewrite.h"

#include "io/input_file.h"
#include "io/path_text.h"
#include "metadata/xmp_dates.h"
#include "rewrite/xmp_rewrite.h"

#include <cerrno>
#include <string_view>

namespace shotdate {

namespace {

// Sidecars are a few kilobytes; anything far larger is no sidecar to read whole.
constexpr std::size_t kMaxSidecarBytes = 16u << 20;

// A sidecar name: `base` + ".xmp" in the case the folder has it in, and
// the name it takes beside the new photo.
struct Candidate {
    std::string name;
    std::string outName;
};

// Every spelling of ".xmp" after each of the two bases: eight lookups a
// base, cheaper than listing the folder again.
std::vector<Candidate> sidecarCandidates(const std::string& photo, const std::string& outPhoto)
{
    std::vector<std::pair<std::string, std::string>> bases{{photo, outPhoto}};
    const std::size_t dot = photo.rfind('.');
    const std::size_t outDot = outPhoto.rfind('.');
    if (dot != std::string::npos && dot > 0 && outDot != std::string::npos && outDot > 0)
        bases.insert(bases.begin(), {photo.substr(0, dot), outPhoto.substr(0, outDot)});
    std::vector<Candidate> candidates;
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
                        std::set<FileIdentity>& done, FileRewrite& result, PreparedReplacement& photo,
                        std::vector<PreparedReplacement>& sidecars)
{
    const bool inPlace = out.folderFd == in.folderFd && out.name == in.name;
    std::set<FileIdentity> seen; // a case-blind file system answers every spelling
    for (const Candidate& candidate : sidecarCandidates(in.name, out.name)) {
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
    }
}

} // namespace shotdate
