#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "wizard/mail/mail.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
constexpr char kToJis[] = "\x1b$B";
constexpr char kToAscii[] = "\x1b(B";
constexpr std::size_t kEscapeLength = 3;
constexpr char kWordStart[] = "=?ISO-2022-JP?B?";
constexpr char kWordEnd[] = "?=";

std::size_t Base64Length(std::size_t count) {
  return (count + 2) / 3 * 4;
}

void Base64Into(const unsigned char* bytes, std::size_t count, char* out) {
  std::size_t i = 0;
  for (; i + 3 <= count; i += 3) {
    std::uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    *out++ = kAlphabet[(group >> 18) & 63];
    *out++ = kAlphabet[(group >> 12) & 63];
    *out++ = kAlphabet[(group >> 6) & 63];
    *out++ = kAlphabet[group & 63];
  }
  std::size_t rest = count - i;
  if (rest == 0) return;
  std::uint32_t group = bytes[i] << 16;
  if (rest == 2) group |= bytes[i + 1] << 8;
  *out++ = kAlphabet[(group >> 18) & 63];
  *out++ = kAlphabet[(group >> 12) & 63];
  *out++ = rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
  *out++ = '=';
}

// Appends to the output when there is one, else only counts; the two passes
// of EncodeWords share this walk so that the size is exact.
struct Sink {
  char* out;
  std::size_t length;
  void Append(const char* text, std::size_t count) {
    if (out != nullptr) std::memcpy(out + length, text, count);
    length += count;
  }
};

// One encoded word for the JIS run: the run's bytes, closed by ESC ( B when
// the text ended before one.
bool AppendWord(Sink& sink, const char* run, std::size_t runLength, bool closed) {
  std::size_t rawLength = runLength + (closed ? 0 : kEscapeLength);
  if (sink.out == nullptr) {
    sink.length += sizeof kWordStart - 1 + Base64Length(rawLength) + sizeof kWordEnd - 1;
    return true;
  }
  auto* raw = static_cast<unsigned char*>(std::malloc(rawLength));
  if (raw == nullptr) return false;
  std::memcpy(raw, run, runLength);
  if (!closed) std::memcpy(raw + runLength, kToAscii, kEscapeLength);
  sink.Append(kWordStart, sizeof kWordStart - 1);
  Base64Into(raw, rawLength, sink.out + sink.length);
  sink.length += Base64Length(rawLength);
  sink.Append(kWordEnd, sizeof kWordEnd - 1);
  std::free(raw);
  return true;
}

// A run whose word cannot be made is left out; the rest is still copied.
void WalkRuns(const char* text, Sink& sink) {
  const char* p = text;
  for (;;) {
    const char* start = std::strstr(p, kToJis);
    if (start == nullptr) {
      sink.Append(p, std::strlen(p));
      return;
    }
    sink.Append(p, static_cast<std::size_t>(start - p));
    const char* end = std::strstr(start + kEscapeLength, kToAscii);
    bool closed = end != nullptr;
    const char* after = closed ? end + kEscapeLength : start + std::strlen(start);
    AppendWord(sink, start, static_cast<std::size_t>(after - start), closed);
    p = after;
  }
}

}  // namespace

char* Base64Encode(const unsigned char* bytes, size_t count) {
  if (bytes == nullptr || count == 0 || count > (SIZE_MAX - 3) / 4) return nullptr;
  auto* text = static_cast<char*>(std::calloc(Base64Length(count) + 1, 1));
  if (text == nullptr) return nullptr;
  Base64Into(bytes, count, text);
  return text;
}

char* EncodeWords(const char* jis) {
  if (jis == nullptr) return nullptr;
  Sink counter{nullptr, 0};
  WalkRuns(jis, counter);
  auto* text = static_cast<char*>(std::malloc(counter.length + 1));
  if (text == nullptr) return nullptr;
  Sink writer{text, 0};
  WalkRuns(jis, writer);
  text[writer.length] = '\0';
  return text;
}

char* EncodeHeaderText(const char* sjis) {
  char* jis = SjisToJis(sjis);
  if (jis == nullptr) return nullptr;
  char* words = EncodeWords(jis);
  std::free(jis);
  return words;
}
