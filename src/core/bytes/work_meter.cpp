#include "bytes/work_meter.h"

namespace shotdate {

WorkMeter& workMeter()
{
    thread_local WorkMeter meter;
    return meter;
}

} // namespace shotdate
