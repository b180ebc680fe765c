#include "platform/clock.h"

#include <clocale>
#include <ctime>

void ClockUseEnvironmentTimeZone() {
  std::setlocale(LC_TIME, "C");
  tzset();
}

std::size_t FormatLocalTime(const char* format, char* buffer, std::size_t size) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return 0;
  return std::strftime(buffer, size, format, &local);
}

bool ReadLocalTime(LocalTimeParts* parts) {
  tzset();  // a changed time zone counts from the next call on
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return false;
  *parts = LocalTimeParts{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_wday,
                          local.tm_hour,        local.tm_min,     local.tm_sec,
                          static_cast<int>(local.tm_gmtoff / 60)};
  return true;
}
