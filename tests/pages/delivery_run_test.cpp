// The delivery run's state and its contacts with the pages, without a mail
// server: every recipient fails at once on a closed loopback port, so each
// attempt shows as one failure box.
#include "wizard/core/delivery_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/pages/registry_root.h"
#include "tests/pages/test_texts.h"
#include "wizard/core/settings_store.h"
#include "wizard/core/wizard_session.h"
#include "wizard/discovery/host_table.h"

namespace {

constexpr int kRunLimitMs = 20000;
// Nothing listens on port 1 of loopback in the test's network namespace.
constexpr const char* kClosedServer = "127.0.0.1:1";

int pageA, pageB, closedPage;
void* const kPageA = &pageA;
void* const kPageB = &pageB;
void* const kClosedPage = &closedPage;  // a window that was destroyed

// What the run did to the windows, in order; written by the run's thread and
// read after it ended.
struct Seen {
  std::vector<std::pair<void*, unsigned>> messages;
  std::vector<std::pair<void*, std::string>> failures;
  std::function<void(unsigned)> onMessage;
  std::function<void()> onFailure;
} seen;

void SendToWindow(void* window, unsigned message) {
  seen.messages.emplace_back(window, message);
  if (seen.onMessage) seen.onMessage(message);
}

bool WindowExists(void* window) {
  return window != nullptr && window != kClosedPage;
}

void ShowSendFailure(void* owner, const char* address, MailOutcome) {
  seen.failures.emplace_back(owner, address);
  if (seen.onFailure) seen.onFailure();
}

constexpr DeliveryContacts kContacts = {LoadTestText, SendToWindow, WindowExists, ShowSendFailure};

using Messages = std::vector<std::pair<void*, unsigned>>;
using Failures = std::vector<std::pair<void*, std::string>>;

class DeliveryRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    seen = Seen{};
    ClearHostCandidates();
    WizardSession.activePageWindow = kPageA;
    WizardSession.sendReportPageId = kSendingPageId;
    WizardSession.sendInProgress = false;
    WizardSession.sendAbortRequested = false;
    WizardSession.allMailsSent = true;
    std::snprintf(WizardSession.senderAddress, kSessionTextRoom, "taro@example.test");
    std::snprintf(WizardSession.mailServer, kSessionTextRoom, "%s", kClosedServer);
    WizardSession.typedHostName[0] = '\0';
  }

  void AddRecipients(const std::vector<std::string>& names) {
    EnsureSettingsKeys();
    for (const std::string& name : names) {
      ASSERT_TRUE(AddRecipient(list_, name.c_str(), (name + "@example.test").c_str()));
    }
  }

  void Run() {
    ASSERT_TRUE(StartDeliveryRunWith(kContacts));
    ASSERT_TRUE(WaitForDeliveryToFinish(kRunLimitMs));
    EXPECT_FALSE(WizardSession.sendInProgress.load());
    EXPECT_FALSE(WizardSession.sendAbortRequested.load());
  }

  class IgnoredList final : public RecipientListView {
    int AddLine(const char*) override { return 0; }
    void SelectLine(int) override {}
    int SelectedLine() override { return -1; }
    void DeleteLine(int) override {}
    void ShowRefusal(RecipientRefusal) override {}
  } list_;
  TempRegistryRoot root_;
};

// Without a recipient key nothing can be sent; an empty address book is a
// complete run. Either way the end message goes to the page on screen then.
TEST_F(DeliveryRunTest, RunsWithNothingToMailEndAndTellThePageOnScreen) {
  seen.onMessage = [](unsigned) {
    WizardSession.sendReportPageId = kChoicePageId;
    WizardSession.activePageWindow = kPageB;
  };
  Run();
  EXPECT_EQ(seen.messages, (Messages{{kPageA, UM_SENDSTARTED}, {kPageB, UM_RESETSENDBUTTON}}));
  EXPECT_FALSE(WizardSession.allMailsSent.load());

  seen = Seen{};
  EnsureSettingsKeys();
  Run();
  EXPECT_EQ(seen.messages, (Messages{{kPageB, UM_RESETSENDBUTTON}}));
  EXPECT_TRUE(WizardSession.allMailsSent.load());
  EXPECT_TRUE(seen.failures.empty());
}

TEST_F(DeliveryRunTest, SecondRunIsRefusedWhileOneIsInProgress) {
  AddRecipients({"alice"});
  bool secondStarted = true;
  seen.onMessage = [&](unsigned message) {
    if (message == UM_SENDSTARTED) secondStarted = StartDeliveryRunWith(kContacts);
  };
  Run();
  EXPECT_FALSE(secondStarted);
  EXPECT_EQ(seen.messages, (Messages{{kPageA, UM_SENDSTARTED}, {kPageA, UM_SENDFINISHED}}));
  EXPECT_EQ(seen.failures.size(), 1u);
}

// An abort request left from before the run does not stop it; one made
// while it runs takes effect after the recipient being mailed.
TEST_F(DeliveryRunTest, FailedRecipientsEachGetABoxInEnumerationOrderUntilAnAbort) {
  AddRecipients({"carol", "alice", "bob"});
  {
    RegistryKey key = OpenRecipientKey();
    ASSERT_NE(key, nullptr);
    RegistrySetString(key, std::string(300, 'x').c_str(), "hidden@example.test");
    RegistrySetString(key, "later", "later@example.test");
    RegistryCloseKey(key);
  }
  WizardSession.sendAbortRequested = true;
  Run();
  EXPECT_EQ(seen.failures, (Failures{{kPageA, "carol@example.test"},
                                     {kPageA, "alice@example.test"},
                                     {kPageA, "bob@example.test"}}));
  EXPECT_FALSE(WizardSession.allMailsSent.load());

  seen = Seen{};
  seen.onMessage = [](unsigned message) {
    if (message == UM_SENDSTARTED) WizardSession.sendAbortRequested = true;
  };
  Run();
  EXPECT_EQ(seen.failures, (Failures{{kPageA, "carol@example.test"}}));
}

// The user may delete and rename recipients on the mail settings page while
// a run mails: it mails the address book as it was when it started.
TEST_F(DeliveryRunTest, EditsOfTheAddressBookDuringARunChangeNotWhoItMails) {
  AddRecipients({"carol", "alice", "bob"});
  seen.onFailure = [this] {
    if (seen.failures.size() != 1) return;
    DeleteRecipient(list_, "carol");
    ASSERT_TRUE(ChangeRecipient(list_, "alice", "alicia", "alicia@example.test"));
  };
  Run();
  EXPECT_EQ(seen.failures, (Failures{{kPageA, "carol@example.test"},
                                     {kPageA, "alice@example.test"},
                                     {kPageA, "bob@example.test"}}));
}

// The wizard closed while the first box was up: the user closes it after
// the program asked the run to end, and the run stops there.
TEST_F(DeliveryRunTest, ClosingTheWizardEndsTheRunAfterItsCurrentRecipient) {
  AddRecipients({"carol", "alice"});
  WizardSession.activePageWindow = kClosedPage;
  seen.onFailure = [] {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!WizardSession.sendAbortRequested.load() &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  };
  ASSERT_TRUE(StartDeliveryRunWith(kContacts));
  EXPECT_TRUE(WaitForDeliveryToEnd(kRunLimitMs));
  EXPECT_EQ(seen.failures, (Failures{{nullptr, "carol@example.test"}}));
  EXPECT_TRUE(seen.messages.empty());
}

}  // namespace
