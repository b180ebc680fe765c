// Local time.
#pragma once
#include <cstddef>

// Takes the time-formatting rules from the "C" locale and the time zone from
// the process environment.
void ClockUseEnvironmentTimeZone();

// Formats the current local time with strftime's format into the buffer.
// Returns the length written, 0 when it did not fit.
std::size_t FormatLocalTime(const char* format, char* buffer, std::size_t size);
