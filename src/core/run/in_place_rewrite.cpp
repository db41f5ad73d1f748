#include "run/in_place_rewrite.h"

#include "rewrite/patch_read_back.h"

namespace shotdate {

PatchChoice preparePatch(int folderFd, const std::string& name, const struct stat& before,
                         std::span<const std::uint8_t> head, std::span<const FilePatch> patches,
                         const ContainerFormat& format, const std::optional<std::string>& original,
                         const std::optional<std::string>& digitized, const struct stat& times, PreparedPatch& out)
{
    auto span = spanOfPatches(patches, head, std::uint64_t(before.st_size));
    if (!span)
        return PatchChoice::Rename;
    switch (patchReadsBack(withPatches(head, patches), format, original, digitized)) {
    case ReadBack::Holds: break;
    case ReadBack::Differs: return PatchChoice::VerifyFailed;
    case ReadBack::Unreadable: return PatchChoice::Rename; // the copy is checked as it always was
    }
    if (!out.file.open(folderFd, name, before))
        return PatchChoice::Rename;
    out.span = std::move(*span);
    out.times[0] = times.st_atim;
    out.times[1] = times.st_mtim;
    return PatchChoice::Patch;
}

InPlaceRecord inPlaceRecordOf(const PreparedPatch& patch, const std::string& bootId)
{
    return {bootId,
            patch.span.offset,
            patch.span.oldBytes,
            patch.span.newBytes,
            patch.times[0].tv_sec,
            patch.times[0].tv_nsec,
            patch.times[1].tv_sec,
            patch.times[1].tv_nsec};
}

} // namespace shotdate
