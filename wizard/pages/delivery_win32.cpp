#include "wizard/pages/delivery_win32.h"

#include <windows.h>

#include <cstdio>
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

// The string that tells the user why, or 0 where string 8 says all there is.
int CauseTextId(MailOutcome cause) {
  switch (cause) {
    case MailOutcome::kUnreachable: return IDS_CAUSE_UNREACHABLE;
    case MailOutcome::kCertificateRejected: return IDS_CAUSE_CERTIFICATE;
    case MailOutcome::kLoginRefused: return IDS_CAUSE_LOGIN_REFUSED;
    case MailOutcome::kEncryptionUnavailable: return IDS_CAUSE_NO_ENCRYPTION;
    case MailOutcome::kNoLoginMethod: return IDS_CAUSE_NO_LOGIN_METHOD;
    case MailOutcome::kPasswordNotInClear: return IDS_CAUSE_CLEAR_PASSWORD;
    case MailOutcome::kSent:
    case MailOutcome::kFailed: break;
  }
  return 0;
}

// String 8 with the address, and the cause on a line of its own.
void ShowSendFailure(void* owner, const char* address, MailOutcome cause) {
  constexpr std::size_t kTextRoom = 256;
  constexpr std::size_t kMessageRoom = 512;
  char failed[kTextRoom];
  char reason[kTextRoom] = "";
  char caption[kTextRoom];
  int causeId = CauseTextId(cause);
  if (LoadTextInto(IDS_SEND_FAILED, failed, sizeof failed) != 0 ||
      LoadTextInto(IDS_WIZARD_TITLE, caption, sizeof caption) != 0 ||
      (causeId != 0 && LoadTextInto(causeId, reason, sizeof reason) != 0)) {
    return;
  }
  char message[kMessageRoom];
  int length = std::snprintf(message, sizeof message, failed, address);
  if (causeId != 0 && length >= 0 && static_cast<std::size_t>(length) < sizeof message) {
    std::snprintf(message + length, sizeof message - length, "\r\n%s", reason);
  }
  ShowTextBox(static_cast<HWND>(owner), message, caption, MB_OK);
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
