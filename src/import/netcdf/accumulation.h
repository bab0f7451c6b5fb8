// What a sub-daily precipitation value holds: said by --accumulation, or
// by the files' own time bounds.
#pragma once

namespace import {

// What a sub-daily precipitation value holds (--accumulation).
enum class accumulation {
    unsaid, // as the time bounds say (from 00 UTC), else a day's steps by their times
    step,   // the amount over the step ending at its time (ERA5's hourly tp)
    day,    // the amount since 00 UTC, a day's total at 24:00 (ERA5-Land's hourly tp)
};

} // namespace import
