// Reading the envelope out of the wizard's texts: the server setting and the
// sender and recipient forms.
#include <gtest/gtest.h>

#include <string>

#include "wizard/mail/mail_address.h"
#include "wizard/mail/smtp.h"

namespace {

TEST(MailParseServerAddressTest, SchemeHostPortAndPathAreSplit) {
  struct Case { const char* text; const char* host; unsigned port; };
  for (Case c : {Case{"smtp://mail.example.test:587/relay", "mail.example.test", 587},
                 Case{"mail.example.test", "mail.example.test", 0},
                 Case{"mail.example.test:", "mail.example.test", 0},
                 Case{"mail.example.test:x25", "mail.example.test", 0},
                 Case{"10.0.0.5:2525abc", "10.0.0.5", 2525},
                 Case{"a://b://c/d:9", "b", 0},
                 Case{"host:65561", "host", 25}, Case{"", "", 0}}) {
    char host[64];
    std::uint16_t port = 99;
    ASSERT_EQ(ParseServerAddress(c.text, host, sizeof host, &port), 0) << c.text;
    EXPECT_STREQ(host, c.host) << c.text;
    EXPECT_EQ(port, c.port) << c.text;
  }
  std::string longHost(300, 'h');
  char host[256];
  std::uint16_t port = 0;
  EXPECT_EQ(ParseServerAddress(longHost.c_str(), host, sizeof host, &port), -1);
}

TEST(MailParseMailAddressTest, AddressAndNameOfEachForm) {
  struct Case { const char* text; const char* name; const char* address; };
  for (Case c : {Case{"Taro Yamada <taro@example.test>", "Taro Yamada", "taro@example.test"},
                 Case{"\"Yamada, <T>\" <taro@example.test>", "Yamada, <T>", "taro@example.test"},
                 Case{"taro@example.test (Taro)", "Taro", "taro@example.test"},
                 Case{"  taro@example.test  ", "", "taro@example.test"},
                 Case{"Taro <taro@example.test", "", "taro@example.test"},
                 Case{"Taro <taro@example.test (T", "T", "taro@example.test"},
                 Case{"a <b <c@example.test>", "a", "c@example.test"},
                 Case{"Taro <>", "Taro", ""}}) {
    std::string copy = c.text;
    char* name = nullptr;
    char* address = nullptr;
    ParseMailAddress(&copy[0], &name, &address);
    ASSERT_NE(address, nullptr) << c.text;
    EXPECT_STREQ(name, c.name) << c.text;
    EXPECT_STREQ(address, c.address) << c.text;
  }
  char empty[] = "";
  char* name = empty;
  char* address = empty;
  ParseMailAddress(empty, &name, &address);
  EXPECT_EQ(address, nullptr);
  EXPECT_EQ(name, nullptr);
}

}  // namespace
