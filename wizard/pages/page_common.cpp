#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <vector>

#include "wizard/pages/pages.h"
#include "wizard/resources/resource.h"
#include "wizard/ui_text.h"
#include "wizard/wizard_session.h"

void SetWizardButtons(HWND page, DWORD buttons) {
  PostMessageA(GetParent(page), PSM_SETWIZBUTTONS, 0, buttons);
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

bool ItemHasText(HWND page, int id) {
  return GetWindowTextLengthA(GetDlgItem(page, id)) > 0;
}

int AskToSend(HWND page) {
  constexpr std::size_t kTextRoom = 63;
  char text[kTextRoom];
  char caption[kTextRoom];
  LoadTextInto(IDS_CONFIRM_SEND, text, sizeof text);
  LoadTextInto(IDS_WIZARD_TITLE, caption, sizeof caption);
  return ShowTextBox(page, text, caption, MB_ICONWARNING | MB_YESNO);
}
