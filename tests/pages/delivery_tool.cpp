// Runs one delivery on the file-backed registry (VNTR_ROOT) so that a Python
// test can check the mails a real SMTP server received, and prints what the
// run did to the windows:
//   delivery_tool SERVER FROM [--message FILE] [--typed HOST]
//       [--candidate ADDRESS HOST]... [--recipient NAME ADDRESS]...
//       [--abort-on-start]
// Output: "message not kept" when the store refused the message, "window N"
// per message to the page (N: 1027 started, 1028 finished), "failure
// ADDRESS" per failure box, then "allMailsSent 0|1".
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/net.h"
#include "tests/pages/test_texts.h"
#include "wizard/core/delivery_run.h"
#include "wizard/core/settings_store.h"
#include "wizard/core/wizard_session.h"
#include "wizard/discovery/host_table.h"

namespace {

constexpr int kRunLimitMs = 120000;
int sendingPage;
bool abortOnStart = false;

void SendToWindow(void*, unsigned message) {
  std::printf("window %u\n", message);
  if (message == UM_SENDSTARTED && abortOnStart) WizardSession.sendAbortRequested = true;
}

bool WindowExists(void* window) {
  return window == &sendingPage;
}

void ShowSendFailure(void*, const char* address, MailOutcome) {
  std::printf("failure %s\n", address);
}

class UnseenList final : public RecipientListView {
  int AddLine(const char*) override { return 0; }
  void SelectLine(int) override {}
  int SelectedLine() override { return -1; }
  void DeleteLine(int) override {}
  void ShowRefusal(RecipientRefusal) override {}
};

// As the choice page takes the message the user confirmed.
bool TakeMessage(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in.good() && !in.eof()) return false;
  std::snprintf(WizardSession.messageText, kSessionTextRoom, "%s", text.c_str());
  if (!SaveMailSetting(kMessageSetting, text.c_str())) std::printf("message not kept\n");
  return true;
}

// The options fill the store, the host table and the session.
bool Prepare(int argc, char** argv) {
  UnseenList list;
  for (int i = 3; i < argc; ++i) {
    std::string option = argv[i];
    bool pair = i + 2 < argc;
    if (option == "--abort-on-start") {
      abortOnStart = true;
    } else if (option == "--message" && i + 1 < argc) {
      if (!TakeMessage(argv[++i])) return false;
    } else if (option == "--typed" && i + 1 < argc) {
      std::snprintf(WizardSession.typedHostName, kSessionTextRoom, "%s", argv[++i]);
    } else if (pair && option == "--candidate") {
      AddHostCandidate(argv[i + 1], argv[i + 2]);
      i += 2;
    } else if (pair && option == "--recipient") {
      if (!AddRecipient(list, argv[i + 1], argv[i + 2])) return false;
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::snprintf(WizardSession.mailServer, kSessionTextRoom, "%s", argv[1]);
  std::snprintf(WizardSession.senderAddress, kSessionTextRoom, "%s", argv[2]);
  ClearHostCandidates();
  EnsureSettingsKeys();
  if (!Prepare(argc, argv)) return 2;
  int major = 0;
  int minor = 0;
  if (NetStartup(2, 0, &major, &minor) != 0) return 2;
  WizardSession.activePageWindow = &sendingPage;
  WizardSession.sendReportPageId = kSendingPageId;
  const DeliveryContacts contacts = {LoadTestText, SendToWindow, WindowExists, ShowSendFailure};
  if (!StartDeliveryRunWith(contacts) || !WaitForDeliveryToFinish(kRunLimitMs)) return 3;
  std::printf("allMailsSent %d\n", WizardSession.allMailsSent.load() ? 1 : 0);
  std::fflush(stdout);
  NetCleanup();
  return 0;
}
