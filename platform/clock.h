// Local time.
#pragma once
#include <cstddef>

// Takes the time-formatting rules from the "C" locale and the time zone from
// the process environment.
void ClockUseEnvironmentTimeZone();

// Formats the current local time with strftime's format into the buffer.
// Returns the length written, 0 when it did not fit.
std::size_t FormatLocalTime(const char* format, char* buffer, std::size_t size);

// The current local time with its offset from UTC (east positive, daylight
// saving included), as the PC's time zone settings give it.
struct LocalTimeParts {
  int year;
  int month;    // 1 to 12
  int day;      // 1 to 31
  int weekday;  // 0 for Sunday
  int hour;
  int minute;
  int second;
  int utcOffsetMinutes;
};
bool ReadLocalTime(LocalTimeParts* parts);
