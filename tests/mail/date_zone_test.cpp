// The Date line carries the offset of the time zone the process runs in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "platform/environment.h"
#include "wizard/mail/mail.h"

namespace {

std::string DateInZone(const char* zone) {
  SetProcessEnvironment("TZ", zone);
  char* line = FormatDateHeader();
  std::string text = line != nullptr ? line : "";
  std::free(line);
  return text;
}

TEST(MailDateZoneTest, OffsetFollowsTheTimeZone) {
  const char* saved = std::getenv("TZ");
  std::string restore = saved != nullptr ? saved : "";
  std::regex shape(R"(Date: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), [1-9]\d? )"
                   R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d )"
                   R"([+-]\d{4})");
  struct Case { const char* zone; const char* offset; };
  for (Case c : {Case{"JST-9", "+0900"}, Case{"UTC0", "+0000"}, Case{"EST+5", "-0500"},
                 Case{"NPT-5:45", "+0545"}, Case{"NST+3:30", "-0330"}}) {
    std::string line = DateInZone(c.zone);
    EXPECT_TRUE(std::regex_match(line, shape)) << line;
    EXPECT_EQ(line.substr(line.size() - 5), c.offset) << c.zone;
  }
  if (saved != nullptr) {
    SetProcessEnvironment("TZ", restore.c_str());
  } else {
    unsetenv("TZ");
  }
}

}  // namespace
