#include "platform/clock.h"

#include <clocale>
#include <ctime>

void ClockUseEnvironmentTimeZone() {
  std::setlocale(LC_TIME, "C");
  _tzset();
}

std::size_t FormatLocalTime(const char* format, char* buffer, std::size_t size) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_s(&local, &now) != 0) return 0;
  return std::strftime(buffer, size, format, &local);
}
