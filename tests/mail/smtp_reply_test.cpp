// The reply reader and the command bounds, over a loopback socket pair: whole
// multi-line replies, bounded lines, line counts and waits.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/threads.h"
#include "tests/support/socket_pair.h"
#include "wizard/mail/smtp.h"

namespace {

class MailSmtpReplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int major, minor;
    ASSERT_EQ(NetStartup(2, 0, &major, &minor), 0);
    SmtpTiming shortened;
    shortened.replyTimeoutMs = 1000;
    SetSmtpTimingForTests(shortened);
    pair = std::make_unique<SocketPair>();
    session.socket = pair->near;
  }
  void TearDown() override {
    SetSmtpTimingForTests(SmtpTiming{});
    pair.reset();
    NetCleanup();
  }

  // Made after the socket library has started, as Windows requires.
  std::unique_ptr<SocketPair> pair;
  SmtpSession session;
};

TEST_F(MailSmtpReplyTest, MultiLineReplyInTwoSegmentsIsReadWholeAndJudgedOnItsLastLine) {
  pair->Send("220-mail.example.test first\r\n");
  std::thread later([this] {
    SleepMilliseconds(150);
    pair->Send("220-more\r\n220 ready\r\n");
  });
  EXPECT_EQ(SmtpReadReply(session), 50);
  later.join();
  EXPECT_STREQ(session.reply, "220 ready");
}

TEST_F(MailSmtpReplyTest, LinesAfterAReplyWaitForTheNextRead) {
  pair->Send("250 first\r\n251 second\n354");
  ASSERT_EQ(SmtpReadReply(session), 11);
  EXPECT_STREQ(session.reply, "250 first");
  ASSERT_EQ(SmtpReadReply(session), 11);
  EXPECT_STREQ(session.reply, "251 second");
  pair->Send("\r\n");
  ASSERT_EQ(SmtpReadReply(session), 5);
  EXPECT_STREQ(session.reply, "354");
}

TEST_F(MailSmtpReplyTest, LineLengthIsBoundedAt512BytesWithItsLineEnd) {
  std::string longest = "250 " + std::string(506, 'x');
  pair->Send(longest + "\r\n");
  ASSERT_EQ(SmtpReadReply(session), 512);
  EXPECT_EQ(std::string(session.reply), longest);
  pair->Send("250 " + std::string(507, 'x') + "\r\n");
  EXPECT_EQ(SmtpReadReply(session), -1);
}

TEST_F(MailSmtpReplyTest, LineCountIsBounded) {
  std::string lines;
  for (int i = 0; i < kSmtpMaxReplyLines - 1; ++i) lines += "250-x\r\n";
  pair->Send(lines + "250 done\r\n");
  ASSERT_GT(SmtpReadReply(session), 0);
  EXPECT_STREQ(session.reply, "250 done");
  pair->Send(lines + "250-x\r\n250 done\r\n");
  EXPECT_EQ(SmtpReadReply(session), -1);
}

TEST_F(MailSmtpReplyTest, SilenceTrickleAndCloseFailWithinTheReplyTimeOut) {
  auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(SmtpReadReply(session), -1);
  auto waited = std::chrono::steady_clock::now() - began;
  EXPECT_GE(waited, std::chrono::milliseconds(900));
  EXPECT_LT(waited, std::chrono::milliseconds(3000));

  // One byte every 100 ms does not stretch the wait for a whole reply.
  std::thread trickle([this] {
    for (int i = 0; i < 15; ++i) {
      pair->Send("2");
      SleepMilliseconds(100);
    }
  });
  began = std::chrono::steady_clock::now();
  EXPECT_EQ(SmtpReadReply(session), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(1500));
  trickle.join();
}

TEST_F(MailSmtpReplyTest, ReplyEndingWithTheConnectionFails) {
  pair->Send("250-partial\r\n250 no line end");
  NetShutdown(pair->far);
  EXPECT_EQ(SmtpReadReply(session), -1);
}

TEST_F(MailSmtpReplyTest, OverLongCommandIsRefusedUnsent) {
  std::string longAddress(520, 'a');
  longAddress += "@x.test";
  EXPECT_EQ(SmtpMailFrom(session, longAddress.c_str()), -1);
  EXPECT_EQ(SmtpHelo(session, "no-domain@"), -1);
  EXPECT_EQ(pair->Received(), "");
}

TEST_F(MailSmtpReplyTest, UnusableFirstRecipientFailsTheListUnsent) {
  EXPECT_EQ(SmtpRcptTo(session, " ,hanako@example.test"), -1);
  EXPECT_EQ(pair->Received(), "");
}

}  // namespace
