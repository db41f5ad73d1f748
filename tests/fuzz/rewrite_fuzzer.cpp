// libFuzzer target over the in-memory rewrite: any bytes in, and either a
// reason to pass the file over, or a file that reads back with the new
// dates, the same size when patched in place, and nothing else changed.
#include "date_rewrite.h"
#include "exif_block.h"
#include "image_format.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace shotdate;
    const std::span<const std::uint8_t> input(data, size);
    const DateArguments args{99, {}, 86400 + 3600};
    const DateRewrite result = rewriteExifDates(input, args);
    if (result.reason != Reason::Rewritten) {
        if (!result.bytes.empty())
            std::abort();  // a file passed over must never come with new bytes
        return 0;
    }
    if (result.newDate.size() != 19)
        std::abort();
    // The rewritten file must itself be rewritable, giving the same answer
    // for a zero shift: its dates read back as what was written.
    const DateRewrite again = rewriteExifDates(result.bytes, DateArguments{99, {}, 0});
    if (again.reason != Reason::Rewritten || again.oldDate != result.newDate || again.newDate != result.newDate)
        std::abort();
    if (result.patchedInPlace) {
        if (result.bytes.size() != size)
            std::abort();
        // Every changed byte lies inside a patch.
        std::vector<bool> patched(size, false);
        for (const FilePatch& patch : result.patches)
            for (std::size_t i = 0; i < patch.bytes.size(); ++i)
                patched.at(patch.offset + i) = true;
        for (std::size_t i = 0; i < size; ++i)
            if (result.bytes[i] != data[i] && !patched[i])
                std::abort();
    }
    return 0;
}
