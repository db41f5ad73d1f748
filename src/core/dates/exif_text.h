#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace shotdate {

// A wall-clock date and time as a camera writes it: no time zone, no
// daylight saving. All date arithmetic happens on this type, so a shift of
// 86400 s is always the same clock time one day later.
using LocalSeconds = std::chrono::local_seconds;

// Parses "yyyy:MM:dd HH:mm:ss" strictly: 19 characters, a real calendar
// date, hours 00-23. Trailing NULs and blanks after the 19 characters are
// tolerated (writers pad the field). All zeros and blanks give nullopt.
std::optional<LocalSeconds> parseExifDate(std::string_view text);

// Writes "yyyy:MM:dd HH:mm:ss". Years outside 0001-9999 give nullopt.
std::optional<std::string> formatExifDate(LocalSeconds when);

// Builds a wall-clock value from its fields; nullopt when they do not form
// a real date and time.
std::optional<LocalSeconds> makeLocalSeconds(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                                             unsigned second);

} // namespace shotdate
