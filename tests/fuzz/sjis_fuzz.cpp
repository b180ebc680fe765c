// Arbitrary bytes as a Shift_JIS text (up to the first NUL) through the
// conversion to ISO-2022-JP, the encoded words and the dot stuffing; the
// same bytes as an ISO-2022-JP text with escapes anywhere, unclosed ones
// included, through EncodeWords; and as raw bytes through base64.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "wizard/mail/mail.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

int Base64Value(char c) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const char* found = std::strchr(kAlphabet, c);
  return c != '\0' && found != nullptr ? static_cast<int>(found - kAlphabet) : -1;
}

// The base64 text decodes back to exactly the bytes.
void CheckBase64(const std::uint8_t* data, std::size_t size) {
  char* text = Base64Encode(data, size);
  if (size == 0) {
    Check(text == nullptr);
    return;
  }
  Check(text != nullptr && std::strlen(text) == (size + 2) / 3 * 4);
  std::string decoded;
  for (std::size_t i = 0; text[i] != '\0'; i += 4) {
    int v[4];
    for (int j = 0; j < 4; ++j) v[j] = text[i + j] == '=' ? 0 : Base64Value(text[i + j]);
    for (int j = 0; j < 4; ++j) Check(v[j] >= 0);
    unsigned group = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    decoded += static_cast<char>(group >> 16);
    if (text[i + 2] != '=') decoded += static_cast<char>((group >> 8) & 0xFF);
    if (text[i + 3] != '=') decoded += static_cast<char>(group & 0xFF);
  }
  Check(decoded == std::string(reinterpret_cast<const char*>(data), size));
  std::free(text);
}

// How many of each control byte but ESC the text holds.
std::array<std::size_t, 32> ControlBytes(const char* text) {
  std::array<std::size_t, 32> counts{};
  for (const char* p = text; *p != '\0'; ++p) {
    auto c = static_cast<unsigned char>(*p);
    if (c < 0x20 && c != 0x1b) ++counts[c];
  }
  return counts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::size_t length = std::strlen(text.c_str());

  char* jis = SjisToJis(text.c_str());
  Check(jis != nullptr && std::strlen(jis) <= 8 * length);
  // The converted text ends in ASCII mode (a NUL made inside a JIS run would
  // cut it there), unless the input carried escapes of its own.
  const char* lastToJis = nullptr;
  const char* lastToAscii = nullptr;
  for (const char* p = jis; (p = std::strstr(p, "\x1b$B")) != nullptr; p += 3) lastToJis = p;
  for (const char* p = jis; (p = std::strstr(p, "\x1b(B")) != nullptr; p += 3) lastToAscii = p;
  bool escapes = std::memchr(text.c_str(), 0x1b, length) != nullptr;
  Check(escapes || lastToJis == nullptr || (lastToAscii != nullptr && lastToAscii > lastToJis));
  // Every CR, LF and other control byte in the converted text was one in
  // the input: none is made out of a character.
  Check(ControlBytes(text.c_str()) == ControlBytes(jis));
  // A 7-bit message whatever the input held.
  for (const char* p = jis; *p != '\0'; ++p) Check(static_cast<unsigned char>(*p) < 0x80);
  char* words = EncodeWords(jis);
  Check(words != nullptr);
  std::free(words);
  std::free(jis);

  char* raw = EncodeWords(text.c_str());
  Check(raw != nullptr && std::strstr(raw, "\x1b$B") == nullptr);
  std::free(raw);

  char* stuffed = DotStuff(text.c_str());
  Check(stuffed != nullptr && std::strlen(stuffed) >= length);
  std::free(stuffed);

  CheckBase64(data, size);
  return 0;
}
