#include "mapper/requests.h"

#include <gtest/gtest.h>

#include <string>

#include "mapper/login.h"
#include "tests/support/socket_pair.h"

namespace {

using RequestLineTest = SocketTest;

std::string Line(const char* buffer, int length) { return std::string(buffer, length); }

TEST_F(RequestLineTest, KeepsItsCrAndDropsItsLf) {
  SocketPair pair;
  pair.Send("DLOGIN\r\nnext\n");
  char buffer[2048];
  EXPECT_EQ(ReadRequestLine(pair.near, buffer, sizeof buffer), 7);
  EXPECT_STREQ(buffer, "DLOGIN\r");
  EXPECT_EQ(ReadRequestLine(pair.near, buffer, sizeof buffer), 4);
  EXPECT_STREQ(buffer, "next");
}

TEST_F(RequestLineTest, LfAsTheFirstByteIsText) {
  SocketPair pair;
  pair.Send("\nDDATA\n");
  char buffer[2048];
  ASSERT_EQ(ReadRequestLine(pair.near, buffer, sizeof buffer), 6);
  EXPECT_EQ(Line(buffer, 6), "\nDDATA");
}

TEST_F(RequestLineTest, AnOverlongLineComesInPiecesOfTheBufferSize) {
  SocketPair pair;
  pair.Send(std::string(3000, 'a') + "\n");
  char buffer[2048];
  EXPECT_EQ(ReadRequestLine(pair.near, buffer, sizeof buffer), 2047);
  EXPECT_EQ(buffer[2047], '\0');
  EXPECT_EQ(ReadRequestLine(pair.near, buffer, sizeof buffer), 953);
}

TEST_F(RequestLineTest, AConnectionClosedBeforeTheLineEndGivesMinusOne) {
  SocketPair pair;
  pair.Send("DLOG");
  NetShutdown(pair.far);
  char buffer[2048];
  EXPECT_EQ(ReadRequestLine(pair.near, buffer, sizeof buffer), -1);
  EXPECT_STREQ(buffer, "DLOG");
}

TEST(ClassifyRequest, LeadingWordsIgnoreCaseAndWhatFollows) {
  EXPECT_EQ(ClassifyRequest("DLOGIN"), Request::kLogin);
  EXPECT_EQ(ClassifyRequest("dlogin\r"), Request::kLogin);
  EXPECT_EQ(ClassifyRequest("DLOGINX"), Request::kLogin);
  EXPECT_EQ(ClassifyRequest("DDATA123"), Request::kData);
  EXPECT_EQ(ClassifyRequest("dData"), Request::kData);
  EXPECT_EQ(ClassifyRequest("dlogout"), Request::kLogout);
  EXPECT_EQ(ClassifyRequest("DLOGOU"), Request::kNone);
  EXPECT_EQ(ClassifyRequest("LOGIN"), Request::kNone);
  EXPECT_EQ(ClassifyRequest(" DLOGIN"), Request::kNone);
  EXPECT_EQ(ClassifyRequest(""), Request::kNone);
}

TEST(LoginLine, KeepsTheNewestBytesPastItsRoom) {
  LoginLine line;
  for (int i = 0; i < 5000; ++i) line.Append('b');
  for (char c : std::string("host login: ")) line.Append(static_cast<unsigned char>(c));
  EXPECT_TRUE(line.Contains("host login: "));
  EXPECT_LE(std::string(line.Text()).size(), LoginLine::kRoom);
  std::string text = line.Text();
  EXPECT_EQ(text.substr(text.size() - 12), "host login: ");
}

TEST(LoginLine, ClearForgetsEverything) {
  LoginLine line;
  for (char c : std::string("Password")) line.Append(static_cast<unsigned char>(c));
  line.Clear();
  line.Append(':');
  EXPECT_FALSE(line.Contains("Password:"));
}

}  // namespace
