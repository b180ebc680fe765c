#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "wizard/pages/pages.h"

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_NOTIFY) return FALSE;
  switch (reinterpret_cast<NMHDR*>(lParam)->code) {
    case PSN_SETACTIVE:
      SetWizardButtons(page, PSWIZB_NEXT);
      MarkActivePage(page);
      return FALSE;
    case PSN_WIZNEXT:
      SetWizardButtons(page, PSWIZB_NEXT);
      return FALSE;
  }
  return FALSE;
}
