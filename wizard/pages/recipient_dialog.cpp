// The recipient dialog: adds one entry to the address book, or changes the
// name and address of one, keeping the mail settings page's list in step.
#include <windows.h>

#include <cstddef>
#include <cstdio>

#include "wizard/core/settings_store.h"
#include "wizard/pages/pages.h"
#include "wizard/pages/recipient_list_win32.h"
#include "wizard/resources/resource.h"
#include "wizard/ui_text.h"

namespace {

constexpr std::size_t kTitleRoom = 63;
constexpr int kNameLimit = 32;
constexpr int kAddressLimit = 128;
// Both edits are read with room for 255 characters.
constexpr std::size_t kEditRoom = 256;
constexpr std::size_t kModifiedNameRoom = 256;

// The dialog is modal and the only one: one record serves it.
struct RecipientDialogState {
  HWND mailSettingsPage;
  bool modifying;
  char modifiedName[kModifiedNameRoom];  // empty in add mode
};
RecipientDialogState dialogState;

void SetTitleFromTable(HWND dialog, int textId) {
  char title[kTitleRoom];
  LoadTextInto(textId, title, sizeof title);
  SetWindowTitle(dialog, title);
}

// The caret goes to the end of the stored address, ready for an edit.
void OpenInModifyMode(HWND dialog, const char* name) {
  std::snprintf(dialogState.modifiedName, sizeof dialogState.modifiedName, "%s", name);
  SetTitleFromTable(dialog, IDS_TITLE_MODIFY_RECIPIENT);
  SetItemName(dialog, IDC_RECIPIENT_NAME, name);
  SetItemText(dialog, IDC_RECIPIENT_ADDRESS, GetRecipientAddress(name));
  HWND address = GetDlgItem(dialog, IDC_RECIPIENT_ADDRESS);
  SetFocus(address);
  SendMessageW(address, EM_SETSEL, 0, -1);
  SendMessageW(address, EM_SETSEL, static_cast<WPARAM>(-1), 0);
}

void OpenInAddMode(HWND dialog) {
  dialogState.modifiedName[0] = '\0';
  SetTitleFromTable(dialog, IDS_TITLE_ADD_RECIPIENT);
  EnableItem(dialog, IDOK, false);
  SetFocus(GetDlgItem(dialog, IDC_RECIPIENT_NAME));
}

void OnCreate(HWND dialog, const char* name) {
  dialogState.modifying = name != nullptr;
  SendDlgItemMessageW(dialog, IDC_RECIPIENT_NAME, EM_LIMITTEXT, kNameLimit, 0);
  SendDlgItemMessageW(dialog, IDC_RECIPIENT_ADDRESS, EM_LIMITTEXT, kAddressLimit, 0);
  if (dialogState.modifying) {
    OpenInModifyMode(dialog, name);
  } else {
    OpenInAddMode(dialog);
  }
}

void OnEditChanged(HWND dialog) {
  bool complete =
      ItemHasText(dialog, IDC_RECIPIENT_NAME) && ItemHasText(dialog, IDC_RECIPIENT_ADDRESS);
  EnableItem(dialog, IDOK, complete);
}

// A refused edit has told the user why; the dialog stays open as typed. The
// Enter key reaches here even while OK is disabled.
void OnOk(HWND dialog) {
  if (!IsWindowEnabled(GetDlgItem(dialog, IDOK))) return;
  if (!ItemTextCanBeMailed(dialog, IDC_RECIPIENT_ADDRESS)) return;
  char name[kEditRoom];
  char address[kEditRoom];
  GetItemName(dialog, IDC_RECIPIENT_NAME, name, sizeof name);
  GetItemText(dialog, IDC_RECIPIENT_ADDRESS, address, sizeof address);
  RecipientListBox list(dialogState.mailSettingsPage);
  bool accepted = dialogState.modifying
                      ? ChangeRecipient(list, dialogState.modifiedName, name, address)
                      : AddRecipient(list, name, address);
  if (accepted) EndDialog(dialog, 1);
}

void OnCommand(HWND dialog, int id, int code) {
  switch (id) {
    case IDC_RECIPIENT_NAME:
    case IDC_RECIPIENT_ADDRESS:
      if (code == EN_CHANGE) OnEditChanged(dialog);
      break;
    case IDOK:
      OnOk(dialog);
      break;
    case IDCANCEL:
      EndDialog(dialog, 0);
      break;
  }
}

}  // namespace

INT_PTR CALLBACK RecipientDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnCreate(dialog, reinterpret_cast<const char*>(lParam));
      return FALSE;  // the focus is set
    case WM_COMMAND:
      OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_SYSCOMMAND:
      return EndDialogOnClose(dialog, wParam);
  }
  return FALSE;
}

INT_PTR OpenRecipientDialog(HWND mailSettingsPage, const char* name) {
  dialogState.mailSettingsPage = mailSettingsPage;
  return DialogBoxParamW(TextModule(), MAKEINTRESOURCEW(IDD_RECIPIENT), GetParent(mailSettingsPage),
                         RecipientDialogProc, reinterpret_cast<LPARAM>(name));
}
