// The sending page: starts the delivery run the user agreed to, offers to
// stop it, and shows its outcome with the way to reach this PC.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstddef>
#include <cstdio>

#include "wizard/core/delivery_run.h"
#include "wizard/core/wizard_session.h"
#include "wizard/pages/delivery_win32.h"
#include "wizard/pages/pages.h"
#include "wizard/resources/resource.h"
#include "wizard/ui_text.h"

namespace {

constexpr std::size_t kTextRoom = 127;
// Shown as it is: the closing text names no particular host.
constexpr const char* kHostNamePlaceholder = "(hostname)";

// A stop asked for already (here, or with the choice page's Send) stands.
void EnableAbortWhileRunning(HWND page) {
  bool running = WizardSession.sendInProgress.load();
  EnableItem(page, IDC_ABORT_SEND, running && !WizardSession.sendAbortRequested.load());
}

void ShowClosingText(HWND page) {
  char head[kTextRoom];
  char tail[kTextRoom];
  LoadTextInto(IDS_ACCESS_HINT_HEAD, head, sizeof head);
  LoadTextInto(IDS_ACCESS_HINT_TAIL, tail, sizeof tail);
  char text[2 * kTextRoom + 16];
  std::snprintf(text, sizeof text, "%s%s%s", head, kHostNamePlaceholder, tail);
  SetItemText(page, IDC_CLOSING_HINT, text);
}

// A run that started earlier (from the choice page, or from here before the
// user went back) is still going: no second one starts, and the page follows
// that run instead, whose end message comes here as long as it is on screen.
void FollowRunningDelivery(HWND page) {
  SetItemFromTable(page, IDC_SEND_STATE, IDS_SENDING, kTextRoom);
  SetItemText(page, IDC_CLOSING_HINT, "");
  EnableAbortWhileRunning(page);
}

// The run enables the abort button with its start message; when no thread
// can start, its end message has shown the outcome before this returns.
void StartDelivery(HWND page) {
  SetItemFromTable(page, IDC_SEND_STATE, IDS_SENDING, kTextRoom);
  SetItemText(page, IDC_CLOSING_HINT, "");
  StartDeliveryRun();
}

void ShowNothingSent(HWND page) {
  SetItemFromTable(page, IDC_SEND_STATE, IDS_NOT_SENT, kTextRoom);
  SetItemText(page, IDC_CLOSING_HINT, "");
  EnableItem(page, IDC_ABORT_SEND, false);
}

void OnSetActive(HWND page) {
  SetWizardButtons(page, PSWIZB_BACK | PSWIZB_FINISH);
  MarkActivePage(page);
  WizardSession.sendReportPageId = kSendingPageId;
  if (WizardSession.sendInProgress.load()) {
    FollowRunningDelivery(page);
  } else if (WizardSession.sendConfirmed) {
    StartDelivery(page);
  } else {
    ShowNothingSent(page);
  }
}

void OnAbort(HWND page) {
  if (!WizardSession.sendInProgress.load()) return;
  WizardSession.sendAbortRequested = true;
  EnableItem(page, IDC_ABORT_SEND, false);
}

// An end message that arrives while a run is in progress belongs to an
// earlier run, which ended as the current one started.
void OnSendFinished(HWND page) {
  if (WizardSession.sendInProgress.load()) return;
  EnableItem(page, IDC_ABORT_SEND, false);
  if (WizardSession.allMailsSent.load()) {
    SetItemFromTable(page, IDC_SEND_STATE, IDS_SEND_COMPLETE, kTextRoom);
    ShowClosingText(page);
  } else {
    SetItemFromTable(page, IDC_SEND_STATE, IDS_SOME_SENDS_FAILED, kTextRoom);
  }
}

}  // namespace

INT_PTR CALLBACK SendingPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_ABORT_SEND) OnAbort(page);
      return TRUE;
    case WM_NOTIFY:
      if (reinterpret_cast<NMHDR*>(lParam)->code == PSN_SETACTIVE) OnSetActive(page);
      return FALSE;
    case UM_SENDSTARTED:
      EnableAbortWhileRunning(page);
      return TRUE;
    case UM_SENDFINISHED:
      OnSendFinished(page);
      return TRUE;
  }
  return FALSE;
}
