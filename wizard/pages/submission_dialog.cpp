// The mail server dialog: port, encryption and SMTP authentication, stored
// when the user presses OK. A stored password is never shown: the edit stays
// empty, and the password changes only when one is typed.
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "platform/wipe.h"
#include "wizard/pages/pages.h"
#include "wizard/core/submission_settings.h"
#include "wizard/resources/resource.h"
#include "wizard/ui_text.h"
#include "wizard/core/wizard_session.h"

namespace {

constexpr int kPortDigits = 5;
constexpr unsigned long kHighestPort = 65535;
constexpr std::size_t kPortRoom = kPortDigits + 1;
// Far beyond any provider's user names and passwords, and well inside what
// one AUTH line may carry.
constexpr int kUserLimit = 128;
constexpr int kPasswordLimit = 128;

// Radio buttons in the order of SmtpSecurity's values.
constexpr int kSecurityButtons[] = {IDC_SECURITY_NONE, IDC_SECURITY_STARTTLS, IDC_SECURITY_TLS};

// The dialog is modal and the only one: one record serves it.
struct SubmissionDialogState {
  char serverText[kSessionTextRoom];  // edit 1014 as the dialog opened
};
SubmissionDialogState dialogState;

bool IsChecked(HWND dialog, int id) {
  return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void ShowItem(HWND dialog, int id, bool shown) {
  ShowWindow(GetDlgItem(dialog, id), shown ? SW_SHOW : SW_HIDE);
}

SmtpSecurity ChosenSecurity(HWND dialog) {
  for (int value = 0; value < 3; ++value) {
    if (IsChecked(dialog, kSecurityButtons[value])) return static_cast<SmtpSecurity>(value);
  }
  return SmtpSecurity::kNone;
}

// The user name and password only with authentication, which needs a user
// name; a warning while the password would travel in clear.
void ApplyAuthenticationRule(HWND dialog) {
  bool authenticate = IsChecked(dialog, IDC_SMTP_AUTH);
  EnableItem(dialog, IDC_SMTP_USER, authenticate);
  EnableItem(dialog, IDC_SMTP_PASSWORD, authenticate);
  EnableItem(dialog, IDOK, !authenticate || ItemHasText(dialog, IDC_SMTP_USER));
  ShowItem(dialog, IDC_CLEAR_PASSWORD_WARNING,
           authenticate && ChosenSecurity(dialog) == SmtpSecurity::kNone);
}

void OnCreate(HWND dialog) {
  SubmissionSettings settings;
  LoadSubmissionSettings(&settings);
  SendDlgItemMessageW(dialog, IDC_SMTP_PORT, EM_LIMITTEXT, kPortDigits, 0);
  SendDlgItemMessageW(dialog, IDC_SMTP_USER, EM_LIMITTEXT, kUserLimit, 0);
  SendDlgItemMessageW(dialog, IDC_SMTP_PASSWORD, EM_LIMITTEXT, kPasswordLimit, 0);
  if (settings.port != 0) {
    char port[kPortRoom];
    std::snprintf(port, sizeof port, "%lu", settings.port);
    SetItemText(dialog, IDC_SMTP_PORT, port);
  }
  SmtpSecurity security = EffectiveSecurity(settings, dialogState.serverText);
  CheckRadioButton(dialog, IDC_SECURITY_NONE, IDC_SECURITY_TLS,
                   kSecurityButtons[static_cast<int>(security)]);
  CheckDlgButton(dialog, IDC_SMTP_AUTH, settings.authenticate ? BST_CHECKED : BST_UNCHECKED);
  SetItemText(dialog, IDC_SMTP_USER, settings.user);
  ShowItem(dialog, IDC_PASSWORD_STORED, settings.passwordStored);
  ApplyAuthenticationRule(dialog);
}

// The edit takes digits only, but up to 99999.
bool ReadPort(HWND dialog, unsigned long* port) {
  char text[kPortRoom];
  GetItemText(dialog, IDC_SMTP_PORT, text, sizeof text);
  *port = std::strtoul(text, nullptr, 10);
  return *port <= kHighestPort;
}

// The Enter key reaches here even while OK is disabled.
void OnOk(HWND dialog) {
  if (!IsWindowEnabled(GetDlgItem(dialog, IDOK))) return;
  SubmissionSettings settings;
  if (!ReadPort(dialog, &settings.port)) {
    MessageBeep(MB_ICONWARNING);
    SetFocus(GetDlgItem(dialog, IDC_SMTP_PORT));
    return;
  }
  settings.securityChosen = true;
  settings.security = ChosenSecurity(dialog);
  settings.authenticate = IsChecked(dialog, IDC_SMTP_AUTH);
  GetItemText(dialog, IDC_SMTP_USER, settings.user, sizeof settings.user);
  char password[kSmtpPasswordRoom];
  GetItemTextAsUtf8(dialog, IDC_SMTP_PASSWORD, password, sizeof password);
  SaveSubmissionSettings(settings, password[0] != '\0' ? password : nullptr);
  WipeBytes(password, sizeof password);
  EndDialog(dialog, 1);
}

void OnCommand(HWND dialog, int id, int code) {
  switch (id) {
    case IDC_SECURITY_NONE:
    case IDC_SECURITY_STARTTLS:
    case IDC_SECURITY_TLS:
    case IDC_SMTP_AUTH:
      if (code == BN_CLICKED) ApplyAuthenticationRule(dialog);
      break;
    case IDC_SMTP_USER:
      if (code == EN_CHANGE) ApplyAuthenticationRule(dialog);
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

INT_PTR CALLBACK SubmissionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnCreate(dialog);
      return TRUE;
    case WM_COMMAND:
      OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_SYSCOMMAND:
      return EndDialogOnClose(dialog, wParam);
  }
  return FALSE;
}

INT_PTR OpenSubmissionDialog(HWND mailSettingsPage) {
  GetItemText(mailSettingsPage, IDC_MAIL_SERVER, dialogState.serverText,
              sizeof dialogState.serverText);
  return DialogBoxParamW(TextModule(), MAKEINTRESOURCEW(IDD_SUBMISSION),
                         GetParent(mailSettingsPage), SubmissionDialogProc, 0);
}
