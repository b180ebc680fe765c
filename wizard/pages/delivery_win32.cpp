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
  SendMessageA(static_cast<HWND>(window), message, 0, 0);
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

// CF_TEXT is text in the ANSI code page, which is the wizard's Shift_JIS.
int PutOnClipboard(HWND owner, const char* text) {
  if (!OpenClipboard(owner)) return -1;
  EmptyClipboard();
  std::size_t size = std::strlen(text) + 1;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  void* data = block != nullptr ? GlobalLock(block) : nullptr;
  bool handed = false;
  if (data != nullptr) {
    std::memcpy(data, text, size);
    GlobalUnlock(block);
    handed = SetClipboardData(CF_TEXT, block) != nullptr;
  }
  // The clipboard owns the block only once SetClipboardData took it.
  if (!handed && block != nullptr) GlobalFree(block);
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
