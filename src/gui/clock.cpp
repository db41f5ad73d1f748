#include "clock.h"

namespace window_clock {
namespace {
Source g_source = nullptr;
}

QDateTime now()
{
    if (g_source)
        return g_source();
    // Whole seconds: the pickers and the EXIF text have no finer unit.
    QDateTime t = QDateTime::currentDateTime();
    t.setTime(QTime(t.time().hour(), t.time().minute(), t.time().second()));
    return t;
}

void setSourceForTests(Source source)
{
    g_source = source;
}

} // namespace window_clock
