#include "wizard/pages/delivery_win32.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "wizard/core/delivery_run.h"
#include "wizard/core/link_message.h"
#include "wizard/core/wizard_session.h"
#include "wizard/resources/resource.h"
#include "wizard/ui_text.h"

static_assert(UM_RESETSENDBUTTON == WM_USER + 1, "choice page message");
static_assert(UM_SENDSTARTED == WM_USER + 3, "sending page message");
static_assert(UM_SENDFINISHED == WM_USER + 4, "sending page message");

namespace {

void SendToWindow(void* window, unsigned message) {
  SendMessageW(static_cast<HWND>(window), message, 0, 0);
}

bool WindowExists(void* window) {
  return window != nullptr && IsWindow(static_cast<HWND>(window));
}

void ShowSendFailure(void* owner, const char* address) {
  ShowStringMessage(static_cast<HWND>(owner), IDS_SEND_FAILED, IDS_WIZARD_TITLE, MB_OK, address);
}

// LoadTextInto keeps nothing between calls, so the run's thread may use it.
constexpr DeliveryContacts kWindowContacts = {LoadTextInto, SendToWindow, WindowExists,
                                              ShowSendFailure};

constexpr LCID kJapanese = MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), SORT_DEFAULT);

// One format's bytes into a block of its own for the open clipboard.
bool HandOver(UINT format, const void* bytes, std::size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  void* data = block != nullptr ? GlobalLock(block) : nullptr;
  bool handed = false;
  if (data != nullptr) {
    std::memcpy(data, bytes, size);
    GlobalUnlock(block);
    handed = SetClipboardData(format, block) != nullptr;
  }
  // The clipboard owns the block only once SetClipboardData took it.
  if (!handed && block != nullptr) GlobalFree(block);
  return handed;
}

// Windows would make the Unicode form of a CF_TEXT alone from the current
// input language, which is not Japanese on every PC: the text goes out in
// both forms, with the locale that says how CF_TEXT is to be read.
int PutOnClipboard(HWND owner, const char* text) {
  std::wstring wide = ToWindowText(text);
  if (!OpenClipboard(owner)) return -1;
  EmptyClipboard();
  bool handed = HandOver(CF_UNICODETEXT, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t)) &&
                HandOver(CF_TEXT, text, std::strlen(text) + 1) &&
                HandOver(CF_LOCALE, &kJapanese, sizeof kJapanese);
  CloseClipboard();
  return handed ? 0 : -1;
}

}  // namespace

int CopyLinkMessage(const char* typedHostName) {
  char* text = ComposeLinkMessage(WizardSession.messageText, typedHostName, LoadTextInto);
  if (text == nullptr) return -1;
  int result = PutOnClipboard(static_cast<HWND>(WizardSession.activePageWindow.load()), text);
  std::free(text);
  return result;
}

bool StartDeliveryRun() {
  return StartDeliveryRunWith(kWindowContacts);
}
