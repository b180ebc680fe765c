#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <vector>

#include "wizard/core/wizard_session.h"
#include "wizard/pages/pages.h"
#include "wizard/resources/resource.h"
#include "wizard/ui_text.h"

void SetWizardButtons(HWND page, DWORD buttons) {
  PostMessageW(GetParent(page), PSM_SETWIZBUTTONS, 0, buttons);
}

INT_PTR StayOnPage(HWND page) {
  SetWindowLongPtrW(page, DWLP_MSGRESULT, -1);
  return TRUE;
}

INT_PTR EndDialogOnClose(HWND dialog, WPARAM command) {
  if ((command & 0xFFF0) != SC_CLOSE) return FALSE;
  EndDialog(dialog, 0);
  return TRUE;
}

void MarkActivePage(HWND page) {
  WizardSession.activePageWindow = page;
}

bool IsPageOnScreen(HWND page) {
  return WizardSession.activePageWindow.load() == page;
}

void SetItemFromTable(HWND page, int id, int textId, std::size_t room) {
  std::vector<char> text(room);
  LoadTextInto(textId, text.data(), text.size());
  SetItemText(page, id, text.data());
}

void EnableItem(HWND page, int id, bool enabled) {
  EnableWindow(GetDlgItem(page, id), enabled ? TRUE : FALSE);
}

int AskToSend(HWND page) {
  constexpr std::size_t kTextRoom = 63;
  char text[kTextRoom];
  char caption[kTextRoom];
  LoadTextInto(IDS_CONFIRM_SEND, text, sizeof text);
  LoadTextInto(IDS_WIZARD_TITLE, caption, sizeof caption);
  return ShowTextBox(page, text, caption, MB_ICONWARNING | MB_YESNO);
}

void ShowSettingNotKept(HWND page) {
  ShowStringMessage(page, IDS_SETTING_NOT_KEPT, IDS_WIZARD_TITLE, MB_OK | MB_ICONWARNING);
}
