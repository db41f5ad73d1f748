// libFuzzer target over shotdate-cli's argument parser: any argument list
// gives a usage error with a message, or settings the core can run with.
#include "cli_args.h"

#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace shotdate::cli;
    // NUL bytes separate the arguments.
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += char(data[i]);
    }
    const ParseResult result = parseArguments(args);
    if (!result.ok && result.error.empty())
        std::abort();
    if (result.ok && result.options.action == Action::Run) {
        const auto& dates = result.options.settings.dates;
        if (result.options.settings.inputPath.empty())
            std::abort();
        if (dates.mode == 99 && (dates.shiftSeconds > shotdate::kMaxShiftSeconds
                                 || dates.shiftSeconds < -shotdate::kMaxShiftSeconds))
            std::abort();
    }
    return 0;
}
