#include "wizard/mail/message.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/printf_format.h"
#include "wizard/mail/mail.h"
#include "wizard/mail/mail_text.h"

namespace {

constexpr char kMailerName[] = "vntr smtp client";
constexpr char kMailerVersion[] = "1.0";
constexpr char kCharset[] = "charset=iso-2022-jp";
// Header lines are made here; a longer one (a long encoded subject or
// recipient list) goes out whole from a buffer of its own, never folded.
constexpr std::size_t kHeaderLineRoom = 512;

PRINTF_FORMAT(3, 4)
int SendLine(MessagePieceSink sink, void* context, const char* format, ...) {
  char line[kHeaderLineRoom];
  va_list arguments;
  va_start(arguments, format);
  int length = std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (length < 0) return -1;
  if (static_cast<std::size_t>(length) < sizeof line) return sink(context, line);
  auto* longLine = static_cast<char*>(std::malloc(static_cast<std::size_t>(length) + 1));
  if (longLine == nullptr) return -1;
  va_start(arguments, format);
  std::vsnprintf(longLine, static_cast<std::size_t>(length) + 1, format, arguments);
  va_end(arguments);
  int result = sink(context, longLine);
  std::free(longLine);
  return result;
}

// "Name: value", left out when the value is empty.
int SendField(MessagePieceSink sink, void* context, const char* name, const char* value) {
  return IsEmptyText(value) ? 0 : SendLine(sink, context, "%s: %s\r\n", name, value);
}

int SendBody(MessagePieceSink sink, void* context, const char* body) {
  if (IsEmptyText(body)) return 0;
  if (sink(context, "\r\n") != 0) return -1;
  char* stuffed = DotStuff(body);
  if (stuffed == nullptr) return -1;
  int result = sink(context, stuffed);
  std::free(stuffed);
  return result;
}

}  // namespace

char* DotStuff(const char* body) {
  if (body == nullptr) return nullptr;
  std::size_t length = 0;
  std::size_t periods = 0;
  for (const char* p = body; *p != '\0'; ++p, ++length) {
    if (*p == '.' && (p == body || p[-1] == '\n')) ++periods;
  }
  auto* stuffed = static_cast<char*>(std::malloc(length + periods + 1));
  if (stuffed == nullptr) return nullptr;
  char* out = stuffed;
  for (const char* p = body; *p != '\0'; ++p) {
    if (*p == '.' && (p == body || p[-1] == '\n')) *out++ = '.';
    *out++ = *p;
  }
  *out = '\0';
  return stuffed;
}

int ComposeMessage(const MessageTexts& texts, MessagePieceSink sink, void* context) {
  char* date = FormatDateHeader();
  if (date == nullptr) return -1;
  int result = SendLine(sink, context, "%s\r\n", date);
  std::free(date);
  if (result != 0) return -1;
  if (SendLine(sink, context, "X-Mailer: %s Version %s\r\n", kMailerName, kMailerVersion) != 0 ||
      SendLine(sink, context, "MIME-Version: 1.0\r\n") != 0 ||
      SendLine(sink, context, "Content-Type: text/plain; %s\r\n", kCharset) != 0 ||
      SendField(sink, context, "From", texts.from) != 0 ||
      SendField(sink, context, "To", texts.to) != 0 ||
      SendField(sink, context, "cc", texts.cc) != 0 ||
      SendField(sink, context, "Subject", texts.subject) != 0 ||
      SendBody(sink, context, texts.body) != 0) {
    return -1;
  }
  return 0;
}
