#pragma once

#include <QString>

// The number of days is kept as the text the user typed (a saved "12abc"
// comes back as "12abc"), and read the way the program has always read it:
// leading blanks skipped, an optional sign, then decimal digits up to the
// first non-digit, limited to the 32-bit range; 0 when no digit follows.
// The start check and the run both read it through this one function, so a
// text that passed the check means the same number in the run.
namespace days_text {

int intValue(const QString& text);

// 0 to 366, and a 0 only when the text is exactly "0".
bool accepted(const QString& text);

inline constexpr int kMaxDays = 366;

} // namespace days_text
