#pragma once

#include <string>
#include <string_view>

namespace shotdate {

// Path operations on plain strings, with the behaviour a user expects from
// the text they see: trailing and doubled slashes do not change the meaning.
// (std::filesystem::path("x/").filename() is empty, which is why these exist.)

// Joins with exactly one separator between the two parts.
std::string joinPath(std::string_view base, std::string_view component);

// The last component: "a/b/c.jpg" -> "c.jpg", "a/b/" -> "b", "/" -> "/".
std::string lastPathComponent(std::string_view path);

// The folder part: "a/b/c.jpg" -> "a/b", "c.jpg" -> ".", "/c" -> "/".
std::string parentPath(std::string_view path);

} // namespace shotdate
