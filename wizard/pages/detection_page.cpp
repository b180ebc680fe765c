// The detection page: runs one detection at a time on its own thread and
// shows its report, its state in the status text and in the button that
// starts or cancels it.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <atomic>

#include "platform/threads.h"
#include "wizard/core/wizard_session.h"
#include "wizard/discovery/adapter_detection.h"
#include "wizard/discovery/host_table.h"
#include "wizard/discovery/report.h"
#include "wizard/ip_helpers.h"
#include "wizard/pages/pages.h"
#include "wizard/resources/resource.h"
#include "wizard/ui_text.h"

namespace {

constexpr std::size_t kCaptionRoom = 63;
constexpr std::size_t kIdleCaptionRoom = 31;
constexpr int kEndPollMs = 10;

// True from the start of a detection thread until its last step: a cancelled
// run may still wait on a DNS server, and no new run starts before it ended,
// so a stopped run never writes into the table or report of the next one.
std::atomic<bool> detectionThreadRunning{false};

void WriteReportLine(ReportPage page, const char* line) {
  ReplaceItemSelection(static_cast<HWND>(page), IDC_REPORT, line);
}

void DetectionThread(void*) {
  HWND page = static_cast<HWND>(WizardSession.activePageWindow.load());
  SetItemFromTable(page, IDC_DETECT_STATUS, IDS_DETECTING, kCaptionRoom);
  SetItemFromTable(page, IDC_DETECT_BUTTON, IDS_CANCEL_DETECT, kCaptionRoom);
  SetWizardButtons(page, PSWIZB_NEXT);
  if (ipHelperAvailable) {
    DetectByAdapters(page);
  } else {
    DetectByInterfaces(page);
  }
  SetWizardButtons(page, PSWIZB_BACK | PSWIZB_NEXT);
  SetItemFromTable(page, IDC_DETECT_BUTTON, IDS_REDETECT, kCaptionRoom);
  int status = detectionActive.load() != 0 ? IDS_DETECT_DONE : IDS_DETECT_CANCELLED;
  SetItemFromTable(page, IDC_DETECT_STATUS, status, kCaptionRoom);
  detectionActive = 0;
  detectionThreadRunning = false;
}

void StartDetection(HWND page) {
  detectionActive = 1;
  MarkActivePage(page);
  detectionThreadRunning = true;
  if (StartThreadWithStack(DetectionThread, nullptr, 0) == kThreadNotStarted) {
    detectionActive = 0;
    detectionThreadRunning = false;
  }
}

// Idle: start. Running: ask it to stop. Stopping but not yet ended (the
// button still reads "cancel"): nothing more to do.
void OnDetectButton(HWND page) {
  if (detectionActive.load() != 0) {
    detectionActive = 0;
  } else if (!detectionThreadRunning.load()) {
    StartDetection(page);
  }
}

void OnCreate(HWND page) {
  SetReportSink(WriteReportLine);
  ClearHostCandidates();
  detectionActive = 0;
  SetItemFromTable(page, IDC_DETECT_BUTTON, IDS_REDETECT, kIdleCaptionRoom);
  StartDetection(page);
}

}  // namespace

INT_PTR CALLBACK DetectionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnCreate(page);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_DETECT_BUTTON) OnDetectButton(page);
      return TRUE;
    case WM_NOTIFY:
      if (reinterpret_cast<NMHDR*>(lParam)->code == PSN_SETACTIVE) {
        // The detection thread starts with Back disabled; a post of ours
        // arriving after its own must not enable Back while it runs.
        DWORD buttons = detectionActive.load() != 0 ? PSWIZB_NEXT : PSWIZB_BACK | PSWIZB_NEXT;
        SetWizardButtons(page, buttons);
        MarkActivePage(page);
      }
      return FALSE;
  }
  return FALSE;
}

bool WaitForDetectionToEnd(int timeoutMs) {
  detectionActive = 0;
  for (int waited = 0; detectionThreadRunning.load(); waited += kEndPollMs) {
    if (waited >= timeoutMs) return false;
    SleepMilliseconds(kEndPollMs);
  }
  return true;
}
