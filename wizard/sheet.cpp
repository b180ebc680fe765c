#include "wizard/sheet.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdint>
#include <cstring>

#include "wizard/pages/pages.h"
#include "wizard/resources/resource.h"
#include "wizard/ui_text.h"

namespace {

constexpr DWORD kSheetFlags = PSH_WIZARD97 | PSH_HEADER | PSH_WATERMARK | PSH_USECALLBACK |
                              PSH_PROPSHEETPAGE | PSH_USEICONID;
// The Wizard97 flag has two values, chosen by _WIN32_IE: only the newer one
// gives the sheet its Wizard97 look.
static_assert(kSheetFlags == 0x0108810C, "Wizard97 sheet flags");

constexpr DWORD kWelcomePageFlags = PSP_USETITLE | PSP_HIDEHEADER;
constexpr DWORD kInnerPageFlags = PSP_USETITLE | PSP_USEHEADERTITLE;
static_assert(kWelcomePageFlags == 0x0808 && kInnerPageFlags == 0x1008, "page flags");

constexpr WORD kExtendedTemplateSignature = 0xFFFF;

struct PageRecord {
  int dialog;
  DLGPROC procedure;
  DWORD flags;
  int headerTitle;  // 0: none
};

constexpr PageRecord kPages[] = {
    {IDD_WELCOME, WelcomePageProc, kWelcomePageFlags, 0},
    {IDD_DETECTION, DetectionPageProc, kInnerPageFlags, IDS_TITLE_DETECTION},
    {IDD_CHOICE, ChoicePageProc, kInnerPageFlags, IDS_TITLE_CHOICE},
    {IDD_MAIL_SETTINGS, MailSettingsPageProc, kInnerPageFlags, IDS_TITLE_MAIL},
    {IDD_SENDING, SendingPageProc, kInnerPageFlags, IDS_TITLE_DONE},
};
constexpr int kPageCount = sizeof kPages / sizeof kPages[0];

PROPSHEETPAGEW MakePage(const PageRecord& record) {
  PROPSHEETPAGEW page;
  std::memset(&page, 0, sizeof page);
  page.dwSize = sizeof page;
  page.dwFlags = record.flags;
  page.hInstance = TextModule();
  page.pszTemplate = MAKEINTRESOURCEW(record.dialog);
  page.pfnDlgProc = record.procedure;
  page.pszTitle = MAKEINTRESOURCEW(IDS_WIZARD_TITLE);
  if (record.headerTitle != 0) page.pszHeaderTitle = MAKEINTRESOURCEW(record.headerTitle);
  return page;
}

}  // namespace

int CALLBACK WizardSheetCallback(HWND, UINT message, LPARAM parameter) {
  if (message != PSCB_PRECREATE || parameter == 0) return 0;
  // The style is the template's first word in the classic layout, and comes
  // after the version, signature, help id and extended style in the
  // extended one.
  auto* words = reinterpret_cast<WORD*>(parameter);
  auto* bytes = reinterpret_cast<unsigned char*>(parameter);
  unsigned char* style = words[1] == kExtendedTemplateSignature ? bytes + 12 : bytes;
  std::uint32_t value;
  std::memcpy(&value, style, sizeof value);
  if ((value & WS_SYSMENU) == 0) {
    value |= WS_SYSMENU;
    std::memcpy(style, &value, sizeof value);
  }
  return 0;
}

INT_PTR RunWizardSheet(HWND parent) {
  PROPSHEETPAGEW pages[kPageCount];
  for (int i = 0; i < kPageCount; ++i) pages[i] = MakePage(kPages[i]);

  PROPSHEETHEADERW header;
  std::memset(&header, 0, sizeof header);
  header.dwSize = sizeof header;
  header.dwFlags = kSheetFlags;
  header.hwndParent = parent;
  header.hInstance = TextModule();
  header.pszIcon = MAKEINTRESOURCEW(IDI_WIZARD);
  header.pszCaption = L"Wizard Property Sheet";
  header.nPages = kPageCount;
  header.nStartPage = 0;
  header.ppsp = pages;
  header.pfnCallback = WizardSheetCallback;
  header.pszbmWatermark = MAKEINTRESOURCEW(IDB_WATERMARK);
  header.pszbmHeader = MAKEINTRESOURCEW(IDB_HEADER);
  return PropertySheetW(&header);
}
