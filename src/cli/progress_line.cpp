#include "progress_line.h"

#include <cmath>
#include <cstdio>

namespace shotdate::cli {

namespace {

// "0:07", "12:30", "3:04:05"
std::string clockText(long long seconds)
{
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

} // namespace

std::string paceText(std::size_t done, std::size_t total, std::chrono::steady_clock::duration elapsed)
{
    const double seconds = std::chrono::duration<double>(elapsed).count();
    if (done == 0 || seconds < 1.0)
        return {};
    const double rate = double(done) / seconds;
    char text[64] = "<0.01 files/s";
    // Two significant figures or so: more would flicker at every redraw.
    if (rate >= 0.01)
        std::snprintf(text, sizeof text, rate >= 10 ? "%.0f files/s" : rate >= 0.1 ? "%.1f files/s" : "%.2f files/s",
                      rate);
    std::string pace = text;
    const double left = double(total > done ? total - done : 0) / rate;
    if (left < 86400)
        pace += ", " + clockText(std::llround(std::ceil(left))) + " left";
    return pace;
}

std::string progressText(std::size_t done, std::size_t total, std::string_view fileName, std::size_t columns,
                         std::string_view pace)
{
    std::string text = "[" + std::to_string(done) + "/" + std::to_string(total) + "] ";
    // Keep the last column free: some terminals wrap when it is written.
    const std::size_t limit = columns > 1 ? columns - 1 : 0;
    // On a narrow terminal the file name matters more than the pace.
    constexpr std::size_t kNameRoom = 12;
    if (!pace.empty() && text.size() + pace.size() + 1 + kNameRoom <= limit)
        text += std::string(pace) + " ";
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
