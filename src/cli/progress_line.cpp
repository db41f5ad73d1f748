#include "progress_line.h"

namespace shotdate::cli {

std::string progressText(std::size_t done, std::size_t total, std::string_view fileName, std::size_t columns)
{
    std::string text = "[" + std::to_string(done) + "/" + std::to_string(total) + "] ";
    // Keep the last column free: some terminals wrap when it is written.
    const std::size_t limit = columns > 1 ? columns - 1 : 0;
    if (text.size() >= limit)
        return text.substr(0, limit);
    std::size_t used = text.size();
    std::size_t i = 0;
    while (i < fileName.size()) {
        const auto lead = static_cast<unsigned char>(fileName[i]);
        std::size_t length = 1;
        if (lead >= 0xf0)
            length = 4;
        else if (lead >= 0xe0)
            length = 3;
        else if (lead >= 0xc0)
            length = 2;
        const std::size_t width = lead < 0x80 ? 1 : 2;
        if (used + width > limit || i + length > fileName.size())
            break;
        for (std::size_t k = 0; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(fileName[i + k]);
            // A control character would move the cursor; show a blank.
            text += (byte < 0x20 || byte == 0x7f) ? ' ' : fileName[i + k];
        }
        used += width;
        i += length;
    }
    return text;
}

} // namespace shotdate::cli
