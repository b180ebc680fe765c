#include "wizard/ui_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/wipe.h"

namespace {

constexpr std::size_t kTextRoom = 256;
constexpr std::size_t kMessageTextRoom = 255;
constexpr std::size_t kMessageCaptionRoom = 63;
constexpr std::size_t kMessageRoom = 512;

HINSTANCE textModule = nullptr;
char sharedText[kTextRoom];

}  // namespace

// The windows run in the ANSI code page of a Japanese system: the Shift_JIS
// bytes are their text as they are.
const char* ToWindowText(const char* sjis) {
  return sjis;
}

// Cut to size, never between the two bytes of a double-byte character.
void FromWindowText(const char* windowText, char* sjis, std::size_t size) {
  if (size == 0) return;
  std::size_t kept = 0;
  while (windowText[kept] != '\0') {
    std::size_t width = IsDBCSLeadByte(static_cast<BYTE>(windowText[kept])) &&
                                windowText[kept + 1] != '\0'
                            ? 2
                            : 1;
    if (kept + width >= size) break;
    kept += width;
  }
  std::memcpy(sjis, windowText, kept);
  sjis[kept] = '\0';
}

void SetItemText(HWND dialog, int id, const char* sjis) {
  SetDlgItemTextA(dialog, id, ToWindowText(sjis));
}

void GetItemText(HWND dialog, int id, char* sjis, std::size_t size) {
  char windowText[kMessageRoom * 2] = {};
  GetDlgItemTextA(dialog, id, windowText, sizeof windowText);
  FromWindowText(windowText, sjis, size);
}

void GetItemTextAsUtf8(HWND dialog, int id, char* utf8, std::size_t size) {
  if (size == 0) return;
  wchar_t wide[kMessageRoom] = {};
  GetDlgItemTextW(dialog, id, wide, kMessageRoom);
  int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, static_cast<int>(size), nullptr,
                                   nullptr);
  // A text that does not fit is refused whole rather than cut inside a
  // character.
  if (length <= 0) utf8[0] = '\0';
  WipeBytes(wide, sizeof wide);
}

void ReplaceItemSelection(HWND dialog, int id, const char* sjis) {
  SendDlgItemMessageA(dialog, id, EM_REPLACESEL, 0,
                      reinterpret_cast<LPARAM>(ToWindowText(sjis)));
}

int ShowTextBox(HWND owner, const char* sjis, const char* captionSjis, UINT style) {
  return MessageBoxA(owner, ToWindowText(sjis), ToWindowText(captionSjis), style);
}

HWND FindTopWindowByTitle(const char* sjis) {
  return FindWindowA(nullptr, ToWindowText(sjis));
}

void SetTextModule(HINSTANCE module) {
  textModule = module;
}

HINSTANCE TextModule() {
  return textModule != nullptr ? textModule : GetModuleHandleA(nullptr);
}

int LoadTextInto(int id, char* sjis, std::size_t size) {
  if (size == 0) return -1;
  sjis[0] = '\0';
  char windowText[kTextRoom * 2] = {};
  if (LoadStringA(TextModule(), id, windowText, sizeof windowText) <= 0) return -1;
  FromWindowText(windowText, sjis, size);
  return 0;
}

const char* LoadText(int id) {
  LoadTextInto(id, sharedText, sizeof sharedText);
  return sharedText;
}

int ShowStringMessage(HWND owner, int textId, int captionId, UINT style, ...) {
  char text[kMessageTextRoom];
  char caption[kMessageCaptionRoom];
  if (LoadTextInto(textId, text, sizeof text) != 0) return 0;
  if (LoadTextInto(captionId, caption, sizeof caption) != 0) return 0;
  char message[kMessageRoom];
  va_list arguments;
  va_start(arguments, style);
  std::vsnprintf(message, sizeof message, text, arguments);
  va_end(arguments);
  return ShowTextBox(owner, message, caption, style);
}
