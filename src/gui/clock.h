#pragma once

#include <QDateTime>

// "Now" for the window (the 今日 button, the default fixed date), in one
// place so tests can fix it.
namespace window_clock {

QDateTime now();

using Source = QDateTime (*)();
// Tests only; nullptr restores the real clock.
void setSourceForTests(Source source);

} // namespace window_clock
