// The link message byte for byte, from the message, the typed host name and
// the host candidate table.
#include "wizard/core/link_message.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/pages/test_texts.h"
#include "wizard/discovery/host_table.h"

namespace {

struct LinkCase {
  const char* name;
  const char* message;  // null: none
  const char* typedHostName;
  std::vector<std::pair<const char*, const char*>> candidates;  // address, host name
  std::string expected;
};

// リンクです。
const char kSjisMessage[] = "\x83\x8a\x83\x93\x83N\x82\xc5\x82\xb7\x81\x42";

TEST(LinkMessageTest, LayoutForEveryKindOfHost) {
  // clang-format off
  const std::vector<LinkCase> cases = {
      {"message alone", "Hello", "", {}, "Hello"},
      {"no message", nullptr, "typed.example.test", {},
       "\r\nhttp://typed.example.test\r\n"},
      {"resolved then unresolved", kSjisMessage, "",
       {{"192.0.2.1", "host1.example.test"}, {"192.0.2.2", ""}},
       std::string(kSjisMessage) +
           "\r\nhttp://host1.example.test\r\n(=> http://192.0.2.1 )\r\n"
           "\r\nhttp://192.0.2.2\r\n"},
      {"host beginning with a digit or upper case", "M", "",
       {{"192.0.2.3", "3com.example.test"}, {"192.0.2.4", "Zeta.example.test"}},
       "M\r\nhttp://3com.example.test\r\n"
       "\r\nhttp://Zeta.example.test\r\n(=> http://192.0.2.4 )\r\n"},
      {"typed host first, without a note, also when detected", "M", "host1.example.test",
       {{"192.0.2.1", "host1.example.test"}},
       "M\r\nhttp://host1.example.test\r\n"
       "\r\nhttp://host1.example.test\r\n(=> http://192.0.2.1 )\r\n"},
      {"five candidates", "", "",
       {{"192.0.2.11", ""}, {"192.0.2.12", ""}, {"192.0.2.13", ""}, {"192.0.2.14", ""},
        {"192.0.2.15", "e.example.test"}},
       "\r\nhttp://192.0.2.11\r\n\r\nhttp://192.0.2.12\r\n\r\nhttp://192.0.2.13\r\n"
       "\r\nhttp://192.0.2.14\r\n\r\nhttp://e.example.test\r\n(=> http://192.0.2.15 )\r\n"},
  };
  // clang-format on
  for (const LinkCase& c : cases) {
    SCOPED_TRACE(c.name);
    ClearHostCandidates();
    for (const auto& [address, host] : c.candidates) AddHostCandidate(address, host);

    char* text = ComposeLinkMessage(c.message, c.typedHostName, LoadTestText);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), c.expected);
    std::free(text);
  }
  ClearHostCandidates();
}

// Copy and Send compose while a detection may be clearing and refilling the
// table (its last entry overwritten once full): every candidate must come
// out whole, its name with its own address.
TEST(LinkMessageTest, CompositionsRacingADetectionSeeOnlyWholeEntries) {
  std::atomic<bool> composing{true};
  std::thread detection([&composing] {
    for (int run = 0; composing && run < 10000000; ++run) {
      ClearHostCandidates();
      for (int i = 0; i < 7; ++i) {
        std::string tag = std::to_string(run % 100) + "-" + std::to_string(i);
        AddHostCandidate(("10.0." + tag).c_str(), ("r" + tag + ".example.test").c_str());
      }
    }
  });
  const std::regex whole(
      R"(((\r\nhttp://r(\d+)-(\d)\.example\.test\r\n\(=> http://10\.0\.\3-\4 \)\r\n))*)");
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  int torn = 0;
  for (int i = 0; i < 20000 && std::chrono::steady_clock::now() < deadline; ++i) {
    char* text = ComposeLinkMessage("", "", LoadTestText);
    if (text != nullptr && !std::regex_match(text, whole)) ++torn;
    std::free(text);
  }
  composing = false;
  detection.join();
  ClearHostCandidates();
  EXPECT_EQ(torn, 0);
}

}  // namespace
