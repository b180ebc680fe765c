// The delivery run: mails the link message to every recipient of the address
// book as it stood when the run started, one SMTP transaction each, on a
// thread of its own. Only one run
// exists at a time; it can be asked to stop between two recipients, shows a
// box for each recipient that failed, and tells the page on screen when it
// starts and when it has ended.
#pragma once
#include "wizard/core/link_message.h"
#include "wizard/mail/submission.h"

// Private messages of the pages, sent with both parameters 0.
constexpr unsigned UM_RESETSENDBUTTON = 1025;  // WM_USER + 1, to the choice page
constexpr unsigned UM_SENDSTARTED = 1027;      // WM_USER + 3, to the sending page
constexpr unsigned UM_SENDFINISHED = 1028;     // WM_USER + 4, to the sending page

// The run's ways to the wizard's windows, called on the run's thread.
struct DeliveryContacts {
  TextLoader loadText;
  // Hands the message to the window and returns once the window handled it.
  void (*sendToWindow)(void* window, unsigned message);
  // False for null and for a window that was destroyed.
  bool (*windowExists)(void* window);
  // The box that names a recipient whose mail failed, and why; returns when
  // the user closed it. A null owner shows it on its own.
  void (*showSendFailure)(void* owner, const char* address, MailOutcome cause);
};

// Starts a run unless one is in progress (then false, and nothing changes).
// The run mails with copies of WizardSession's message text, typed host
// name, sender address and mail server taken here, so call it on the pages'
// thread, which writes them; the submission settings and password are read
// here as well. When no thread can start, the run ends at once as one that
// sent nothing (allMailsSent false, the end message to the page) and the
// result is false as well.
bool StartDeliveryRunWith(const DeliveryContacts& contacts);

// Waits at most timeoutMs for every run thread to end, without asking it to
// stop; true when none is left.
bool WaitForDeliveryToFinish(int timeoutMs);

// For the program's end: asks a run to stop after the recipient it is
// mailing (so no mail is cut) and waits at most timeoutMs for it to end;
// true when no run thread is left.
bool WaitForDeliveryToEnd(int timeoutMs);
