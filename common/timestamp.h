// Task and message keys are named after a local time: "%4d%2d%2d%2d%2d%2d" of year,
// month, day, hour, minute and second, each field padded with spaces (not zeros), so
// that the 14-character names sort in time order ("2000 7 4 9 5 3").
#pragma once

#include <cstddef>
#include <string>

#include "common/datetime.h"

namespace quillon {

// Longest key name a reader accepts (a 16-byte buffer with its NUL).
constexpr size_t kTimestampNameBufferSize = 16;

std::string TimestampKeyName(const DateTime &dt);

// Parses a name written by TimestampKeyName back into a date-time (seconds precision).
// False for any text that is not exactly such a name of a valid date-time.
bool ParseTimestampKeyName(const std::string &name, DateTime *dt);

// The name of the second after `name`, for finding a free name that still sorts in time
// order; false when `name` is not a timestamp name.
bool NextTimestampKeyName(const std::string &name, std::string *next);

} // namespace quillon
