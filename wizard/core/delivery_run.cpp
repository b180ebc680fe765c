#include "wizard/core/delivery_run.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "platform/threads.h"
#include "platform/wipe.h"
#include "wizard/core/settings_store.h"
#include "wizard/core/submission_settings.h"
#include "wizard/core/wizard_session.h"

namespace {

constexpr const char* kSubject = "Vantor URL";
constexpr int kEndPollMs = 10;

// What one run works on, owned by its thread: the pages may change the
// session's texts while it mails.
struct DeliveryJob {
  ~DeliveryJob() { WipeBytes(password, sizeof password); }

  DeliveryContacts contacts;
  char messageText[kSessionTextRoom];
  char typedHostName[kSessionTextRoom];
  char senderAddress[kSessionTextRoom];
  char mailServer[kSessionTextRoom];
  SubmissionSettings submission;
  char password[kSmtpPasswordRoom];
};

// Run threads not yet past their last step. A run clears sendInProgress
// before its end message, so a next run may start while this one finishes.
std::atomic<int> runThreads{0};

// Read at each call: the page on screen may have changed since the start.
void NotifyPage(const DeliveryContacts& contacts, bool starting) {
  void* window = WizardSession.activePageWindow.load();
  int page = WizardSession.sendReportPageId.load();
  if (!contacts.windowExists(window)) return;
  if (page == kSendingPageId) {
    contacts.sendToWindow(window, starting ? UM_SENDSTARTED : UM_SENDFINISHED);
  } else if (page == kChoicePageId && !starting) {
    contacts.sendToWindow(window, UM_RESETSENDBUTTON);
  }
}

// The page that owns the box may be gone by now (the wizard was closed).
void ShowFailure(const DeliveryContacts& contacts, const char* address, MailOutcome cause) {
  void* owner = WizardSession.activePageWindow.load();
  contacts.showSendFailure(contacts.windowExists(owner) ? owner : nullptr, address, cause);
}

using AddressBook = std::vector<RecipientEntry>;

bool Append(AddressBook& book, const RecipientEntry& entry) {
  try {
    book.push_back(entry);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// The address book as the run found it, in enumeration order: the user may
// delete or rename recipients on the mail settings page while it mails.
// False when the recipient key does not open or memory runs out.
bool ReadAddressBook(AddressBook& book) {
  RegistryKey key = OpenRecipientKey();
  if (key == nullptr) return false;
  RecipientEntry entry;
  bool whole = true;
  for (unsigned index = 0; whole && ReadRecipient(key, index, &entry); ++index) {
    whole = Append(book, entry);
  }
  RegistryCloseKey(key);
  return whole;
}

void MailRecipients(const DeliveryJob& job, const AddressBook& book, const char* text,
                    bool* failed) {
  SmtpSubmission submission = SubmissionFor(job.submission, job.mailServer, job.password);
  for (const RecipientEntry& entry : book) {
    MailOutcome outcome =
        SubmitMail(submission, job.senderAddress, entry.address, "", kSubject, text);
    if (outcome != MailOutcome::kSent) {
      *failed = true;
      ShowFailure(job.contacts, entry.address, outcome);
    }
    if (WizardSession.sendAbortRequested.load()) break;
  }
}

// False when nothing could be sent: no address book or no memory for the text.
bool MailEveryRecipient(const DeliveryJob& job, bool* failed) {
  AddressBook book;
  if (!ReadAddressBook(book)) return false;
  char* text = ComposeLinkMessage(job.messageText, job.typedHostName, job.contacts.loadText);
  if (text == nullptr) return false;
  MailRecipients(job, book, text, failed);
  std::free(text);
  return true;
}

// The outcome is in place before sendInProgress drops, so a page that sees
// the run ended reads this run's outcome.
void EndRun(const DeliveryContacts& contacts, bool mailed, bool failed) {
  WizardSession.allMailsSent = mailed && !failed;
  WizardSession.sendAbortRequested = false;
  WizardSession.sendInProgress = false;
  NotifyPage(contacts, false);
}

void DeliveryRun(void* argument) {
  std::unique_ptr<DeliveryJob> job(static_cast<DeliveryJob*>(argument));
  NotifyPage(job->contacts, true);
  bool failed = false;
  bool mailed = MailEveryRecipient(*job, &failed);
  EndRun(job->contacts, mailed, failed);
  job.reset();
  --runThreads;
}

void CopyText(char* out, const char* text) {
  std::snprintf(out, kSessionTextRoom, "%s", text);
}

DeliveryJob* NewJob(const DeliveryContacts& contacts) {
  auto* job = new (std::nothrow) DeliveryJob;
  if (job == nullptr) return nullptr;
  job->contacts = contacts;
  CopyText(job->messageText, WizardSession.messageText);
  CopyText(job->typedHostName, WizardSession.typedHostName);
  CopyText(job->senderAddress, WizardSession.senderAddress);
  CopyText(job->mailServer, WizardSession.mailServer);
  LoadSubmissionSettings(&job->submission);
  job->password[0] = '\0';
  if (job->submission.authenticate) LoadSmtpPassword(job->password);
  return job;
}

bool StartThread(DeliveryJob* job) {
  if (job == nullptr) return false;
  ++runThreads;
  if (StartThreadWithStack(DeliveryRun, job, 0) != kThreadNotStarted) return true;
  --runThreads;
  delete job;
  return false;
}

}  // namespace

bool StartDeliveryRunWith(const DeliveryContacts& contacts) {
  bool idle = false;
  if (!WizardSession.sendInProgress.compare_exchange_strong(idle, true)) return false;
  WizardSession.allMailsSent = false;
  WizardSession.sendAbortRequested = false;
  if (StartThread(NewJob(contacts))) return true;
  EndRun(contacts, false, false);
  return false;
}

bool WaitForDeliveryToFinish(int timeoutMs) {
  for (int waited = 0; runThreads.load() > 0; waited += kEndPollMs) {
    if (waited >= timeoutMs) return false;
    SleepMilliseconds(kEndPollMs);
  }
  return true;
}

bool WaitForDeliveryToEnd(int timeoutMs) {
  WizardSession.sendAbortRequested = true;
  return WaitForDeliveryToFinish(timeoutMs);
}
