#include "mapper/telnet/negotiation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

#include "mapper/telnet/telnet_stream.h"
#include "platform/threads.h"
#include "tests/support/socket_pair.h"

namespace {

using Bytes = std::vector<unsigned char>;

// What the server sends after each exchange: the session must find it intact.
const Bytes kFollowingText = {'l', 'o', 'g', 'i', 'n', ':', ' '};
// Sent by the mapper's end after the handler returned, so that the server's end
// knows when it has every byte of the reply.
const Bytes kReplyEnd = {'#', 'e', 'n', 'd', '#'};
constexpr int kWaitMs = 5000;

Bytes Join(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

bool EndsWith(const Bytes& bytes, const Bytes& tail) {
  if (bytes.size() < tail.size()) return false;
  return std::equal(tail.begin(), tail.end(),
                    bytes.end() - static_cast<std::ptrdiff_t>(tail.size()));
}

bool WaitFor(const std::atomic<bool>& flag, int milliseconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!flag.load()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    SleepMilliseconds(1);
  }
  return true;
}

// One loopback connection: the telnet server's end (far) and the mapper's end
// (near).
class Connection {
 public:
  bool open() const { return IsOpenSocket(pair_.near) && IsOpenSocket(pair_.far); }
  Socket mapper() const { return pair_.near; }

  void ServerSends(const Bytes& bytes) {
    NetSend(pair_.far, bytes.data(), static_cast<int>(bytes.size()));
  }

  void ServerCloses() {
    NetClose(pair_.far);
    pair_.far = kBadSocket;
  }

  // Reads one byte as the session does and hands it to the handler. False
  // when the handler did not return in time; it is then woken by ending the
  // connection, so that a test fails instead of hanging.
  bool HandleNextByte() {
    unsigned char byte = 0;
    if (TelnetReadByte(pair_.near, &byte) != 1) return false;
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread handler([byte, s = pair_.near, done] {
      TelnetHandleByte(byte, s);
      done->store(true);
    });
    if (WaitFor(*done, kWaitMs)) {
      handler.join();
      return true;
    }
    NetShutdown(pair_.near);
    if (WaitFor(*done, 1000)) {
      handler.join();
    } else {
      handler.detach();
    }
    return false;
  }

  // Every byte that the mapper's end has sent so far.
  Bytes ServerReceived() {
    NetSend(pair_.near, kReplyEnd.data(), static_cast<int>(kReplyEnd.size()));
    Bytes received;
    unsigned char chunk[512];
    while (!EndsWith(received, kReplyEnd) && NetWaitReadable(pair_.far, kWaitMs) == 1) {
      int got = NetReceive(pair_.far, chunk, sizeof chunk);
      if (got <= 0) break;
      received.insert(received.end(), chunk, chunk + got);
    }
    if (EndsWith(received, kReplyEnd)) received.resize(received.size() - kReplyEnd.size());
    return received;
  }

  // The next bytes the session would read, at most count of them.
  Bytes MapperReads(std::size_t count) {
    Bytes read;
    unsigned char byte;
    while (read.size() < count && NetWaitReadable(pair_.near, kWaitMs) == 1 &&
           TelnetReadByte(pair_.near, &byte) == 1) {
      read.push_back(byte);
    }
    return read;
  }

 private:
  SocketPair pair_;
};

// The server sends fromServer and then some text; the session reads the first
// byte and hands it to TelnetHandleByte.
struct Exchange {
  const char* what;
  Bytes fromServer;
  Bytes reply;     // exactly what the client sends back
  Bytes leftOver;  // what the session reads next, before the text
};

void CheckExchange(const Exchange& row) {
  SCOPED_TRACE(row.what);
  ResetEnvironChoiceForTests();
  Connection connection;
  ASSERT_TRUE(connection.open());
  connection.ServerSends(Join(row.fromServer, kFollowingText));
  ASSERT_TRUE(connection.HandleNextByte());
  EXPECT_EQ(connection.ServerReceived(), row.reply);
  Bytes expectedNext = Join(row.leftOver, kFollowingText);
  EXPECT_EQ(connection.MapperReads(expectedNext.size()), expectedNext);
}

const Bytes kWindowSize = {255, 250, 31, 0, 80, 0, 25, 255, 240};

class NegotiationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int major, minor;
    ASSERT_EQ(NetStartup(2, 2, &major, &minor), 0);
    ResetEnvironChoiceForTests();
  }
  void TearDown() override { NetCleanup(); }
};

TEST_F(NegotiationTest, ServerOffersOfEchoAndSgaAloneAreAccepted) {
  // clang-format off
  const Exchange rows[] = {
      {"WILL ECHO", {255, 251, 1}, {255, 253, 1}, {}},
      {"WILL SGA", {255, 251, 3}, {255, 253, 3}, {}},
      {"WILL TTYPE", {255, 251, 24}, {255, 254, 24}, {}},
      {"WILL 200", {255, 251, 200}, {255, 254, 200}, {}},
  };
  // clang-format on
  for (const Exchange& row : rows) CheckExchange(row);
}

TEST_F(NegotiationTest, WontAndDontAreAlwaysConfirmed) {
  // clang-format off
  const Exchange rows[] = {
      {"WONT ECHO", {255, 252, 1}, {255, 254, 1}, {}},
      {"WONT 200", {255, 252, 200}, {255, 254, 200}, {}},
      {"DONT ECHO", {255, 254, 1}, {255, 252, 1}, {}},
      {"DONT NAWS", {255, 254, 31}, {255, 252, 31}, {}},
      {"DONT 200", {255, 254, 200}, {255, 252, 200}, {}},
  };
  // clang-format on
  for (const Exchange& row : rows) CheckExchange(row);
}

TEST_F(NegotiationTest, DoIsAgreedForTheTerminalOptionsOnly) {
  // clang-format off
  const Exchange rows[] = {
      {"DO ECHO", {255, 253, 1}, {255, 251, 1}, {}},
      {"DO TTYPE", {255, 253, 24}, {255, 251, 24}, {}},
      {"DO NAWS", {255, 253, 31}, Join({255, 251, 31}, kWindowSize), {}},
      {"DO XDISPLOC", {255, 253, 35}, {255, 251, 35}, {}},
      {"DO OLD_ENVIRON", {255, 253, 36}, {255, 251, 36}, {}},
      {"DO NEW_ENVIRON", {255, 253, 39}, {255, 251, 39}, {}},
      {"DO SGA", {255, 253, 3}, {255, 252, 3}, {}},
      {"DO 200", {255, 253, 200}, {255, 252, 200}, {}},
  };
  // clang-format on
  for (const Exchange& row : rows) CheckExchange(row);
}

TEST_F(NegotiationTest, SubnegotiationsAreAnsweredWithTheFixedValues) {
  // clang-format off
  const Exchange rows[] = {
      {"TTYPE SEND", {255, 250, 24, 1, 255, 240},
       {255, 250, 24, 0, 'v', 't', '1', '0', '0', 255, 240}, {}},
      {"TTYPE with qualifier IS", {255, 250, 24, 0, 255, 240},
       {255, 250, 24, 0, 'v', 't', '1', '0', '0', 255, 240}, {}},
      {"XDISPLOC SEND", {255, 250, 35, 1, 255, 240},
       {255, 250, 35, 0, ':', '0', '.', '0', 255, 240}, {}},
      {"NAWS", {255, 250, 31, 1, 255, 240}, kWindowSize, {}},
      {"OLD_ENVIRON SEND", {255, 250, 36, 1, 255, 240}, {255, 250, 36, 0, 255, 240}, {}},
      {"NEW_ENVIRON SEND USER", {255, 250, 39, 1, 0, 85, 83, 69, 82, 255, 240},
       {255, 250, 39, 0, 255, 240}, {}},
      {"unknown option", {255, 250, 200, 1, 255, 240}, {255, 250, 200, 0, 255, 240}, {}},
  };
  // clang-format on
  for (const Exchange& row : rows) CheckExchange(row);
}

TEST_F(NegotiationTest, SubnegotiationBytesAreTakenByPosition) {
  // clang-format off
  const Exchange rows[] = {
      {"surplus byte of a fixed-length request stays in the stream",
       {255, 250, 24, 1, 65, 255, 240},
       {255, 250, 24, 0, 'v', 't', '1', '0', '0', 255, 240}, {240}},
      {"early IAC SE: the next text byte is taken as SE", {255, 250, 24, 255, 240, 'x'},
       {255, 250, 24, 0, 'v', 't', '1', '0', '0', 255, 240}, {}},
      {"environment qualifier 255 does not end the variables",
       {255, 250, 36, 255, 1, 255, 240}, {255, 250, 36, 0, 255, 240}, {}},
  };
  // clang-format on
  for (const Exchange& row : rows) CheckExchange(row);
}

TEST_F(NegotiationTest, OtherCommandsAndPlainTextSendNothing) {
  // clang-format off
  const Exchange rows[] = {
      {"IAC IAC", {255, 255}, {}, {}},
      {"NOP", {255, 241}, {}, {}},
      {"AYT", {255, 246}, {}, {}},
      {"EOF", {255, 236}, {}, {}},
      {"SE without SB", {255, 240}, {}, {}},
      {"GA", {255, 249}, {}, {}},
      {"unnamed command 0", {255, 0}, {}, {}},
      {"unnamed command 235", {255, 235}, {}, {}},
      {"text byte", {'A'}, {}, {}},
  };
  // clang-format on
  for (const Exchange& row : rows) CheckExchange(row);
}

TEST_F(NegotiationTest, RepeatedRequestIsAnsweredAgain) {
  Connection connection;
  ASSERT_TRUE(connection.open());
  connection.ServerSends({255, 253, 24, 255, 253, 24});
  ASSERT_TRUE(connection.HandleNextByte());
  ASSERT_TRUE(connection.HandleNextByte());
  EXPECT_EQ(connection.ServerReceived(), Bytes({255, 251, 24, 255, 251, 24}));
}

// A session that hands every byte it reads to the handler; the reply of all.
Bytes Session(const Bytes& fromServer, int commands) {
  Connection connection;
  EXPECT_TRUE(connection.open());
  connection.ServerSends(fromServer);
  for (int i = 0; i < commands; ++i) EXPECT_TRUE(connection.HandleNextByte());
  return connection.ServerReceived();
}

TEST_F(NegotiationTest, FirstEnvironmentOptionAskedForWinsForTheProcess) {
  const Bytes doNewThenOld = {255, 253, 39, 255, 253, 36};
  EXPECT_EQ(Session(doNewThenOld, 2), Bytes({255, 251, 39, 255, 252, 36}));
  EXPECT_EQ(EnvironChoice.load(), kEnvironNew);
  EXPECT_EQ(Session(doNewThenOld, 2), Bytes({255, 252, 39, 255, 252, 36}));

  ResetEnvironChoiceForTests();
  const Bytes doOldThenNew = {255, 253, 36, 255, 253, 39};
  EXPECT_EQ(Session(doOldThenNew, 2), Bytes({255, 251, 36, 255, 252, 39}));
  EXPECT_EQ(EnvironChoice.load(), kEnvironOld);
}

TEST_F(NegotiationTest, OnlyDoTakesTheEnvironmentChoice) {
  Bytes fromServer = {255, 251, 39, 255, 250, 39, 1, 255, 240, 255, 253, 36};
  EXPECT_EQ(Session(fromServer, 3), Bytes({255, 254, 39, 255, 250, 39, 0, 255, 240, 255, 251, 36}));
}

TEST_F(NegotiationTest, SessionsRacingForTheEnvironmentAcceptOnlyOne) {
  const Bytes willNew = {255, 251, 39};
  const Bytes willOld = {255, 251, 36};
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    ResetEnvironChoiceForTests();
    Connection first, second;
    ASSERT_TRUE(first.open() && second.open());
    first.ServerSends({255, 253, 39});
    second.ServerSends({255, 253, 36});
    unsigned char byte;
    ASSERT_EQ(TelnetReadByte(first.mapper(), &byte), 1);
    ASSERT_EQ(TelnetReadByte(second.mapper(), &byte), 1);
    std::atomic<bool> go{false};
    auto negotiate = [&go](Socket s) {
      while (!go.load()) std::this_thread::yield();
      TelnetHandleByte(255, s);
    };
    std::thread a(negotiate, first.mapper());
    std::thread b(negotiate, second.mapper());
    go.store(true);
    a.join();
    b.join();
    Bytes firstReply = first.ServerReceived();
    Bytes secondReply = second.ServerReceived();
    EXPECT_NE(firstReply == willNew, secondReply == willOld);
    if (firstReply == willNew) {
      EXPECT_EQ(secondReply, Bytes({255, 252, 36}));
      EXPECT_EQ(EnvironChoice.load(), kEnvironNew);
    } else {
      EXPECT_EQ(firstReply, Bytes({255, 252, 39}));
      EXPECT_EQ(EnvironChoice.load(), kEnvironOld);
    }
  }
}

TEST_F(NegotiationTest, ServerClosingMidCommandEndsTheHandlerAtOnce) {
  const Bytes cuts[] = {
      {255},
      {255, 253},
      {255, 250, 24, 1},
      {255, 250, 39, 1, 0, 85},
  };
  for (const Bytes& cut : cuts) {
    SCOPED_TRACE(testing::PrintToString(cut));
    Connection connection;
    ASSERT_TRUE(connection.open());
    connection.ServerSends(cut);
    connection.ServerCloses();
    EXPECT_TRUE(connection.HandleNextByte());
    unsigned char byte = 0;
    EXPECT_EQ(TelnetReadByte(connection.mapper(), &byte), 0);
  }
}

}  // namespace
