#include "mapper/log.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace {

constexpr const char* kMarkerFile = "c:vntr.txt";
constexpr const char* kNoteFile = "c:\\log.log";
constexpr const char* kLogFileName = "mapper.log";
constexpr const char* kProductKey = "SOFTWARE\\Tarvik\\Vantor\\5.5";
constexpr const char* kDebugValue = "mapper_debug";
constexpr std::size_t kEntrySize = 2304;

// The stream's own lock keeps entries whole; this one also keeps a thread
// that outlives the server from writing to a stream that CloseLog ended.
std::mutex logLock;
std::FILE* logStream = nullptr;

bool MarkerFileExists() {
  std::FILE* marker = std::fopen(DriveCPath(kMarkerFile).c_str(), "r");
  if (marker == nullptr) return false;
  std::fclose(marker);
  return true;
}

bool DebugValueExists() {
  RegistryKey key = nullptr;
  if (RegistryOpenKey(kProductKey, RegistryAccess::kQuery, &key) != kRegistryOk) return false;
  bool exists = RegistryQueryValue(key, kDebugValue) == kRegistryOk;
  RegistryCloseKey(key);
  return exists;
}

void WriteOpeningNote(const std::string& logPath, std::FILE* stream) {
  std::FILE* note = std::fopen(DriveCPath(kNoteFile).c_str(), "a");
  if (note == nullptr) return;
  std::fprintf(note, "log file name: %s, fp = %" PRIxPTR "\n", logPath.c_str(),
               reinterpret_cast<std::uintptr_t>(stream));
  std::fclose(note);
}

}  // namespace

bool DebugLogRequested() {
  return MarkerFileExists() || DebugValueExists();
}

void OpenLog() {
  std::string path = CurrentDirectoryFile(kLogFileName);
  std::FILE* stream = std::fopen(path.c_str(), "w");
  {
    std::lock_guard<std::mutex> guard(logLock);
    logStream = stream;
  }
  WriteOpeningNote(path, stream);
}

void CloseLog() {
  std::lock_guard<std::mutex> guard(logLock);
  if (logStream != nullptr) std::fclose(logStream);
  logStream = nullptr;
}

bool LogIsOpen() {
  std::lock_guard<std::mutex> guard(logLock);
  return logStream != nullptr;
}

void FormatLogTime(char* buffer, std::size_t size) {
  if (FormatLocalTime("%Y-%m-%d %H:%M:%S", buffer, size) == 0 && size > 0) buffer[0] = '\0';
}

void WriteLog(const char* format, ...) {
  if (!LogIsOpen()) return;
  char entry[kEntrySize];
  std::size_t length = 1;
  entry[0] = '[';
  FormatLogTime(entry + length, sizeof entry - length);
  length += std::char_traits<char>::length(entry + length);
  length += std::snprintf(entry + length, sizeof entry - length, "] ");
  va_list arguments;
  va_start(arguments, format);
  int text = std::vsnprintf(entry + length, sizeof entry - length, format, arguments);
  va_end(arguments);
  // A text too long for the entry is cut at the buffer's end.
  if (text > 0) length += std::min<std::size_t>(text, sizeof entry - length - 1);

  std::lock_guard<std::mutex> guard(logLock);
  if (logStream == nullptr) return;
  std::fwrite(entry, 1, length, logStream);
  std::fflush(logStream);
}
