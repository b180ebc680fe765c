#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "mapper/telnet/telnet_stream.h"
#include "platform/threads.h"

namespace {

using Clock = std::chrono::steady_clock;

// The sandbox's resolver asks 127.0.0.1 alone; a socket bound there that
// reads nothing is a DNS server that never answers.
TEST(HostLookupTest, AConnectLetsGoOfAHostLookUpThatNeverEnds) {
  constexpr int kSliceMs = 100;
  constexpr int kGiveUpAfterMs = 100;
  int major, minor;
  ASSERT_EQ(NetStartup(2, 2, &major, &minor), 0);
  ScopedSocket silentDns(NetOpenUdp());
  ASSERT_EQ(NetBindLoopback(silentDns.Get(), 53), 0) << "port 53 of 127.0.0.1 is taken";
  std::atomic<bool> keepWaiting{true};
  std::thread giveUp([&keepWaiting] {
    SleepMilliseconds(kGiveUpAfterMs);
    keepWaiting = false;
  });
  auto start = Clock::now();
  Socket s = TelnetConnectWhile(
      "never.answered.test", "23", kSliceMs,
      [](const void* keep) { return static_cast<const std::atomic<bool>*>(keep)->load(); },
      &keepWaiting);
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  giveUp.join();
  EXPECT_EQ(s, kBadSocket);
  EXPECT_LT(elapsed.count(), kGiveUpAfterMs + 4 * kSliceMs);
  NetCleanup();
}

}  // namespace
