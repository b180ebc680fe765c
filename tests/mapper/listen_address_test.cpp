#include "mapper/listen_address.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "mapper/server.h"
#include "mapper/settings_key.h"
#include "mapper/shared_segment.h"
#include "mapper/timing.h"
#include "platform/environment.h"
#include "platform/registry.h"
#include "platform/threads.h"
#include "tests/support/loopback.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kNotEnded = -99;
constexpr int kServeLimitMs = 5000;

bool Answers(const char* dotted) {
  ScopedSocket probe(NetOpenTcp());
  return NetConnect(probe.Get(), NetParseDotted(dotted), listenPort) == 0;
}

// The server with the setting, on a free port, until 127.0.0.1 answers or the
// server ends. Natively the registry is the test's own, on Windows the shared
// one, whose value goes at the end.
class ListenAddressTest : public ::testing::Test {
 protected:
  void Serve(const char* setting) {
    int major, minor;
    ASSERT_EQ(NetStartup(2, 2, &major, &minor), 0);
    SetProcessEnvironment("VNTR_ROOT", temp_.path().string().c_str());
    SetTimingForTests({50, 5, 0});
    ASSERT_EQ(RegistryCreateKey(kMapperKey, &key_), kRegistryOk);
    ASSERT_EQ(RegistrySetString(key_, kListenAddressValue, setting), kRegistryOk);
    listenPort = FreeLoopbackPort();
    server_ = std::thread([this] { result_ = RunServer(); });
    for (int waited = 0; result_ == kNotEnded && !Answers("127.0.0.1"); waited += 10) {
      ASSERT_LT(waited, kServeLimitMs) << "the server neither served nor ended";
      SleepMilliseconds(10);
    }
  }

  void TearDown() override {
    RequestLocalStop();
    if (server_.joinable()) server_.join();
    if (key_ != nullptr) RegistryDeleteValue(key_, kListenAddressValue);
    RegistryCloseKey(key_);
    NetCleanup();
  }

  ScopedTempDir temp_;
  RegistryKey key_ = nullptr;
  std::thread server_;
  std::atomic<int> result_{kNotEnded};
};

// 127.0.0.2 is loopback too, so a listener on every interface answers there:
// it stands for an interface that the setting leaves out.
TEST_F(ListenAddressTest, TheSettingBindsOnlyTheAddressItNames) {
  Serve("127.0.0.1");
  EXPECT_FALSE(Answers("127.0.0.2"));
}

TEST_F(ListenAddressTest, ASettingThatIsNoAddressFailsTheStartInsteadOfServingEverywhere) {
  Serve("localhost");
  EXPECT_FALSE(Answers("127.0.0.2"));
  EXPECT_EQ(result_, 1);
}

}  // namespace
