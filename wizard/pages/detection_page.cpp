// The detection page: runs one detection at a time on its own thread and
// shows its report, its state in the status text and in the button that
// starts or cancels it.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <atomic>

#include "platform/threads.h"
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
// Sent by a detection thread to the page that started it once it has done
// with the table and the report.
constexpr UINT UM_DETECTIONENDED = WM_APP + 1;

// The detection as the page shows it: changed on the page's thread only,
// together with the button's caption, so that a click means what the
// caption said.
enum class Shown { kIdle, kRunning, kCancelling };
Shown shown = Shown::kIdle;

// Detection threads not yet past their last step, for the program's end. A
// thread is done with the table and the report once its page heard it end,
// so the next run may start before the count drops.
std::atomic<int> detectionThreads{0};

void WriteReportLine(ReportPage page, const char* line) {
  ReplaceItemSelection(static_cast<HWND>(page), IDC_REPORT, line);
}

void DetectionThread(void* argument) {
  HWND page = static_cast<HWND>(argument);
  if (ipHelperAvailable) {
    DetectByAdapters(page);
  } else {
    DetectByInterfaces(page);
  }
  SendMessageW(page, UM_DETECTIONENDED, 0, 0);
  --detectionThreads;
}

// Back stays disabled while a detection runs.
void SetButtonsIfOnScreen(HWND page) {
  if (!IsPageOnScreen(page)) return;
  SetWizardButtons(page, shown == Shown::kIdle ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_NEXT);
}

// The thread's end message waits for this page's thread, so the state set
// here is in place before that message is handled.
void StartDetection(HWND page) {
  detectionActive = 1;
  ++detectionThreads;
  if (StartThreadWithStack(DetectionThread, page, 0) == kThreadNotStarted) {
    --detectionThreads;
    detectionActive = 0;
    return;
  }
  shown = Shown::kRunning;
  SetItemFromTable(page, IDC_DETECT_STATUS, IDS_DETECTING, kCaptionRoom);
  SetItemFromTable(page, IDC_DETECT_BUTTON, IDS_CANCEL_DETECT, kCaptionRoom);
  SetButtonsIfOnScreen(page);
}

// The sheet may show another page by now: its buttons are left alone.
void OnDetectionEnded(HWND page) {
  int status = detectionActive.load() != 0 ? IDS_DETECT_DONE : IDS_DETECT_CANCELLED;
  detectionActive = 0;
  shown = Shown::kIdle;
  SetItemFromTable(page, IDC_DETECT_BUTTON, IDS_REDETECT, kCaptionRoom);
  SetItemFromTable(page, IDC_DETECT_STATUS, status, kCaptionRoom);
  SetButtonsIfOnScreen(page);
}

// A cancelled run that has not ended yet (the caption still reads
// "cancel") needs nothing more.
void OnDetectButton(HWND page) {
  if (shown == Shown::kIdle) {
    StartDetection(page);
  } else if (shown == Shown::kRunning) {
    detectionActive = 0;
    shown = Shown::kCancelling;
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
        MarkActivePage(page);
        SetButtonsIfOnScreen(page);
      }
      return FALSE;
    case UM_DETECTIONENDED:
      OnDetectionEnded(page);
      return TRUE;
  }
  return FALSE;
}

bool WaitForDetectionToEnd(int timeoutMs) {
  detectionActive = 0;
  for (int waited = 0; detectionThreads.load() > 0; waited += kEndPollMs) {
    if (waited >= timeoutMs) return false;
    SleepMilliseconds(kEndPollMs);
  }
  return true;
}
