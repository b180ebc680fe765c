// Texts taken from windows keep whole characters when they are cut to fit.
#include <gtest/gtest.h>

#include <cstring>

#include "wizard/ui_text.h"

TEST(UiText, ACutTextNeverEndsInsideADoubleByteCharacter) {
  const char* text = "\x82\xa0\x82\xa2\x82\xa4";  // three Shift_JIS characters
  char cut[4];
  FromWindowText(text, cut, sizeof cut);
  EXPECT_STREQ(cut, "\x82\xa0");
  char ascii[4];
  FromWindowText("abcdef", ascii, sizeof ascii);
  EXPECT_STREQ(ascii, "abc");
  char mixed[5];
  FromWindowText("a\x82\xa0\x82\xa2", mixed, sizeof mixed);
  EXPECT_STREQ(mixed, "a\x82\xa0");
}
