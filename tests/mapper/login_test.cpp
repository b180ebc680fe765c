#include "mapper/login.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "mapper/log.h"
#include "mapper/timing.h"
#include "mapper/worker_slots.h"
#include "tests/support/socket_pair.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLimitMs = 400;
const std::string kEnvironmentRequest = "\xff\xfa\x27\x01";  // IAC SB NEW-ENVIRON SEND

// Runs the login phase of slot 0 against the test's end of a connection.
class LoginPhaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int major, minor;
    ASSERT_EQ(NetStartup(2, 2, &major, &minor), 0);
    MapperTiming timing{50, 5, 0};
    timing.passwordDelayMs = 0;
    timing.loginLimitMs = kLimitMs;
    SetTimingForTests(timing);
    server_ = std::make_unique<SocketPair>();
    ResetWorkerSlots();
    workerSlots[0].inUse = kSlotInUse;
    std::snprintf(workerSlots[0].userId, sizeof workerSlots[0].userId, "alice");
  }
  void TearDown() override {
    ResetWorkerSlots();
    SetTimingForTests(MapperTiming{});
    server_.reset();
    NetCleanup();
  }

  // The outcome, and how long it took; a phase still running a second past
  // its limit is failed and woken by closing the server's end.
  LoginOutcome Run(int* elapsedMs) {
    auto start = Clock::now();
    auto phase = std::async(std::launch::async, [this] {
      LoginPrompts prompts;
      return RunLoginPhase(workerSlots[0], server_->near, prompts, true);
    });
    if (phase.wait_for(std::chrono::milliseconds(kLimitMs + 1000)) != std::future_status::ready) {
      ADD_FAILURE() << "the login phase outlived its limit";
      NetShutdown(server_->far);
      NetShutdown(server_->near);
    }
    LoginOutcome outcome = phase.get();
    *elapsedMs = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    return outcome;
  }

  std::unique_ptr<SocketPair> server_;
};

TEST_F(LoginPhaseTest, AServerStallingInsideAnEnvironmentRequestIsRefusedAtTheLimit) {
  server_->Send(kEnvironmentRequest);
  int elapsed = 0;
  EXPECT_EQ(Run(&elapsed), LoginOutcome::kRefused);
  EXPECT_GE(elapsed, kLimitMs - 50);
}

TEST_F(LoginPhaseTest, AnEnvironmentRequestWithoutEndIsDroppedAndThePromptBehindItAnswered) {
  server_->Send(kEnvironmentRequest + std::string(600, 'x') + "login: ");
  int elapsed = 0;
  EXPECT_EQ(Run(&elapsed), LoginOutcome::kRefused);  // no password prompt follows
  std::string typed = server_->Received(50);
  EXPECT_NE(typed.find("alice\r\n"), std::string::npos) << typed;
}

// The log is off unless opened: here in the test's own folder.
TEST_F(LoginPhaseTest, AServerStreamingWithoutLineEndsGetsABoundedShareOfTheLog) {
  constexpr std::uintmax_t kLogBound = 128 * 1024;
  ScopedTempDir folder;
  OpenLog();
  std::atomic<bool> phaseOver{false};
  std::thread stream([this, &phaseOver] {
    NetSetSendTimeout(server_->far, 50);
    const std::string chunk(4096, 'x');
    while (!phaseOver) NetSend(server_->far, chunk.data(), static_cast<int>(chunk.size()));
  });
  int elapsed = 0;
  EXPECT_EQ(Run(&elapsed), LoginOutcome::kRefused);
  phaseOver = true;
  stream.join();
  CloseLog();
  EXPECT_LT(std::filesystem::file_size(folder.path() / "mapper.log"), kLogBound);
  std::string log = ReadTextFile(folder.path() / "mapper.log");
  const std::string note = "worker(0): the rest of the login output is not logged.\n";
  ASSERT_NE(log.find(note), std::string::npos);
  EXPECT_EQ(log.find(note), log.rfind(note));
}

}  // namespace
