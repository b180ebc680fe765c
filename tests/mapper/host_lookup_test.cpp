#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "mapper/telnet/telnet_stream.h"

namespace {

// The sandbox's resolver asks 127.0.0.1 alone: a socket bound there that
// reads nothing is a DNS server that never answers.
TEST(HostLookupTest, AConnectLetsGoOfAHostLookUpThatNeverEnds) {
  int major, minor;
  ASSERT_EQ(NetStartup(2, 2, &major, &minor), 0);
  ScopedSocket silentDns(NetOpenUdp());
  ASSERT_EQ(NetBindLoopback(silentDns.Get(), 53), 0);
  using Clock = std::chrono::steady_clock;
  auto giveUp = Clock::now() + std::chrono::milliseconds(100);
  Socket s = TelnetConnectWhile(
      "never.answered.test", "23", 100,
      [](const void* at) { return Clock::now() < *static_cast<const Clock::time_point*>(at); },
      &giveUp);
  EXPECT_EQ(s, kBadSocket);
  EXPECT_LT(Clock::now() - giveUp, std::chrono::milliseconds(400));
  NetCleanup();
}

}  // namespace
