#include "platform/clock.h"

#include <clocale>
#include <ctime>

#include <windows.h>

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

namespace {

long long FileTimeUnits(const FILETIME& time) {
  return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                time.dwLowDateTime);
}

}  // namespace

bool ReadLocalTime(LocalTimeParts* parts) {
  FILETIME utcFile;
  GetSystemTimeAsFileTime(&utcFile);
  SYSTEMTIME utc;
  SYSTEMTIME local;
  FILETIME localFile;
  if (!FileTimeToSystemTime(&utcFile, &utc) || !SystemTimeToFileTime(&utc, &utcFile) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
      !SystemTimeToFileTime(&local, &localFile) || !FileTimeToSystemTime(&localFile, &local)) {
    return false;
  }
  // Both instants carry the same milliseconds, so the difference is whole minutes.
  constexpr long long kUnitsPerMinute = 60LL * 10000000LL;
  long long difference = FileTimeUnits(localFile) - FileTimeUnits(utcFile);
  *parts = LocalTimeParts{local.wYear, local.wMonth, local.wDay, local.wDayOfWeek, local.wHour,
                          local.wMinute, local.wSecond,
                          static_cast<int>(difference / kUnitsPerMinute)};
  return true;
}
