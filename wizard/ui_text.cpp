#include "wizard/ui_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/shift_jis_win32.h"
#include "wizard/resources/resource.h"

#include "platform/wipe.h"

namespace {

constexpr UINT kShiftJis = 932;
constexpr std::size_t kTextRoom = 256;
constexpr std::size_t kMessageTextRoom = 255;
constexpr std::size_t kMessageCaptionRoom = 63;
constexpr std::size_t kMessageRoom = 512;
// Every text the pages read fits kMessageRoom bytes; a window's text is read
// with room for that many characters.
constexpr int kWindowTextRoom = static_cast<int>(kMessageRoom);

HINSTANCE textModule = nullptr;
char sharedText[kTextRoom];

// The bytes of the character that starts at text[at]: a double-byte
// character, an escape of a name, or one byte.
std::size_t CharacterLength(std::string_view text, std::size_t at) {
  std::size_t escape = RegistryEscapeLength(text.substr(at));
  if (escape > 0) return escape;
  bool pair = IsDBCSLeadByteEx(kShiftJis, static_cast<BYTE>(text[at])) && at + 1 < text.size();
  return pair ? 2 : 1;
}

// Whole characters of text into size bytes with a terminator.
void CopyCut(std::string_view text, char* out, std::size_t size) {
  if (size == 0) return;
  std::size_t kept = 0;
  while (kept < text.size()) {
    std::size_t length = CharacterLength(text, kept);
    if (kept + length >= size) break;
    kept += length;
  }
  std::memcpy(out, text.data(), kept);
  out[kept] = '\0';
}

// Conversions allocate; a failure leaves the text empty rather than ending
// the program inside a window procedure.
template <typename Convert>
auto Converted(Convert convert) -> decltype(convert()) {
  try {
    return convert();
  } catch (const std::exception&) {
    return {};
  }
}

std::wstring ItemWindowText(HWND dialog, int id) {
  wchar_t text[kWindowTextRoom + 1] = {};
  GetDlgItemTextW(dialog, id, text, kWindowTextRoom + 1);
  return Converted([&] { return std::wstring(text); });
}

LRESULT AddListText(HWND dialog, int id, const std::wstring& text) {
  LRESULT index =
      SendDlgItemMessageW(dialog, id, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  return index >= 0 ? index : -1;
}

// The string-table text as the windows hold it; empty when it is missing.
std::wstring LoadWideText(int id) {
  const wchar_t* text = nullptr;
  int length = LoadStringW(TextModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return {};
  return Converted([&] { return std::wstring(text, static_cast<std::size_t>(length)); });
}

// The character as the user sees it and as its code, such as "é (U+00E9)".
std::wstring DescribeCharacter(std::wstring_view text, std::size_t at) {
  char32_t character = CodePointAt(text, at);
  std::size_t units = character > 0xFFFF ? 2 : 1;
  wchar_t code[16];
  std::swprintf(code, sizeof code / sizeof code[0], L" (U+%04X)", static_cast<unsigned>(character));
  return std::wstring(text.substr(at, units)) + code;
}

// String IDS_NOT_MAILABLE names the character where it says %s.
void ShowNotMailable(HWND owner, std::wstring_view text, std::size_t at) {
  std::wstring message = LoadWideText(IDS_NOT_MAILABLE);
  std::wstring caption = LoadWideText(IDS_WIZARD_TITLE);
  std::size_t mark = message.find(L"%s");
  if (message.empty() || caption.empty() || mark == std::wstring::npos) return;
  message.replace(mark, 2, DescribeCharacter(text, at));
  MessageBoxW(owner, message.c_str(), caption.c_str(), MB_ICONWARNING | MB_OK);
}

}  // namespace

std::wstring ToWindowText(const char* sjis) {
  return Converted([&] { return WideFromShiftJis(sjis != nullptr ? sjis : ""); });
}

void FromWindowText(const wchar_t* windowText, char* sjis, std::size_t size) {
  std::string text = Converted([&] { return ShiftJisFromWide(windowText); });
  CopyCut(text, sjis, size);
}

void SetItemText(HWND dialog, int id, const char* sjis) {
  SetDlgItemTextW(dialog, id, ToWindowText(sjis).c_str());
}

void GetItemText(HWND dialog, int id, char* sjis, std::size_t size) {
  FromWindowText(ItemWindowText(dialog, id).c_str(), sjis, size);
}

bool ItemHasText(HWND dialog, int id) {
  return GetWindowTextLengthW(GetDlgItem(dialog, id)) > 0;
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
  SendDlgItemMessageW(dialog, id, EM_REPLACESEL, 0,
                      reinterpret_cast<LPARAM>(ToWindowText(sjis).c_str()));
}

void SetWindowTitle(HWND window, const char* sjis) {
  SetWindowTextW(window, ToWindowText(sjis).c_str());
}

int AddListLine(HWND dialog, int id, const char* sjis) {
  return static_cast<int>(AddListText(dialog, id, ToWindowText(sjis)));
}

int ShowTextBox(HWND owner, const char* sjis, const char* captionSjis, UINT style) {
  std::wstring caption = ToWindowText(captionSjis);
  return MessageBoxW(owner, ToWindowText(sjis).c_str(),
                     captionSjis != nullptr ? caption.c_str() : nullptr, style);
}

HWND FindTopWindowByTitle(const char* sjis) {
  return FindWindowW(nullptr, ToWindowText(sjis).c_str());
}

void SetItemName(HWND dialog, int id, const char* name) {
  std::wstring text = Converted([&] { return WideFromRegistryText(name); });
  SetDlgItemTextW(dialog, id, text.c_str());
}

void GetItemName(HWND dialog, int id, char* name, std::size_t size) {
  std::wstring text = ItemWindowText(dialog, id);
  CopyCut(Converted([&] { return RegistryTextFromWide(text); }), name, size);
}

int AddListName(HWND dialog, int id, const char* name) {
  std::wstring text = Converted([&] { return WideFromRegistryText(name); });
  return static_cast<int>(AddListText(dialog, id, text));
}

bool GetListName(HWND dialog, int id, int line, char* name, std::size_t size) {
  LRESULT length = SendDlgItemMessageW(dialog, id, LB_GETTEXTLEN, line, 0);
  if (length == LB_ERR || length >= kWindowTextRoom) return false;
  wchar_t text[kWindowTextRoom + 1] = {};
  SendDlgItemMessageW(dialog, id, LB_GETTEXT, line, reinterpret_cast<LPARAM>(text));
  std::string form = Converted([&] { return RegistryTextFromWide(text); });
  if (form.empty() || form.size() >= size) return false;
  std::memcpy(name, form.c_str(), form.size() + 1);
  return true;
}

bool ItemTextCanBeMailed(HWND dialog, int id) {
  std::wstring text = ItemWindowText(dialog, id);
  std::size_t at = FindNonShiftJis(text);
  if (at == std::wstring::npos) return true;
  ShowNotMailable(dialog, text, at);
  HWND item = GetDlgItem(dialog, id);
  SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
  std::size_t end = at + (CodePointAt(text, at) > 0xFFFF ? 2 : 1);
  SendMessageW(item, EM_SETSEL, at, end);
  return false;
}

void SetTextModule(HINSTANCE module) {
  textModule = module;
}

HINSTANCE TextModule() {
  return textModule != nullptr ? textModule : GetModuleHandleW(nullptr);
}

int LoadTextInto(int id, char* sjis, std::size_t size) {
  if (size == 0) return -1;
  sjis[0] = '\0';
  std::wstring text = LoadWideText(id);
  if (text.empty()) return -1;
  FromWindowText(text.c_str(), sjis, size);
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
