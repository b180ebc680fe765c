// The choice, mail settings and sending pages as the sheet shows them until
// their own behaviour is built: each takes its place as the page on screen
// and offers the sheet's buttons.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "wizard/pages/pages.h"

namespace {

INT_PTR ShowPage(HWND page, UINT message, LPARAM lParam, DWORD buttons) {
  if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == PSN_SETACTIVE) {
    SetWizardButtons(page, buttons);
    MarkActivePage(page);
  }
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

}  // namespace

INT_PTR CALLBACK ChoicePageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  return ShowPage(page, message, lParam, PSWIZB_BACK | PSWIZB_NEXT);
}

INT_PTR CALLBACK MailSettingsPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  return ShowPage(page, message, lParam, PSWIZB_BACK | PSWIZB_NEXT);
}

INT_PTR CALLBACK SendingPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  return ShowPage(page, message, lParam, PSWIZB_BACK | PSWIZB_FINISH);
}
