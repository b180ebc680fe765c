#include "mapper/server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mapper/log.h"
#include "mapper/session.h"
#include "mapper/shared_segment.h"
#include "mapper/timing.h"
#include "mapper/worker_slots.h"
#include "platform/threads.h"
#include "tests/support/loopback.h"
#include "tests/support/socket_pair.h"
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
    NetAcceptFailsOnResetForTests(false);
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

// A telnet server on loopback that plays one script on each connection it
// accepts, on its own thread, until the test ends it.
class ScriptedTelnetServer {
 public:
  using Script = std::function<void(Socket, const std::atomic<bool>& ending)>;

  explicit ScriptedTelnetServer(Script script) : script_(std::move(script)) {
    listener_ = NetOpenTcp();
    NetBindLoopback(listener_, 0);
    NetListen(listener_, 5);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedTelnetServer() {
    ending_ = true;
    thread_.join();
    NetClose(listener_);
  }
  std::string Port() const { return std::to_string(NetLocalPort(listener_)); }

 private:
  void Serve() {
    while (!ending_) {
      if (NetWaitReadable(listener_, 20) != 1) continue;
      PeerAddress peer{};
      Socket s = NetAccept(listener_, &peer);
      if (!IsOpenSocket(s)) continue;
      script_(s, ending_);
      NetClose(s);
    }
  }

  Script script_;
  std::atomic<bool> ending_{false};
  Socket listener_;
  std::thread thread_;
};

void SendText(Socket s, const std::string& text) {
  NetSend(s, text.data(), static_cast<int>(text.size()));
}

// Reads until the text has arrived or the test is ending; what was read.
std::string ReadUntil(Socket s, const std::string& text, const std::atomic<bool>& ending) {
  std::string got;
  char byte;
  while (!ending && got.find(text) == std::string::npos) {
    if (NetWaitReadable(s, 20) != 1) continue;
    if (NetReceive(s, &byte, 1) != 1) break;
    got += byte;
  }
  return got;
}

void HoldUntilEnding(const std::atomic<bool>& ending) {
  while (!ending) SleepMilliseconds(20);
}

// Prompts for the user id and the password, then hands the connection on.
void LogIn(Socket s, const std::atomic<bool>& ending) {
  SendText(s, "login: ");
  ReadUntil(s, "\r\n", ending);
  SendText(s, "Password: ");
  ReadUntil(s, "\r\n", ending);
}

std::string LoginRequest(const std::string& tag, const std::string& port) {
  return "DLOGIN\n" + tag + "\nalice\nsecretpw\n127.0.0.1\n" + port + "\n";
}

// The mapper's reply of three bytes, or "" when none came within 5 s.
std::string ReplyTo(Socket frontEnd) {
  std::string reply(3, '\0');
  if (NetWaitReadable(frontEnd, 5000) != 1 || NetReceive(frontEnd, &reply[0], 3) != 3) return "";
  return reply;
}

// Served: a login to a closed port gets "ng".
void ExpectServed(Socket frontEnd) {
  SendText(frontEnd, LoginRequest("after", std::to_string(FreeLoopbackPort())));
  EXPECT_EQ(ReplyTo(frontEnd), "ng\n");
}

// Windows' accept fails for a connection that its peer reset while it was
// queued; a peer that keeps doing so must not hold up the front ends behind.
TEST_F(ServerTest, ConnectionsResetInTheQueueDoNotHoldUpTheNextFrontEnd) {
  constexpr int kResets = 3;  // below the backlog, so no connect waits
  SetTimingForTests(MapperTiming{1000, 5, 0});
  NetAcceptFailsOnResetForTests(true);
  StartServer();
  for (int i = 0; i < kResets; ++i) {
    Socket s = NetOpenTcp();
    NetSetResetOnClose(s);
    NetConnectLoopback(s, listenPort);
    NetClose(s);
  }
  auto start = Clock::now();
  ExpectServed(Connect());
  EXPECT_LT(MillisecondsSince(start), 500);
  EXPECT_NE(Log().find("failed to accept the server socket. (error code = "), std::string::npos);
}

// Each stalled front end or server sits in one of the places where a thread
// of the session would wait on a socket; the platform's shutdown wakes none of
// them, as on Windows.
class StalledPeerTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    NetShutdownWakesNoOneForTests(true);
  }
  void TearDown() override {
    ServerTest::TearDown();
    NetShutdownWakesNoOneForTests(false);
    if (IsOpenSocket(queued_)) NetClose(queued_);
    if (IsOpenSocket(fullListener_)) NetClose(fullListener_);
  }

  // Five sessions: a login request without its fields, half a request line,
  // a server that never completes the connect (its accept queue is full), a
  // server stalling inside an environment request, and a front end that
  // reads nothing while its server floods the session with output.
  void StallEveryBlockingPlace() {
    fullListener_ = NetOpenTcp();
    NetBindLoopback(fullListener_, 0);
    NetListen(fullListener_, 0);
    queued_ = ConnectLoopback(NetLocalPort(fullListener_));
    std::atomic<bool> flooded{false};
    negotiation_ = std::make_unique<ScriptedTelnetServer>(
        [](Socket s, const std::atomic<bool>& ending) {
          SendText(s, "\xff\xfa\x27\x01");
          HoldUntilEnding(ending);
        });
    flood_ = std::make_unique<ScriptedTelnetServer>(
        [&flooded](Socket s, const std::atomic<bool>& ending) {
          LogIn(s, ending);
          NetSetSendTimeout(s, 200);
          std::string chunk(4096, 'x');
          for (int sent = 0; sent < 16384 && !ending; ++sent) {
            if (NetSend(s, chunk.data(), static_cast<int>(chunk.size())) <= 0) break;
          }
          flooded = true;
          HoldUntilEnding(ending);
        });
    SendText(Connect(), "DLOGIN\n");
    SendText(Connect(), "DLOG");
    SendText(Connect(), LoginRequest("connect", std::to_string(NetLocalPort(fullListener_))));
    SendText(Connect(), LoginRequest("stall", negotiation_->Port()));
    SendText(Connect(), LoginRequest("flood", flood_->Port()));
    // The watchdog must not end a session before it is in place.
    ASSERT_TRUE(WaitUntil(
        [&flooded] {
          for (WorkerSlot& slot : workerSlots) slot.idleSeconds = 0;
          return flooded.load();
        },
        30000));
    SleepMilliseconds(200);
  }

  std::unique_ptr<ScriptedTelnetServer> negotiation_;
  std::unique_ptr<ScriptedTelnetServer> flood_;
  Socket fullListener_ = kBadSocket;
  Socket queued_ = kBadSocket;
};

bool NoSessionActive() {
  for (const WorkerSlot& slot : workerSlots) {
    if (SessionActive(slot)) return false;
  }
  return true;
}

TEST_F(StalledPeerTest, StalledSessionsLetGoOfTheirSlotsSoonAfterTheWatchdogEndsThem) {
  SetTimingForTests(kFastTiming);
  StartServer();
  StallEveryBlockingPlace();
  ASSERT_EQ(OccupiedSlotCount(), 5);
  ASSERT_TRUE(WaitUntil(NoSessionActive, 20000));
  EXPECT_TRUE(WaitUntil([] { return OccupiedSlotCount() == 0; }, 2000));
  ExpectServed(Connect());
}

TEST_F(StalledPeerTest, StalledSessionsLetGoOfTheirSlotsSoonAfterAStop) {
  StartServer();
  StallEveryBlockingPlace();
  ASSERT_EQ(OccupiedSlotCount(), 5);
  StopServer();
  EXPECT_TRUE(WaitUntil([] { return OccupiedSlotCount() == 0; }, 2000));
}

// A line longer than the buffer never lends its tail to the next field or
// request: the rest of the line is dropped.
TEST_F(ServerTest, AnOverLongLineKeepsTheFieldsAndRequestsInStep) {
  std::string typed;
  std::atomic<bool> loggedIn{false}, typedAll{false};
  ScriptedTelnetServer server([&](Socket s, const std::atomic<bool>& ending) {
    LogIn(s, ending);
    loggedIn = true;
    typed = ReadUntil(s, "next\r\n", ending);
    typedAll = true;
  });
  StartServer();
  Socket client = Connect();
  SendText(client, LoginRequest(std::string(2100, 't'), server.Port()));
  ASSERT_TRUE(WaitUntil([&] { return loggedIn.load(); }, 5000));
  std::string text(kLineRoom - 1, 'a');
  SendText(client, "DDATA\n" + text + "DLOGOUT\nDDATA\nnext\n");
  ASSERT_TRUE(WaitUntil([&] { return typedAll.load(); }, 5000));
  EXPECT_EQ(typed, text + "\r\nnext\r\n");
  EXPECT_EQ(Log().find("secretpw"), std::string::npos);
}

// An empty field line joins the next, so the password moves up into the
// user id, which is logged, typed at the login prompt and echoed there. The
// request's further lines let that login go through.
TEST_F(ServerTest, APasswordMovedUpByAnEmptyFieldLineNeverReachesTheLog) {
  ScriptedTelnetServer server([](Socket s, const std::atomic<bool>& ending) {
    SendText(s, "login: ");
    SendText(s, ReadUntil(s, "\r\n", ending));
    SendText(s, "Password: ");
    ReadUntil(s, "\r\n", ending);
    HoldUntilEnding(ending);
  });
  StartServer();
  Socket client = Connect();
  SendText(client, "DLOGIN\n\nalice\nS3cr3tPW\n127.0.0.1\n127.0.0.1\n" + server.Port() + "\n");
  ASSERT_EQ(ReplyTo(client), "ok\n");
  EXPECT_EQ(Log().find("S3cr3tPW"), std::string::npos) << Log();
}

// The watchdog reads a session's state, then its count, then ends it; the
// slot may be freed and given to a new connection in between.
TEST(WorkerSlotTest, AnEndMeantForTheSessionSeenMissesTheNextSessionOfTheSlot) {
  struct Sockets {
    Sockets() { NetStartup(2, 2, &major, &minor); }
    ~Sockets() { NetCleanup(); }
    int major = 0, minor = 0;
  } sockets;
  ResetWorkerSlots();
  ThreadFunction leaveAtOnce = [](void* slot) { ReleaseSlot(*static_cast<WorkerSlot*>(slot)); };
  WorkerSlot& slot = workerSlots[0];
  SocketPair first, second;
  ASSERT_EQ(AssignWorkerSlot(first.near, PeerAddress{}, leaveAtOnce), 0);
  first.near = kNoSocket;  // the slot closes it
  ASSERT_TRUE(WaitUntil([&] { return slot.holders.load() == 1; }, 5000));
  unsigned seen = slot.inUse.load();
  ASSERT_TRUE(BeginSlotEnd(slot));
  FinishSlotEnd(slot);
  ASSERT_TRUE(SlotFree(slot));

  ASSERT_EQ(AssignWorkerSlot(second.near, PeerAddress{}, leaveAtOnce), 0);
  second.near = kNoSocket;
  ASSERT_TRUE(WaitUntil([&] { return slot.holders.load() == 1; }, 5000));
  EXPECT_FALSE(BeginSlotEndOf(slot, seen));
  EXPECT_TRUE(SessionActive(slot));
  ASSERT_TRUE(BeginSlotEnd(slot));
  FinishSlotEnd(slot);
}

}  // namespace
