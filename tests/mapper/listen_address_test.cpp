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

constexpr MapperTiming kQuickPasses{50, 5, 0};
// Both are loopback addresses: a listener on every interface answers at
// each, so 127.0.0.2 stands for an interface the setting leaves out.
constexpr std::uint32_t kNamed = 0x0100007F;  // 127.0.0.1 in network order
constexpr std::uint32_t kOther = 0x0200007F;  // 127.0.0.2
constexpr int kServeLimitMs = 5000;

// The server on a free port with the setting as given; natively in a
// registry of the test's own, on Windows in the shared one, cleaned after.
class ListenAddressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int major, minor;
    ASSERT_EQ(NetStartup(2, 2, &major, &minor), 0);
    SetProcessEnvironment("VNTR_ROOT", temp_.path().string().c_str());
    SetTimingForTests(kQuickPasses);
    RemoveSetting();
  }

  void TearDown() override {
    if (server_.joinable()) {
      RequestLocalStop();
      server_.join();
    }
    RemoveSetting();
    NetCleanup();
  }

  static void SetSetting(const char* text) {
    RegistryKey key = nullptr;
    ASSERT_EQ(RegistryCreateKey(kMapperKey, &key), kRegistryOk);
    EXPECT_EQ(RegistrySetString(key, kListenAddressValue, text), kRegistryOk);
    RegistryCloseKey(key);
  }

  static void RemoveSetting() {
    RegistryKey key = nullptr;
    if (RegistryOpenKey(kMapperKey, RegistryAccess::kReadWrite, &key) != kRegistryOk) return;
    RegistryDeleteValue(key, kListenAddressValue);
    RegistryCloseKey(key);
  }

  void StartServer() {
    listenPort = FreeLoopbackPort();
    server_ = std::thread([this] { result_ = RunServer(); });
  }

  // Starts the server and waits until the address answers.
  void ServeUntilAnswering(std::uint32_t address) {
    StartServer();
    for (int waited = 0; !Answers(address); waited += 10) {
      ASSERT_LT(waited, kServeLimitMs) << "the server did not listen";
      SleepMilliseconds(10);
    }
  }

  static bool Answers(std::uint32_t address) {
    ScopedSocket probe(NetOpenTcp());
    return NetConnect(probe.Get(), address, static_cast<std::uint16_t>(listenPort)) == 0;
  }

  ScopedTempDir temp_;
  std::thread server_;
  static constexpr int kNotEnded = -99;
  std::atomic<int> result_{kNotEnded};
};

TEST_F(ListenAddressTest, TheListenerServesOnlyTheAddressTheSettingNames) {
  SetSetting("127.0.0.1");
  ServeUntilAnswering(kNamed);
  EXPECT_FALSE(Answers(kOther));
}

TEST_F(ListenAddressTest, WithoutTheSettingOrWithItEmptyEveryInterfaceIsServed) {
  ServeUntilAnswering(kOther);
  RequestLocalStop();
  server_.join();
  ClearLocalStop();

  SetSetting("");
  ServeUntilAnswering(kOther);
  EXPECT_TRUE(Answers(kNamed));
}

TEST_F(ListenAddressTest, ASettingThatIsNoAddressFailsTheStartInsteadOfServingEverywhere) {
  SetSetting("localhost");
  StartServer();
  for (int waited = 0; result_ == kNotEnded && waited < kServeLimitMs; waited += 10) {
    SleepMilliseconds(10);
  }
  EXPECT_EQ(result_, 1);
}

}  // namespace
