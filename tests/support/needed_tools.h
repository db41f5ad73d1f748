#pragma once

// Outside programs the tests make fixtures with or read results back
// through. A test that needs one which is not installed skips, saying
// which and where it comes from, rather than failing.

#include <string>
#include <vector>

namespace shotdate::fixtures {

// The names of the tools not found on PATH, comma separated; "" when all are there.
std::string missingTools(const std::vector<std::string>& names);

// Why a test needing `names` cannot run, with the Debian packages of the
// missing ones; "" when all are there.
std::string missingToolsReason(const std::vector<std::string>& names);

} // namespace shotdate::fixtures

// In a GoogleTest test or SetUp: SKIP_WITHOUT_TOOLS({"convert", "exiftool"}).
#define SKIP_WITHOUT_TOOLS(...)                                                                         \
    do {                                                                                                \
        if (const std::string reason = ::shotdate::fixtures::missingToolsReason(__VA_ARGS__);          \
            !reason.empty())                                                                            \
            GTEST_SKIP() << reason;                                                                     \
    } while (false)
