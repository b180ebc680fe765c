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
