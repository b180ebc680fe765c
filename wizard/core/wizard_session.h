// The one record of wizard state that the pages and their worker threads
// share. Flags that a worker thread and the page thread both touch are
// atomic; the texts are written on the page thread only, and a worker takes
// its own copy at its start.
#pragma once
#include <atomic>
#include <cstddef>

constexpr std::size_t kSessionTextRoom = 512;
constexpr int kChoicePageId = 103;
constexpr int kSendingPageId = 105;

struct WizardSessionRecord {
  std::atomic<void*> activePageWindow{nullptr};  // the page last activated
  std::atomic<int> sendReportPageId{kChoicePageId};
  bool hostCandidatesFound = false;
  bool choicePageFresh = false;
  char senderAddress[kSessionTextRoom] = {};
  char mailServer[kSessionTextRoom] = {};
  char typedHostName[kSessionTextRoom] = {};
  // The message ahead of the links as the user last confirmed it, stored or
  // not: what the link message carries.
  char messageText[kSessionTextRoom] = {};
  bool sendConfirmed = false;
  std::atomic<bool> sendInProgress{false};
  std::atomic<bool> sendAbortRequested{false};
  std::atomic<bool> allMailsSent{true};
};

extern WizardSessionRecord WizardSession;
