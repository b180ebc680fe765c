// The host name choice page: the detected hosts, a host name of the user's
// own, the message text, and two shortcuts, Send (a delivery run right away,
// or a stop request while one goes on) and Copy (the same text on the
// clipboard).
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstddef>
#include <cstdio>

#include "wizard/core/delivery_run.h"
#include "wizard/core/settings_store.h"
#include "wizard/core/wizard_session.h"
#include "wizard/discovery/host_table.h"
#include "wizard/pages/delivery_win32.h"
#include "wizard/pages/pages.h"
#include "wizard/resources/resource.h"
#include "wizard/ui_text.h"

namespace {

constexpr std::size_t kTextRoom = 63;
constexpr std::size_t kCandidateLineRoom = 256;
constexpr int kCandidateListExtent = 200;
constexpr int kMessageLimit = 255;
// Edit 1007 is read with room for 256 characters, edit 1021 for 511.
constexpr std::size_t kTypedHostRoom = 257;
constexpr std::size_t kMessageRoom = 512;
static_assert(kMessageRoom <= kSessionTextRoom, "the message fits its session text");

bool MailSettingsComplete() {
  return WizardSession.senderAddress[0] != '\0' && WizardSession.mailServer[0] != '\0' &&
         HasRecipients();
}

void RefillCandidates(HWND page) {
  FillHostCandidateList(page);
  if (SendDlgItemMessageW(page, IDC_CANDIDATE_LIST, LB_GETCOUNT, 0, 0) > 0) {
    WizardSession.hostCandidatesFound = true;
  }
}

void ApplyControlState(HWND page) {
  bool complete = MailSettingsComplete();
  bool found = WizardSession.hostCandidatesFound;
  bool sendPossible = complete && found;
  EnableItem(page, IDC_SEND, sendPossible);
  EnableItem(page, IDC_COPY, found);
  if (sendPossible) {
    SetItemFromTable(page, IDC_SEND_HINT, IDS_SEND_HINT, kTextRoom);
  } else {
    SetItemText(page, IDC_SEND_HINT, "");
  }
  SetItemFromTable(page, IDC_NEXT_HINT, complete ? IDS_SETTINGS_CHANGE : IDS_SETTINGS_NEEDED,
                   kTextRoom);
  bool next = found || ItemHasText(page, IDC_TYPED_HOST);
  SetWizardButtons(page, next ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK);
}

// A typed host name makes Send and Copy usable without a detected one.
void OnTypedHostChanged(HWND page) {
  if (!IsPageOnScreen(page)) return;
  bool complete = MailSettingsComplete();
  bool found = WizardSession.hostCandidatesFound;
  bool typed = ItemHasText(page, IDC_TYPED_HOST);
  if (typed) {
    SetWizardButtons(page, PSWIZB_BACK | PSWIZB_NEXT);
    if (complete) EnableItem(page, IDC_SEND, true);
  } else if (complete && found) {
    SetWizardButtons(page, PSWIZB_BACK | PSWIZB_NEXT);
  } else {
    SetWizardButtons(page, PSWIZB_BACK);
    EnableItem(page, IDC_SEND, false);
  }
  EnableItem(page, IDC_COPY, typed || found);
}

// The setting into a session text (kSessionTextRoom bytes); empty when absent.
void LoadSessionText(MailSetting index, char* text) {
  char value[kSettingRoom];
  bool present = LoadMailSetting(index, value) > 0;
  std::snprintf(text, kSessionTextRoom, "%s", present ? value : "");
}

void OnCreate(HWND page) {
  WizardSession.sendReportPageId = kChoicePageId;
  SendDlgItemMessageW(page, IDC_CANDIDATE_LIST, LB_SETHORIZONTALEXTENT, kCandidateListExtent, 0);
  RefillCandidates(page);
  SendDlgItemMessageW(page, IDC_MESSAGE, EM_LIMITTEXT, kMessageLimit, 0);
  EnsureSettingsKeys();
  char message[kSettingRoom];
  if (LoadMailSetting(kMessageSetting, message) > 0) SetItemText(page, IDC_MESSAGE, message);
  LoadSessionText(kFromAddressSetting, WizardSession.senderAddress);
  LoadSessionText(kMailServerSetting, WizardSession.mailServer);
  ApplyControlState(page);
  MarkActivePage(page);
  WizardSession.choicePageFresh = true;
}

// A run that started here may have ended while another page was on screen,
// and its end message went there: the caption is put right on return.
void OnSetActive(HWND page) {
  if (WizardSession.choicePageFresh) {
    WizardSession.choicePageFresh = false;
    return;
  }
  WizardSession.sendReportPageId = kChoicePageId;
  RefillCandidates(page);
  ApplyControlState(page);
  MarkActivePage(page);
  if (!WizardSession.sendInProgress.load()) {
    SetItemFromTable(page, IDC_SEND, IDS_SEND_CAPTION, kTextRoom);
  }
}

void TakeTypedHostName(HWND page) {
  GetItemText(page, IDC_TYPED_HOST, WizardSession.typedHostName, kTypedHostRoom);
}

// The message goes into the link message as typed, whether or not the store
// keeps it.
void TakeMessage(HWND page) {
  GetItemText(page, IDC_MESSAGE, WizardSession.messageText, kMessageRoom);
  if (!SaveMailSetting(kMessageSetting, WizardSession.messageText)) ShowSettingNotKept(page);
}

// Both texts go into the link message, which travels in ISO-2022-JP.
bool TextsCanBeMailed(HWND page) {
  return ItemTextCanBeMailed(page, IDC_MESSAGE) && ItemTextCanBeMailed(page, IDC_TYPED_HOST);
}

// When no thread can start, the run has already sent its end message (and
// the caption was reset by it) before StartDeliveryRun returns.
void OnSend(HWND page) {
  if (WizardSession.sendInProgress.load()) {
    WizardSession.sendAbortRequested = true;
    return;
  }
  if (!TextsCanBeMailed(page) || AskToSend(page) != IDYES) return;
  TakeTypedHostName(page);
  TakeMessage(page);
  if (StartDeliveryRun()) SetItemFromTable(page, IDC_SEND, IDS_ABORT_SEND_CAPTION, kTextRoom);
}

void OnCopy(HWND page) {
  if (!TextsCanBeMailed(page)) return;
  TakeTypedHostName(page);
  TakeMessage(page);
  int result = CopyLinkMessage(WizardSession.typedHostName);
  ShowStringMessage(page, result == 0 ? IDS_COPY_DONE : IDS_COPY_FAILED, IDS_WIZARD_TITLE, MB_OK);
}

// The message number is also the dialog manager's DM_SETDEFID, which comes
// with a control id; and an end message may arrive after the next run has
// already started. Neither may turn the stop caption back.
void OnResetSendButton(HWND page, WPARAM wParam, LPARAM lParam) {
  if (wParam != 0 || lParam != 0 || WizardSession.sendInProgress.load()) return;
  SetItemFromTable(page, IDC_SEND, IDS_SEND_CAPTION, kTextRoom);
}

void OnCommand(HWND page, int id) {
  switch (id) {
    case IDC_TYPED_HOST:
      OnTypedHostChanged(page);
      break;
    case IDC_SEND:
      OnSend(page);
      break;
    case IDC_COPY:
      OnCopy(page);
      break;
  }
}

INT_PTR OnNotify(HWND page, const NMHDR& header) {
  switch (header.code) {
    case PSN_SETACTIVE:
      OnSetActive(page);
      break;
    case PSN_WIZNEXT:
      if (!TextsCanBeMailed(page)) return StayOnPage(page);
      TakeMessage(page);
      TakeTypedHostName(page);
      break;
  }
  return FALSE;
}

}  // namespace

void FillHostCandidateList(HWND choicePage) {
  SendDlgItemMessageW(choicePage, IDC_CANDIDATE_LIST, LB_RESETCONTENT, 0, 0);
  char line[kCandidateLineRoom];
  for (int index = 0; index < kHostCandidateCount; ++index) {
    if (FormatCandidateLine(index, line, sizeof line) != 0) break;
    AddListLine(choicePage, IDC_CANDIDATE_LIST, line);
  }
}

INT_PTR CALLBACK ChoicePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnCreate(page);
      return TRUE;
    case WM_COMMAND:
      OnCommand(page, LOWORD(wParam));
      return TRUE;
    case WM_NOTIFY:
      return OnNotify(page, *reinterpret_cast<NMHDR*>(lParam));
    case UM_RESETSENDBUTTON:
      OnResetSendButton(page, wParam, lParam);
      return FALSE;
  }
  return FALSE;
}
