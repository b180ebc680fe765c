#include "mapper/server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "mapper/log.h"
#include "mapper/shared_segment.h"
#include "mapper/timing.h"
#include "mapper/worker_slots.h"
#include "platform/threads.h"
#include "tests/support/loopback.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

// Passes of 50 ms give a session about 30 s of life: time enough to open 64
// connections through the listener's backlog of 5, where a burst of connects
// can meet a full queue and wait a second for the SYN to be sent again. The watchdog test shortens
// the pass to 5 ms, so that its 602-pass kill takes about three seconds.
constexpr MapperTiming kTestTiming{50, 5, 0};
constexpr MapperTiming kFastTiming{5, 5, 0};

int MillisecondsSince(Clock::time_point start) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

template <typename Condition>
bool WaitUntil(Condition condition, int milliseconds) {
  auto start = Clock::now();
  while (!condition()) {
    if (MillisecondsSince(start) > milliseconds) return false;
    SleepMilliseconds(5);
  }
  return true;
}

// Runs the server on a thread of the test, on a free loopback port, with the
// log open in the test's own folder.
class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int major, minor;
    ASSERT_EQ(NetStartup(2, 2, &major, &minor), 0);
    SetTimingForTests(kTestTiming);
    OpenLog();
  }

  void TearDown() override {
    StopServer();
    // Threads of ended sessions leave before the next test resets the slots.
    EXPECT_TRUE(WaitUntil([] { return OccupiedSlotCount() == 0; }, 5000));
    for (Socket s : clients_) NetClose(s);
    CloseLog();
    NetCleanup();
  }

  void StartServer() {
    listenPort = FreeLoopbackPort();
    server_ = std::thread([this] { result_ = RunServer(); });
    ASSERT_TRUE(
        WaitUntil([] { return Log().find("waiting for next client") != std::string::npos; }, 5000));
  }

  int StopServer() {
    if (!server_.joinable()) return result_;
    RequestLocalStop();
    server_.join();
    return result_;
  }

  Socket Connect() {
    Socket s = ConnectLoopback(listenPort);
    EXPECT_TRUE(IsOpenSocket(s));
    clients_.push_back(s);
    return s;
  }

  void ConnectAndWaitForWorkers(int count) {
    for (int i = 0; i < count; ++i) Connect();
    ASSERT_TRUE(WaitUntil([count] { return OccupiedSlotCount() == count; }, 20000));
  }

  static std::string Log() { return ReadTextFile("mapper.log"); }

  ScopedTempDir temp_;
  std::thread server_;
  int result_ = -99;
  std::vector<Socket> clients_;
};

TEST_F(ServerTest, StopWhileIdleEndsListenerAndWatchdogPromptly) {
  StartServer();
  auto start = Clock::now();
  EXPECT_EQ(StopServer(), 0);
  EXPECT_LT(MillisecondsSince(start), 1000);
  std::string log = Log();
  EXPECT_NE(log.find("threads watchdog thread started.\n"), std::string::npos);
  EXPECT_NE(log.find("threads watchdog thread ended.\n"), std::string::npos);
  EXPECT_EQ(log.find("waiting for worker threads die."), std::string::npos);
}

TEST_F(ServerTest, SixtyFourConnectionsAreServedAndTheNextIsClosedAtOnce) {
  StartServer();
  ConnectAndWaitForWorkers(kWorkerSlotCount);
  Socket extra = Connect();
  EXPECT_TRUE(PeerClosesWithin(extra, 2000));
  for (int i = 0; i < kWorkerSlotCount; ++i) {
    EXPECT_EQ(NetWaitReadable(clients_[i], 0), 0) << "connection " << i << " was disturbed";
  }
  ASSERT_TRUE(WaitUntil(
      [] { return Log().find("failed to process the request.\n") != std::string::npos; }, 2000));
  std::string log = Log();
  EXPECT_NE(log.find("worker(63): started.\n"), std::string::npos);
  EXPECT_NE(log.find("no available worker thread slot.\n"), std::string::npos);
  EXPECT_NE(log.find("connecton request from 127.0.0.1 accepted.\n"), std::string::npos);
}

TEST_F(ServerTest, AClosedFrontEndFreesItsSlotForTheNextConnection) {
  StartServer();
  Socket first = Connect();
  ASSERT_TRUE(WaitUntil([] { return OccupiedSlotCount() == 1; }, 5000));
  NetShutdown(first);
  ASSERT_TRUE(WaitUntil([] { return OccupiedSlotCount() == 0; }, 5000));
  EXPECT_NE(Log().find("worker(0): ended.\n"), std::string::npos);
  Connect();
  ASSERT_TRUE(WaitUntil([] { return OccupiedSlotCount() == 1; }, 5000));
  EXPECT_TRUE(SessionActive(workerSlots[0]));
}

TEST_F(ServerTest, WatchdogEndsASessionOnItsSixHundredAndSecondPass) {
  SetTimingForTests(kFastTiming);
  StartServer();
  Socket client = Connect();
  auto start = Clock::now();
  ASSERT_TRUE(PeerClosesWithin(client, 20 * kIdleLimitPasses * kFastTiming.waitMs));
  // 602 passes of at least 5 ms each; generous at the top for a loaded machine.
  EXPECT_GE(MillisecondsSince(start), (kIdleLimitPasses + 1) * kFastTiming.waitMs);
  EXPECT_NE(Log().find("watchdog: socket of thread 0 is dead.\n"), std::string::npos);
  EXPECT_TRUE(WaitUntil([] { return OccupiedSlotCount() == 0; }, 5000));
}

TEST_F(ServerTest, AResetCounterKeepsTheSessionAlive) {
  SetTimingForTests(kFastTiming);
  StartServer();
  Socket client = Connect();
  ASSERT_TRUE(WaitUntil([] { return OccupiedSlotCount() == 1; }, 5000));
  auto start = Clock::now();
  while (MillisecondsSince(start) < 2 * (kIdleLimitPasses + 2) * kFastTiming.waitMs) {
    workerSlots[0].idleSeconds = 0;
    SleepMilliseconds(kFastTiming.waitMs);
  }
  EXPECT_EQ(NetWaitReadable(client, 0), 0);
  EXPECT_EQ(Log().find("is dead"), std::string::npos);
}

TEST_F(ServerTest, StopWithAllSlotsBusyClosesEveryConnectionWithinTheBoundedWait) {
  StartServer();
  ConnectAndWaitForWorkers(kWorkerSlotCount);
  auto start = Clock::now();
  EXPECT_EQ(StopServer(), 0);
  // The watchdog's last pass, then at most one pass of 64 shutdown steps.
  EXPECT_LT(MillisecondsSince(start), 2000);
  for (Socket s : clients_) EXPECT_TRUE(PeerClosesWithin(s, 2000));
}

TEST_F(ServerTest, APortInUseFailsTheStartWithItsNumberInTheLog) {
  int port = FreeLoopbackPort();
  Socket holder = NetOpenTcp();
  ASSERT_EQ(NetBindAnyAddress(holder, port), 0);
  ASSERT_EQ(NetListen(holder, 1), 0);
  listenPort = port;
  auto start = Clock::now();
  EXPECT_EQ(RunServer(), 1);
  EXPECT_LT(MillisecondsSince(start), 2000);
  std::string log = Log();
  std::string expected = "failed to bind to port " + std::to_string(port) + ". (error code = ";
  EXPECT_NE(log.find(expected), std::string::npos) << log;
  EXPECT_NE(log.find("threads watchdog thread ended.\n"), std::string::npos);
  NetClose(holder);
}

}  // namespace
