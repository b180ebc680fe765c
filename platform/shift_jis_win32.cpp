#include "platform/shift_jis_win32.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr UINT kShiftJis = 932;
constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr std::size_t kMaxHexDigits = 6;
constexpr std::string_view kEscapeStart = "&#x";

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The UTF-16 units of the character that starts at index.
std::wstring_view CharacterAt(std::wstring_view wide, std::size_t index) {
  bool pair = IsHighSurrogate(wide[index]) && index + 1 < wide.size() &&
              IsLowSurrogate(wide[index + 1]);
  return wide.substr(index, pair ? 2 : 1);
}

char32_t CodePoint(std::wstring_view character) {
  if (character.size() < 2) return character[0];
  return 0x10000 + ((character[0] - 0xD800) << 10) + (character[1] - 0xDC00);
}

void AppendCodePoint(char32_t codePoint, std::wstring* wide) {
  if (codePoint < 0x10000) {
    wide->push_back(static_cast<wchar_t>(codePoint));
    return;
  }
  codePoint -= 0x10000;
  wide->push_back(static_cast<wchar_t>(0xD800 + (codePoint >> 10)));
  wide->push_back(static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF)));
}

// Best-fit mappings (é as e) are refused: a character either travels as
// itself or not at all.
bool AppendShiftJis(std::wstring_view character, std::string* sjis) {
  char bytes[8];
  BOOL usedDefault = FALSE;
  int length = WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, character.data(),
                                   static_cast<int>(character.size()), bytes, sizeof bytes, "?",
                                   &usedDefault);
  if (length <= 0 || usedDefault) return false;
  sjis->append(bytes, static_cast<std::size_t>(length));
  return true;
}

void AppendEscape(char32_t codePoint, std::string* text) {
  char escape[16];
  std::snprintf(escape, sizeof escape, "&#x%X;", static_cast<unsigned>(codePoint));
  text->append(escape);
}

// The code point of an escape at the start of text and the escape's length;
// 0 when text does not start with one.
std::size_t ParseEscape(std::string_view text, char32_t* codePoint) {
  if (text.substr(0, kEscapeStart.size()) != kEscapeStart) return 0;
  char32_t value = 0;
  std::size_t at = kEscapeStart.size();
  for (; at < text.size() && at - kEscapeStart.size() < kMaxHexDigits; ++at) {
    char c = text[at];
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                       : -1;
    if (digit < 0) break;
    value = value * 16 + static_cast<char32_t>(digit);
  }
  bool valid = at > kEscapeStart.size() && at < text.size() && text[at] == ';' &&
               value <= kLastCodePoint && (value < 0xD800 || value > 0xDFFF);
  if (!valid) return 0;
  *codePoint = value;
  return at + 1;
}

}  // namespace

std::wstring WideFromShiftJis(std::string_view sjis) {
  if (sjis.empty()) return {};
  int size = static_cast<int>(sjis.size());
  int length = MultiByteToWideChar(kShiftJis, 0, sjis.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(kShiftJis, 0, sjis.data(), size, wide.data(), length);
  return wide;
}

std::string ShiftJisFromWide(std::wstring_view wide) {
  std::string sjis;
  for (std::size_t at = 0; at < wide.size();) {
    std::wstring_view character = CharacterAt(wide, at);
    at += character.size();
    if (!AppendShiftJis(character, &sjis)) sjis.push_back('?');
  }
  return sjis;
}

std::size_t FindNonShiftJis(std::wstring_view wide) {
  std::string ignored;
  for (std::size_t at = 0; at < wide.size();) {
    std::wstring_view character = CharacterAt(wide, at);
    if (!AppendShiftJis(character, &ignored)) return at;
    at += character.size();
  }
  return std::wstring_view::npos;
}

char32_t CodePointAt(std::wstring_view wide, std::size_t index) {
  return CodePoint(CharacterAt(wide, index));
}

std::string RegistryTextFromWide(std::wstring_view wide) {
  std::string text;
  for (std::size_t at = 0; at < wide.size();) {
    std::wstring_view character = CharacterAt(wide, at);
    bool escapeLike = wide.substr(at, kEscapeStart.size()) == L"&#x";
    at += character.size();
    if (escapeLike || !AppendShiftJis(character, &text)) AppendEscape(CodePoint(character), &text);
  }
  return text;
}

std::size_t RegistryEscapeLength(std::string_view text) {
  char32_t ignored = 0;
  return ParseEscape(text, &ignored);
}

// '&' is never the second byte of a double-byte character, so every '&' of
// the Shift_JIS text is a character of its own.
std::wstring WideFromRegistryText(std::string_view text) {
  std::wstring wide;
  std::size_t runStart = 0;
  for (std::size_t at = text.find('&'); at != std::string_view::npos; at = text.find('&', at)) {
    char32_t codePoint = 0;
    std::size_t length = ParseEscape(text.substr(at), &codePoint);
    if (length == 0) {
      ++at;
      continue;
    }
    wide += WideFromShiftJis(text.substr(runStart, at - runStart));
    AppendCodePoint(codePoint, &wide);
    at += length;
    runStart = at;
  }
  wide += WideFromShiftJis(text.substr(runStart));
  return wide;
}
