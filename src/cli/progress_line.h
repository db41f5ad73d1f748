#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace shotdate::cli {

// Lets a progress line be redrawn at most once per interval: a run over
// thousands of small files would otherwise spend its time writing to the
// terminal. The first update is always due.
class ProgressThrottle {
public:
    using Clock = std::chrono::steady_clock;

    explicit ProgressThrottle(Clock::duration interval = std::chrono::milliseconds(100))
        : interval_(interval)
    {
    }

    bool due(Clock::time_point now)
    {
        if (drawn_ && now - last_ < interval_)
            return false;
        drawn_ = true;
        last_ = now;
        return true;
    }

private:
    Clock::duration interval_;
    Clock::time_point last_{};
    bool drawn_ = false;
};

// "4.2 files/s, 1:20 left": the mean rate since the run began and the time
// the remaining files take at that rate. Empty in the first second, when
// one quick or slow file would make the figures jump, and with nothing done
// yet. The time left is left out when it is beyond a day: at such a rate it
// says nothing.
std::string paceText(std::size_t done, std::size_t total, std::chrono::steady_clock::duration elapsed);

// "[12/340] 4.2 files/s, 1:20 left IMG_0012.JPG" (`pace` as paceText
// gives it, possibly empty), cut to fit `columns` so that the line never
// wraps (a wrapped line cannot be overwritten with \r). Non-ASCII
// characters are counted as two columns, since Japanese names are mostly
// wide characters; a cut never splits a UTF-8 sequence.
std::string progressText(std::size_t done, std::size_t total, std::string_view fileName, std::size_t columns,
                         std::string_view pace = {});

} // namespace shotdate::cli
