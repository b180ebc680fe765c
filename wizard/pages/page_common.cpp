#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "wizard/pages/pages.h"
#include "wizard/wizard_session.h"

void SetWizardButtons(HWND page, DWORD buttons) {
  PostMessageA(GetParent(page), PSM_SETWIZBUTTONS, 0, buttons);
}

void MarkActivePage(HWND page) {
  WizardSession.activePageWindow = page;
}
