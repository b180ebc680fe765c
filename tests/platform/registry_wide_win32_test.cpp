// Names and texts that Shift_JIS cannot hold, as another program may write
// them into the registry, and the conversions behind them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/registry.h"
#include "platform/shift_jis_win32.h"

namespace {

const std::string kYamada = "\x8e\x52\x93\x63";  // 山田 in Shift_JIS

TEST(ShiftJisTest, CharactersOutsideShiftJisAreNamedNeverBestFitted) {
  EXPECT_EQ(ShiftJisFromWide(L"caf\u00e9 \u5c71\u7530"), "caf? " + kYamada);
  EXPECT_EQ(FindNonShiftJis(L"\u5c71caf\u00e9"), 4u);
  EXPECT_EQ(FindNonShiftJis(L"\u5c71\u7530 \uff5e"), std::wstring::npos);
  EXPECT_EQ(ShiftJisFromWide(L"x\U0001F600"), "x?");
  EXPECT_EQ(CodePointAt(L"x\U0001F600", 1), U'\U0001F600');
  EXPECT_EQ(WideFromShiftJis(kYamada + "\x87\x40"), L"\u5c71\u7530\u2460");
}

TEST(ShiftJisTest, RegistryTextsNameTheSameCharactersAgain) {
  for (const wchar_t* wide : {L"Zo\u00eb", L"\U0001F600\u5c71", L"&#x41; & &#", L"&#x110000;"}) {
    std::string text = RegistryTextFromWide(wide);
    EXPECT_EQ(WideFromRegistryText(text), wide) << text;
  }
  EXPECT_EQ(RegistryTextFromWide(L"Zo\u00eb"), "Zo&#xEB;");
  EXPECT_EQ(RegistryTextFromWide(L"\u5c71\u7530"), kYamada);
}

struct WideKey {
  HKEY handle = nullptr;
  ~WideKey() {
    RegDeleteTreeW(handle, nullptr);
    RegCloseKey(handle);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VntrTests\\Wide", KEY_WOW64_32KEY, 0);
  }
};

// The value another program wrote is listed, read, rewritten and deleted
// through the form the listing gave, and no other value appears.
TEST(RegistryWideTest, AValueNamedOutsideShiftJisIsReachedThroughItsListedName) {
  WideKey raw;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VntrTests\\Wide", 0, nullptr, 0,
                            KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &raw.handle, nullptr),
            ERROR_SUCCESS);
  const wchar_t address[] = L"zo\u00eb@example.test";
  ASSERT_EQ(RegSetValueExW(raw.handle, L"Zo\u00eb", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(address), sizeof address),
            ERROR_SUCCESS);

  RegistryKey key = nullptr;
  ASSERT_EQ(RegistryOpenKey("SOFTWARE\\VntrTests\\Wide", RegistryAccess::kFull, &key),
            kRegistryOk);
  char name[64];
  char data[64];
  ASSERT_EQ(RegistryEnumString(key, 0, name, sizeof name, data, sizeof data), kRegistryOk);
  EXPECT_STREQ(name, "Zo&#xEB;");
  EXPECT_STREQ(data, "zo&#xEB;@example.test");
  EXPECT_TRUE(RegistryValueNamesMatch(name, "ZO&#xCB;"));

  ASSERT_EQ(RegistrySetString(key, name, "new@example.test"), kRegistryOk);
  wchar_t stored[64];
  DWORD size = sizeof stored;
  ASSERT_EQ(RegQueryValueExW(raw.handle, L"Zo\u00eb", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(stored), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(stored, L"new@example.test");
  EXPECT_EQ(RegistryEnumValue(key, 1, name, sizeof name), kRegistryNoMoreItems);

  ASSERT_EQ(RegistryDeleteValue(key, "Zo&#xEB;"), kRegistryOk);
  EXPECT_EQ(RegQueryValueExW(raw.handle, L"Zo\u00eb", nullptr, nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
  RegistryCloseKey(key);
}

}  // namespace
