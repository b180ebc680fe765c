#include "wizard/mail/date_header.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wizard/mail/mail.h"

namespace {

// Mail dates are English whatever the PC's language.
constexpr const char* kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[13] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::size_t kDateWorkRoom = 100;

}  // namespace

std::size_t FormatDateLine(const LocalTimeParts& time, char* buffer, std::size_t size) {
  if (time.weekday < 0 || time.weekday > 6 || time.month < 1 || time.month > 12) return 0;
  int offset = time.utcOffsetMinutes;
  char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  int written = std::snprintf(buffer, size, "Date: %s, %d %s %04d %02d:%02d:%02d %c%02d%02d",
                              kDayNames[time.weekday], time.day, kMonthNames[time.month],
                              time.year, time.hour, time.minute, time.second, sign,
                              offset / 60 % 100, offset % 60);
  if (written < 0 || static_cast<std::size_t>(written) >= size) return 0;
  return static_cast<std::size_t>(written);
}

char* FormatDateHeader(void) {
  LocalTimeParts now{};
  if (!ReadLocalTime(&now)) return nullptr;
  char work[kDateWorkRoom];
  std::size_t length = FormatDateLine(now, work, sizeof work);
  if (length == 0) return nullptr;
  auto* line = static_cast<char*>(std::malloc(length + 1));
  if (line == nullptr) return nullptr;
  std::memcpy(line, work, length + 1);
  return line;
}
