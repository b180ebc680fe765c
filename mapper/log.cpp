#include "mapper/log.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "mapper/settings_key.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace {

constexpr const char* kMarkerFile = "c:vntr.txt";
constexpr const char* kNoteFile = "c:\\log.log";
constexpr const char* kLogFileName = "mapper.log";
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
  long result = RegistryOpenInstalledKey(kMapperKey, kDebugValue, RegistryAccess::kQuery, &key);
  RegistryCloseKey(key);
  return result == kRegistryOk;
}

void WriteOpeningNote(const std::string& logPath, std::FILE* stream) {
  std::FILE* note = std::fopen(DriveCPath(kNoteFile).c_str(), "a");
  if (note == nullptr) return;
  std::fprintf(note, "log file name: %s, fp = %" PRIxPTR "\n", logPath.c_str(),
               reinterpret_cast<std::uintptr_t>(stream));
  std::fclose(note);
}

bool IsC1Control(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F;
}

bool WrittenAsIs(const unsigned char* text, std::size_t i, std::size_t length) {
  unsigned char byte = text[i];
  if (byte == '\t' || (byte == '\n' && i + 1 == length)) return true;
  if (byte < 0x20 || byte == 0x7F || byte == '\\' || IsC1Control(byte)) return false;
  // C2 before a C1 byte makes that control in UTF-8.
  return !(byte == 0xC2 && i + 1 < length && IsC1Control(text[i + 1]));
}

// Appends the text to the entry's room with every control byte but TAB (C0,
// DEL and C1, and C1 in its UTF-8 form), but the LF that closes the entry,
// written as \xNN, and the backslash too, so that a typed "\x0A" never reads
// as an escape: the peers' texts pass through here, and a raw LF or escape
// sequence from them could forge an entry or drive the terminal of whoever
// reads the log. Stops where the room ends.
std::size_t AppendEscaped(const char* text, std::size_t length, char* room, std::size_t size) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t used = 0;
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char byte = bytes[i];
    if (WrittenAsIs(bytes, i, length)) {
      if (used + 1 > size) break;
      room[used++] = static_cast<char>(byte);
      continue;
    }
    if (used + 4 > size) break;
    room[used++] = '\\';
    room[used++] = 'x';
    room[used++] = kHex[byte >> 4];
    room[used++] = kHex[byte & 15];
  }
  return used;
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

std::size_t WriteLog(const char* format, ...) {
  if (!LogIsOpen()) return 0;
  char entry[kEntrySize];
  std::size_t length = 1;
  entry[0] = '[';
  FormatLogTime(entry + length, sizeof entry - length);
  length += std::char_traits<char>::length(entry + length);
  length += std::snprintf(entry + length, sizeof entry - length, "] ");
  char text[kEntrySize];
  va_list arguments;
  va_start(arguments, format);
  int formatted = std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  // A text too long for the entry is cut at the buffer's end.
  if (formatted > 0) {
    std::size_t textLength = std::min<std::size_t>(formatted, sizeof text - 1);
    length += AppendEscaped(text, textLength, entry + length, sizeof entry - length - 1);
  }

  std::lock_guard<std::mutex> guard(logLock);
  if (logStream == nullptr) return 0;
  std::fwrite(entry, 1, length, logStream);
  std::fflush(logStream);
  return length;
}
