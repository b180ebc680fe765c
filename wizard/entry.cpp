// pathcaster's entry: the installation and single-instance checks, Windows
// Sockets 2.0, the run-time libraries, then the wizard.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include "platform/net.h"
#include "wizard/core/delivery_run.h"
#include "wizard/core/settings_store.h"
#include "wizard/ip_helpers.h"
#include "wizard/pages/pages.h"
#include "wizard/resources/resource.h"
#include "wizard/sheet.h"
#include "wizard/ui_text.h"

namespace {

constexpr int kRefused = 1;
constexpr const char* kWizardCaption = "VNTRLINK";
constexpr const char* kProgramCaption = "vntrlink.exe";
// After the sheet closed, a detection stops at its next check; the longest
// wait between checks is one DNS query. A delivery run stops after the mail
// it is sending; past the limit the process ends without releasing anything,
// and a mail cut off before its final "." is never delivered.
constexpr int kDetectionEndLimitMs = 10000;
constexpr int kDeliveryEndLimitMs = 15000;

void ShowStartupError(const char* text) {
  ShowTextBox(nullptr, text, kProgramCaption, MB_OK);
}

// Windows Sockets 2.0 exactly; false (with the user told) otherwise.
bool StartSockets() {
  int major = 0;
  int minor = 0;
  if (NetStartup(2, 0, &major, &minor) != 0) {
    ShowStartupError("Winsock 2.0 initialization falied.");
    return false;
  }
  if (major != 2 || minor != 0) {
    ShowStartupError("Wrong WinSock Version, Version 2.0 or higher is required.");
    NetCleanup();
    return false;
  }
  return true;
}

void InitCommonControlClasses() {
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&classes);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  SetTextModule(instance);
  if (!IsProductInstalled()) {
    ShowTextBox(nullptr, LoadText(IDS_NOT_INSTALLED), kWizardCaption, MB_OK);
    return kRefused;
  }
  if (HWND open = FindTopWindowByTitle(LoadText(IDS_WIZARD_TITLE))) {
    SetForegroundWindow(open);
    return 0;
  }
  if (!StartSockets()) return kRefused;
  ipHelperAvailable = LoadIpHelpers();
  InitCommonControlClasses();
  RunWizardSheet(nullptr);
  // A detection or delivery still running would call into the libraries and
  // sockets released below: end the process without releasing them instead.
  bool detectionEnded = WaitForDetectionToEnd(kDetectionEndLimitMs);
  if (!WaitForDeliveryToEnd(kDeliveryEndLimitMs) || !detectionEnded) ExitProcess(0);
  FreeIpHelpers();
  NetCleanup();
  return 0;
}
