#include "mapper/telnet/telnet_stream.h"

#include <gtest/gtest.h>

#include <string>

#include "mapper/requests.h"
#include "tests/support/socket_pair.h"

namespace {

class TelnetStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int major, minor;
    ASSERT_EQ(NetStartup(2, 2, &major, &minor), 0);
  }
  void TearDown() override { NetCleanup(); }
};

std::string Line(const char* buffer, int length) { return std::string(buffer, length); }

TEST_F(TelnetStreamTest, RequestLineKeepsItsCrAndDropsItsLf) {
  SocketPair pair;
  pair.Send("DLOGIN\r\nnext\n");
  char buffer[2048];
  EXPECT_EQ(ReadRequestLine(pair.near, buffer, sizeof buffer), 7);
  EXPECT_STREQ(buffer, "DLOGIN\r");
  EXPECT_EQ(ReadRequestLine(pair.near, buffer, sizeof buffer), 4);
  EXPECT_STREQ(buffer, "next");
}

TEST_F(TelnetStreamTest, LfAsTheFirstByteIsText) {
  SocketPair pair;
  pair.Send("\nDDATA\n");
  char buffer[2048];
  ASSERT_EQ(ReadRequestLine(pair.near, buffer, sizeof buffer), 6);
  EXPECT_EQ(Line(buffer, 6), "\nDDATA");
}

TEST_F(TelnetStreamTest, AnOverlongLineComesInPiecesOfTheBufferSize) {
  SocketPair pair;
  pair.Send(std::string(3000, 'a') + "\n");
  char buffer[2048];
  EXPECT_EQ(ReadRequestLine(pair.near, buffer, sizeof buffer), 2047);
  EXPECT_EQ(buffer[2047], '\0');
  EXPECT_EQ(ReadRequestLine(pair.near, buffer, sizeof buffer), 953);
}

TEST_F(TelnetStreamTest, AConnectionClosedBeforeTheLineEndGivesMinusOne) {
  SocketPair pair;
  pair.Send("DLOG");
  NetShutdown(pair.far);
  char buffer[2048];
  EXPECT_EQ(ReadRequestLine(pair.near, buffer, sizeof buffer), -1);
  EXPECT_STREQ(buffer, "DLOG");
}

TEST_F(TelnetStreamTest, WritesSendTelnetLineEndsAndBytesUndoubled) {
  SocketPair pair;
  TelnetWriteChar(pair.near, '\n');
  TelnetWriteChar(pair.near, '\r');
  TelnetWriteChar(pair.near, 255);
  TelnetWriteWord(pair.near, 80);
  TelnetTypeLine(pair.near, "user\r");
  EXPECT_EQ(pair.Received(), std::string("\r\n\r\xff\x00P", 6) + "user\r\r\n");
}

TEST_F(TelnetStreamTest, ReadByteReportsEndOfStreamAndLeavesTheByte) {
  SocketPair pair;
  pair.Send("x");
  NetShutdown(pair.far);
  unsigned char byte = 0;
  EXPECT_EQ(TelnetReadByte(pair.near, &byte), 1);
  EXPECT_EQ(byte, 'x');
  EXPECT_EQ(TelnetReadByte(pair.near, &byte), 0);
  EXPECT_EQ(byte, 'x');
}

// Listens on a chosen port and reports whether someone connected.
class PortListener {
 public:
  explicit PortListener(int port) : socket_(NetOpenTcp()) {
    NetSetReuseAddress(socket_);
    bound_ = NetBindLoopback(socket_, port) == 0 && NetListen(socket_, 4) == 0;
  }
  ~PortListener() { NetClose(socket_); }
  bool Bound() const { return bound_; }
  bool Connected() const {
    if (NetWaitReadable(socket_, 2000) != 1) return false;
    PeerAddress peer{};
    Socket s = NetAccept(socket_, &peer);
    if (IsOpenSocket(s)) NetClose(s);
    return IsOpenSocket(s);
  }

 private:
  Socket socket_;
  bool bound_ = false;
};

TEST_F(TelnetStreamTest, ServiceNamesPortsAndTheTelnetDefault) {
  PortListener telnet(23);
  ASSERT_TRUE(telnet.Bound()) << "tests run as root in their own network namespace";
  for (const char* service : {"telnet", "", "0", "nosuchservice", "23x"}) {
    Socket s = TelnetConnect("127.0.0.1", service);
    ASSERT_TRUE(IsOpenSocket(s)) << service;
    EXPECT_TRUE(telnet.Connected()) << service;
    TelnetClose(s);
  }
  PortListener other(992);
  ASSERT_TRUE(other.Bound());
  Socket s = TelnetConnect("localhost", "992");
  ASSERT_TRUE(IsOpenSocket(s));
  EXPECT_TRUE(other.Connected());
  TelnetClose(s);
}

TEST_F(TelnetStreamTest, UnknownHostsAndRefusedConnectionsFail) {
  int closedPort = FreeLoopbackPort();
  EXPECT_EQ(TelnetConnect("127.0.0.1", std::to_string(closedPort).c_str()), kBadSocket);
  EXPECT_EQ(TelnetConnect("no-such-host.invalid", "23"), kBadSocket);
}

}  // namespace
