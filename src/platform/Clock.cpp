#include "platform/Clock.h"

namespace lumarient {

SteadyClock &SteadyClock::instance()
{
    static SteadyClock clock;
    return clock;
}

} // namespace lumarient
