#pragma once

// Table rows print, and name their tests, by their `name`: a failure and
// ctest's list then say which row it was rather than dumping its bytes.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace shotdate {
namespace {

template <typename Row>
requires requires(const Row& row)
{
    std::string(row.name);
}
void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.name;
}

constexpr auto kRowName = [](const auto& info) { return std::string(info.param.name); };

} // namespace
} // namespace shotdate
