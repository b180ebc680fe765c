#include "mapper/requests.h"

#include <gtest/gtest.h>

#include <string>

#include "mapper/login.h"

namespace {

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
