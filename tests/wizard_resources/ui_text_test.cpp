// Texts taken from windows keep whole characters when they are cut to fit.
#include <gtest/gtest.h>

#include <cstring>

#include "wizard/ui_text.h"

TEST(UiText, ACutTextNeverEndsInsideACharacter) {
  char cut[4];
  FromWindowText(L"\u3042\u3044\u3046", cut, sizeof cut);
  EXPECT_STREQ(cut, "\x82\xa0");
  char ascii[4];
  FromWindowText(L"abcdef", ascii, sizeof ascii);
  EXPECT_STREQ(ascii, "abc");
  char mixed[5];
  FromWindowText(L"a\u3042\u3044", mixed, sizeof mixed);
  EXPECT_STREQ(mixed, "a\x82\xa0");
  char foreign[8];
  FromWindowText(L"caf\u00e9!", foreign, sizeof foreign);
  EXPECT_STREQ(foreign, "caf?!");
}
