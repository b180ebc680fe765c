// The mail settings page: the sender address, the mail server and the
// address book, and the question whether to send when the user moves on.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstddef>

#include "wizard/core/settings_store.h"
#include "wizard/core/wizard_session.h"
#include "wizard/pages/pages.h"
#include "wizard/pages/recipient_list_win32.h"
#include "wizard/resources/resource.h"
#include "wizard/ui_text.h"

namespace {

// Edits 1013 and 1014 are read with room for 510 characters.
constexpr std::size_t kSettingEditRoom = 511;

LRESULT SendToList(HWND page, UINT message) {
  return SendDlgItemMessageW(page, IDC_RECIPIENT_LIST, message, 0, 0);
}

void ApplyWizardButtonRule(HWND page) {
  bool ready = ItemHasText(page, IDC_SENDER_ADDRESS) && ItemHasText(page, IDC_MAIL_SERVER) &&
               SendToList(page, LB_GETCOUNT) > 0;
  SetWizardButtons(page, ready ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK);
}

void ApplyListButtonRule(HWND page) {
  bool selected = SendToList(page, LB_GETCURSEL) != LB_ERR;
  EnableItem(page, IDC_MODIFY_RECIPIENT, selected);
  EnableItem(page, IDC_DELETE_RECIPIENT, selected);
}

// The selected line's name into name (kRecipientNameRoom bytes); false
// without a selection or when the line would not fit.
bool SelectedRecipient(HWND page, char* name) {
  LRESULT line = SendToList(page, LB_GETCURSEL);
  if (line == LB_ERR) return false;
  return GetListName(page, IDC_RECIPIENT_LIST, static_cast<int>(line), name, kRecipientNameRoom);
}

void PutSettingInto(HWND page, int id, MailSetting index) {
  char value[kSettingRoom];
  if (LoadMailSetting(index, value) > 0) SetItemText(page, id, value);
}

void OnCreate(HWND page) {
  SetWizardButtons(page, PSWIZB_BACK);
  EnsureSettingsKeys();
  PutSettingInto(page, IDC_SENDER_ADDRESS, kFromAddressSetting);
  PutSettingInto(page, IDC_MAIL_SERVER, kMailServerSetting);
  MarkActivePage(page);
  RecipientListBox list(page);
  FillRecipientList(list);
}

void OnSetActive(HWND page) {
  ApplyWizardButtonRule(page);
  ApplyListButtonRule(page);
  MarkActivePage(page);
}

// The focus notification of the list applies the wizard button rule; the
// rule is applied here as well for a list that had the focus already.
void OnAdd(HWND page) {
  OpenRecipientDialog(page, nullptr);
  SetFocus(GetDlgItem(page, IDC_RECIPIENT_LIST));
  ApplyWizardButtonRule(page);
  ApplyListButtonRule(page);
}

void OnModify(HWND page) {
  char name[kRecipientNameRoom];
  if (!SelectedRecipient(page, name)) return;
  OpenRecipientDialog(page, name);
  ApplyListButtonRule(page);
}

void OnDelete(HWND page) {
  char name[kRecipientNameRoom];
  if (SelectedRecipient(page, name)) {
    RecipientListBox list(page);
    DeleteRecipient(list, name);
    ApplyWizardButtonRule(page);
  }
  ApplyListButtonRule(page);
}

void OnCommand(HWND page, int id, int code) {
  switch (id) {
    case IDC_SENDER_ADDRESS:
    case IDC_MAIL_SERVER:
      if (IsPageOnScreen(page)) ApplyWizardButtonRule(page);
      break;
    case IDC_RECIPIENT_LIST:
      if (!IsPageOnScreen(page)) break;
      ApplyWizardButtonRule(page);
      if (code == LBN_SELCHANGE) ApplyListButtonRule(page);
      break;
    case IDC_ADD_RECIPIENT:
      OnAdd(page);
      break;
    case IDC_MODIFY_RECIPIENT:
      OnModify(page);
      break;
    case IDC_DELETE_RECIPIENT:
      OnDelete(page);
      break;
    case IDC_SUBMISSION_SETTINGS:
      OpenSubmissionDialog(page);
      break;
  }
}

// The session keeps what was typed, stored or not: the choice page and the
// delivery run work on it.
void TakeEdit(HWND page, int id, char* sessionText) {
  GetItemText(page, id, sessionText, kSettingEditRoom);
}

// False when the store did not keep it.
bool StoreEdit(HWND page, int id, MailSetting index, char* sessionText) {
  TakeEdit(page, id, sessionText);
  return SaveMailSetting(index, sessionText);
}

// The sheet moves on to the sending page whatever the answer.
void OnWizardNext(HWND page) {
  bool kept = StoreEdit(page, IDC_SENDER_ADDRESS, kFromAddressSetting, WizardSession.senderAddress);
  kept = StoreEdit(page, IDC_MAIL_SERVER, kMailServerSetting, WizardSession.mailServer) && kept;
  if (!kept) ShowSettingNotKept(page);
  WizardSession.sendConfirmed = AskToSend(page) != IDNO;
}

void OnWizardBack(HWND page) {
  TakeEdit(page, IDC_SENDER_ADDRESS, WizardSession.senderAddress);
  TakeEdit(page, IDC_MAIL_SERVER, WizardSession.mailServer);
}

INT_PTR OnNotify(HWND page, const NMHDR& header) {
  switch (header.code) {
    case PSN_SETACTIVE:
      OnSetActive(page);
      break;
    case PSN_WIZNEXT:
      // Both texts go into the mail's envelope and header.
      if (!ItemTextCanBeMailed(page, IDC_SENDER_ADDRESS) ||
          !ItemTextCanBeMailed(page, IDC_MAIL_SERVER)) {
        return StayOnPage(page);
      }
      OnWizardNext(page);
      break;
    case PSN_WIZBACK:
      OnWizardBack(page);
      break;
  }
  return FALSE;
}

}  // namespace

INT_PTR CALLBACK MailSettingsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnCreate(page);
      return TRUE;
    case WM_COMMAND:
      OnCommand(page, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_NOTIFY:
      return OnNotify(page, *reinterpret_cast<NMHDR*>(lParam));
  }
  return FALSE;
}
