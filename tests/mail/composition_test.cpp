// The message text: Shift_JIS to ISO-2022-JP, encoded words, dot stuffing,
// the Date line and the order of the header lines. Random text is checked
// against Python's codecs in mail_oracle_test.py; these are the worked
// examples and the edges.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "wizard/mail/date_header.h"
#include "wizard/mail/jis.h"
#include "wizard/mail/mail.h"
#include "wizard/mail/message.h"

namespace {

// Takes ownership of a malloc'd result; "<null>" for none.
std::string Take(char* text) {
  if (text == nullptr) return "<null>";
  std::string copy(text);
  std::free(text);
  return copy;
}

std::string Jis(const std::string& sjis) { return Take(SjisToJis(sjis.c_str())); }

const std::string kToJis = "\x1b$B";
const std::string kToAscii = "\x1b(B";

TEST(MailSjisToJisTest, PairArithmeticGivesTheJisRowAndCell) {
  struct Case { unsigned char c1, c2; unsigned expected; };
  for (Case c : {Case{0x82, 0xA0, 0x2422}, Case{0x88, 0x9F, 0x3021}, Case{0xE0, 0x40, 0x5F21},
                 Case{0x81, 0x40, 0x2121}, Case{0xEA, 0xA4, 0x7426}}) {
    unsigned char c1 = c.c1;
    unsigned char c2 = c.c2;
    SjisPairToJis(&c1, &c2);
    EXPECT_EQ(c1 * 256u + c2, c.expected) << std::hex << c.c1 * 256 + c.c2;
  }
}

TEST(MailSjisToJisTest, HalfWidthKatakanaFoldsWithTheMarksItCanTake) {
  EXPECT_EQ(Jis("\xb6\xde"), kToJis + "\x25\x2c" + kToAscii);          // ｶﾞ -> ガ
  EXPECT_EQ(Jis("\xc5\xde"), kToJis + "\x25\x4a\x21\x2b" + kToAscii);  // ﾅﾞ -> ナ゛
  EXPECT_EQ(Jis("\xca\xdf"), kToJis + "\x25\x51" + kToAscii);          // ﾊﾟ -> パ
  EXPECT_EQ(Jis("\xb3\xde"), kToJis + "\x25\x74" + kToAscii);          // ｳﾞ -> ヴ
  EXPECT_EQ(Jis("\xb6\xdf"), kToJis + "\x25\x2b\x21\x2c" + kToAscii);  // ｶﾟ -> カ゜
  EXPECT_EQ(Jis("a\xa0"), "a" + kToJis + "\x21\x21" + kToAscii);       // ideographic space
  EXPECT_EQ(Jis("\xde"), kToJis + "\x21\x2b" + kToAscii);              // a lone mark
}

TEST(MailSjisToJisTest, EscapesOpenOnceAndEveryLineEndsInAscii) {
  EXPECT_EQ(Jis("Vantor URL\r\n"), "Vantor URL\r\n");
  EXPECT_EQ(Jis("a\x82\xa0\xb1\r\n\x82\xa2"),
            "a" + kToJis + "\x24\x22\x25\x22" + kToAscii + "\r\n" + kToJis + "\x24\x24" +
                kToAscii);
  EXPECT_EQ(Jis(""), "");
  EXPECT_EQ(Take(SjisToJis(nullptr)), "<null>");
}

TEST(MailSjisToJisTest, LeadByteAtTheEndIsDroppedWithoutReadingPastIt) {
  EXPECT_EQ(Jis("a\x82"), "a");
  EXPECT_EQ(Jis("\x82\xa0\x82"), kToJis + "\x24\x22" + kToAscii);
}

TEST(MailEncodeWordsTest, EachJisRunBecomesOneWord) {
  EXPECT_EQ(Take(EncodeHeaderText("Vantor URL")), "Vantor URL");
  // ESC $ B 24 22 24 24 ESC ( B
  EXPECT_EQ(Take(EncodeHeaderText("\x82\xa0\x82\xa2")), "=?ISO-2022-JP?B?GyRCJCIkJBsoQg==?=");
  EXPECT_EQ(Take(EncodeHeaderText("\x82\xa0 x \x82\xa2")),
            "=?ISO-2022-JP?B?GyRCJCIbKEI=?= x =?ISO-2022-JP?B?GyRCJCQbKEI=?=");
}

TEST(MailEncodeWordsTest, UnclosedRunIsEncodedToTheEndAndClosed) {
  std::string unclosed = "x " + kToJis + "\x24\x22";
  EXPECT_EQ(Take(EncodeWords(unclosed.c_str())), "x =?ISO-2022-JP?B?GyRCJCIbKEI=?=");
  std::string onlyEscape = kToJis;
  EXPECT_EQ(Take(EncodeWords(onlyEscape.c_str())), "=?ISO-2022-JP?B?GyRCGyhC?=");
}

TEST(MailDotStuffTest, EveryLineBeginningWithAPeriodGetsOneMore) {
  EXPECT_EQ(Take(DotStuff(".a\r\n.\r\nb.\r\n..x\n.")), "..a\r\n..\r\nb.\r\n...x\n..");
  EXPECT_EQ(Take(DotStuff("plain\r\n")), "plain\r\n");
}

TEST(MailDateLineTest, NamesAreEnglishAndTheZoneIsTheRealOffset) {
  char line[100];
  LocalTimeParts time{2026, 12, 6, 0, 13, 45, 7, 540};
  ASSERT_GT(FormatDateLine(time, line, sizeof line), 0u);
  EXPECT_STREQ(line, "Date: Sun, 6 Dec 2026 13:45:07 +0900");
  time = LocalTimeParts{2027, 1, 15, 5, 4, 5, 6, -330};
  FormatDateLine(time, line, sizeof line);
  EXPECT_STREQ(line, "Date: Fri, 15 Jan 2027 04:05:06 -0530");
  time.utcOffsetMinutes = 0;
  FormatDateLine(time, line, sizeof line);
  EXPECT_STREQ(line, "Date: Fri, 15 Jan 2027 04:05:06 +0000");
  EXPECT_EQ(FormatDateLine(time, line, 20), 0u);
}

struct Capture {
  std::vector<std::string> pieces;
  std::size_t failAt = SIZE_MAX;
  static int Sink(void* context, const char* text) {
    auto* capture = static_cast<Capture*>(context);
    if (capture->pieces.size() == capture->failAt) return -1;
    capture->pieces.emplace_back(text);
    return 0;
  }
};

TEST(MailComposeMessageTest, HeaderLinesComeInTheirOrderAndEmptyOnesAreLeftOut) {
  Capture all;
  ASSERT_EQ(ComposeMessage({"a@x.test", "b@y.test", "c@z.test", "Vantor URL", ".\r\nbody\r\n"},
                           Capture::Sink, &all), 0);
  ASSERT_EQ(all.pieces.size(), 10u);
  EXPECT_EQ(all.pieces[0].substr(0, 6), "Date: ");
  EXPECT_EQ(all.pieces[0].substr(all.pieces[0].size() - 2), "\r\n");
  std::vector<std::string> rest(all.pieces.begin() + 1, all.pieces.end());
  EXPECT_EQ(rest, (std::vector<std::string>{
                      "X-Mailer: vntr smtp client Version 1.0\r\n", "MIME-Version: 1.0\r\n",
                      "Content-Type: text/plain; charset=iso-2022-jp\r\n", "From: a@x.test\r\n",
                      "To: b@y.test\r\n", "cc: c@z.test\r\n", "Subject: Vantor URL\r\n", "\r\n",
                      "..\r\nbody\r\n"}));

  Capture bare;
  ASSERT_EQ(ComposeMessage({"", "b@y.test", nullptr, "", ""}, Capture::Sink, &bare), 0);
  EXPECT_EQ(bare.pieces.size(), 5u);
  EXPECT_EQ(bare.pieces.back(), "To: b@y.test\r\n");
}

TEST(MailComposeMessageTest, LongHeaderLineGoesOutWholeAndAFailedSendStops) {
  std::string subject(3000, 'S');
  Capture all;
  ASSERT_EQ(ComposeMessage({"a@x.test", "b@y.test", "", subject.c_str(), ""}, Capture::Sink, &all),
            0);
  EXPECT_EQ(all.pieces.back(), "Subject: " + subject + "\r\n");

  Capture failing;
  failing.failAt = 2;
  EXPECT_EQ(ComposeMessage({"a@x.test", "b@y.test", "", "s", "b"}, Capture::Sink, &failing), -1);
  EXPECT_EQ(failing.pieces.size(), 2u);
}

}  // namespace
