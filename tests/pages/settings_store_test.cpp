// The address book and the mail settings on the file-backed registry: the
// rules that decide what is stored, what is listed and what is refused.
#include "wizard/core/settings_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/pages/registry_root.h"
#include "wizard/core/submission_settings.h"

namespace {

// A list box without sorting: lines keep the order they were added in.
class FakeRecipientList final : public RecipientListView {
 public:
  int AddLine(const char* name) override {
    lines.push_back(name);
    return static_cast<int>(lines.size()) - 1;
  }
  void SelectLine(int index) override { selected = index; }
  int SelectedLine() override { return selected; }
  void DeleteLine(int index) override {
    lines.erase(lines.begin() + index);
    if (selected == index) selected = -1;
    if (selected > index) --selected;
  }
  void ShowRefusal(RecipientRefusal reason) override { refusals.push_back(reason); }

  std::vector<std::string> lines;
  int selected = -1;
  std::vector<RecipientRefusal> refusals;
};

// Every value of a key as "name=data", read through the registry layer
// with room to spare, so that nothing the store hides is missed.
std::vector<std::string> StoredValues(const char* subKey) {
  std::vector<std::string> values;
  RegistryKey key = nullptr;
  if (RegistryOpenKey(subKey, RegistryAccess::kQuery, &key) != kRegistryOk) return values;
  static char name[4096];
  static char data[4096];
  for (unsigned i = 0; RegistryEnumValue(key, i, name, sizeof name) == kRegistryOk; ++i) {
    bool read = RegistryGetString(key, name, data, sizeof data) == kRegistryOk;
    values.push_back(std::string(name) + "=" + (read ? data : "?"));
  }
  RegistryCloseKey(key);
  return values;
}

void SetByHand(const char* subKey, const std::string& name, const std::string& data) {
  RegistryKey key = nullptr;
  ASSERT_EQ(RegistryOpenKey(subKey, RegistryAccess::kFull, &key), kRegistryOk);
  EXPECT_EQ(RegistrySetString(key, name.c_str(), data.c_str()), kRegistryOk);
  RegistryCloseKey(key);
}

std::vector<std::string> Listed() {
  FakeRecipientList list;
  FillRecipientList(list);
  return list.lines;
}

using Lines = std::vector<std::string>;

class SettingsStoreTest : public ::testing::Test {
 protected:
  TempRegistryRoot root_;
};

class AddressBookTest : public SettingsStoreTest {
 protected:
  void SetUp() override { EnsureSettingsKeys(); }
  FakeRecipientList list_;
};

TEST_F(SettingsStoreTest, FirstRunCreatesBothKeysEmptyAndLaterRunsKeepThem) {
  EnsureSettingsKeys();
  for (const char* subKey : {kSettingsKey, kRecipientKey}) {
    RegistryKey key = nullptr;
    EXPECT_EQ(RegistryOpenKey(subKey, RegistryAccess::kFull, &key), kRegistryOk) << subKey;
    RegistryCloseKey(key);
  }
  char buffer[kSettingRoom];
  for (MailSetting setting : {kFromAddressSetting, kMailServerSetting, kMessageSetting}) {
    EXPECT_EQ(LoadMailSetting(setting, buffer), -1);
    EXPECT_STREQ(buffer, "");
  }
  EXPECT_FALSE(HasRecipients());

  SaveMailSetting(kMessageSetting, "kept");
  EnsureSettingsKeys();
  EXPECT_EQ(LoadMailSetting(kMessageSetting, buffer), 5);
}

TEST_F(SettingsStoreTest, SettingsAreStoredUnderTheirNamesWithTheirNul) {
  EnsureSettingsKeys();
  const char sjisMessage[] = "\x82\xb1\x82\xea\x82\xcd message";  // これは message
  SaveMailSetting(kFromAddressSetting, "taro@example.test");
  SaveMailSetting(kMailServerSetting, "mail.example.test:2525");
  SaveMailSetting(kMessageSetting, sjisMessage);

  RegistryKey key = nullptr;
  ASSERT_EQ(RegistryOpenKey(kSettingsKey, RegistryAccess::kQuery, &key), kRegistryOk);
  for (const std::string& text :
       {std::string("fromaddr=taro@example.test"), std::string("mailserver=mail.example.test:2525"),
        std::string("message=") + sjisMessage}) {
    std::string name = text.substr(0, text.find('='));
    std::string value = text.substr(name.size() + 1);
    char data[64];
    std::size_t stored = 0;
    ASSERT_EQ(RegistryReadValue(key, name.c_str(), data, sizeof data, &stored), kRegistryOk);
    EXPECT_EQ(std::string(data, stored), value + '\0') << name;
  }
  RegistryCloseKey(key);

  char buffer[kSettingRoom];
  EXPECT_EQ(LoadMailSetting(kMessageSetting, buffer), static_cast<int>(sizeof sjisMessage));
  EXPECT_STREQ(buffer, sjisMessage);
}

TEST_F(SettingsStoreTest, SettingBeyondTheReadLimitReadsAsAbsent) {
  EnsureSettingsKeys();
  char buffer[kSettingRoom];
  SaveMailSetting(kMailServerSetting, std::string(510, 'a').c_str());
  EXPECT_EQ(LoadMailSetting(kMailServerSetting, buffer), 511);
  EXPECT_EQ(std::string(buffer), std::string(510, 'a'));
  SaveMailSetting(kMailServerSetting, std::string(511, 'b').c_str());
  EXPECT_EQ(LoadMailSetting(kMailServerSetting, buffer), -1);
  EXPECT_STREQ(buffer, "");
}

TEST_F(AddressBookTest, NameOfAnotherEntryInAnyLetterCaseIsRefused) {
  ASSERT_TRUE(AddRecipient(list_, "Alice", "alice@example.test"));
  ASSERT_TRUE(AddRecipient(list_, "bob", "bob@example.test"));
  EXPECT_FALSE(AddRecipient(list_, "ALICE", "other@example.test"));
  EXPECT_FALSE(ChangeRecipient(list_, "bob", "aLiCe", "other@example.test"));

  EXPECT_EQ(list_.refusals, (std::vector<RecipientRefusal>{RecipientRefusal::kDuplicateName,
                                                           RecipientRefusal::kDuplicateName}));
  EXPECT_EQ(list_.lines, (Lines{"Alice", "bob"}));
  EXPECT_EQ(list_.selected, 1);
  EXPECT_EQ(StoredValues(kRecipientKey),
            (Lines{"Alice=alice@example.test", "bob=bob@example.test"}));
}

// A rename to the same name in other letter case replaces the entry; the
// same name exactly rewrites only the address, in place.
TEST_F(AddressBookTest, ModifyingAnEntryUnderItsOwnNameLeavesOneEntry) {
  ASSERT_TRUE(AddRecipient(list_, "alice", "alice@example.test"));
  ASSERT_TRUE(AddRecipient(list_, "bob", "bob@example.test"));
  list_.SelectLine(0);
  EXPECT_TRUE(ChangeRecipient(list_, "alice", "Alice", "new@example.test"));
  EXPECT_EQ(list_.lines, (Lines{"bob", "Alice"}));
  EXPECT_EQ(list_.selected, 1);
  EXPECT_EQ(StoredValues(kRecipientKey), (Lines{"bob=bob@example.test", "Alice=new@example.test"}));

  list_.SelectLine(0);
  EXPECT_TRUE(ChangeRecipient(list_, "bob", "bob", "robert@example.test"));
  EXPECT_EQ(list_.lines, (Lines{"bob", "Alice"}));
  EXPECT_EQ(list_.selected, 0);
  EXPECT_EQ(StoredValues(kRecipientKey),
            (Lines{"bob=robert@example.test", "Alice=new@example.test"}));
  EXPECT_STREQ(GetRecipientAddress("BOB"), "robert@example.test");
  EXPECT_TRUE(list_.refusals.empty());
}

// The enumeration reads names and addresses into 256 bytes each.
TEST_F(AddressBookTest, EntryBeyondTheEnumerationRoomHidesItselfAndEveryLaterOne) {
  const std::string longest(255, 'n');
  const std::string tooLong(300, 'x');
  ASSERT_TRUE(AddRecipient(list_, "first", "first@example.test"));
  ASSERT_TRUE(AddRecipient(list_, longest.c_str(), std::string(255, 'a').c_str()));
  SetByHand(kRecipientKey, tooLong, "hidden@example.test");
  ASSERT_TRUE(AddRecipient(list_, "later", "later@example.test"));
  EXPECT_EQ(Listed(), (Lines{"first", longest}));

  SetByHand(kRecipientKey, "first", std::string(256, 'a'));
  EXPECT_EQ(Listed(), Lines{});
  EXPECT_FALSE(HasRecipients());
}

TEST_F(SettingsStoreTest, EditsThatCannotBeStoredAreRefusedAndChangeNothing) {
  FakeRecipientList list;
  EXPECT_FALSE(AddRecipient(list, "alice", "alice@example.test"));  // no recipient key yet
  EnsureSettingsKeys();
  ASSERT_TRUE(AddRecipient(list, "alice", "alice@example.test"));

  // Values are written through a temporary file beside them; a folder in
  // its place makes every write of the key fail, also for root.
  std::filesystem::create_directory(
      root_.KeyFolder("software/tarvik/vantor vntrlink/5.5/addrlist/.values.tmp"));
  EXPECT_FALSE(AddRecipient(list, "bob", "bob@example.test"));
  EXPECT_FALSE(ChangeRecipient(list, "alice", "carol", "carol@example.test"));
  EXPECT_FALSE(ChangeRecipient(list, "alice", "ALICE", "carol@example.test"));
  EXPECT_FALSE(ChangeRecipient(list, "alice", "alice", "carol@example.test"));

  EXPECT_EQ(list.refusals, std::vector<RecipientRefusal>(5, RecipientRefusal::kNotSaved));
  EXPECT_EQ(list.lines, Lines{"alice"});
  EXPECT_EQ(list.selected, 0);
  EXPECT_EQ(StoredValues(kRecipientKey), Lines{"alice=alice@example.test"});
}

}  // namespace

// What an administrator writes by hand is taken only where it means
// something; the password goes in clear only after an explicit choice.
TEST_F(SettingsStoreTest, SubmissionSettingsReadWhatIsMeantAndNothingElse) {
  EnsureSettingsKeys();
  SubmissionSettings settings;
  LoadSubmissionSettings(&settings);
  EXPECT_EQ(EffectiveSecurity(settings, "SMTPS://mail.example.test"), SmtpSecurity::kTls);
  EXPECT_EQ(EffectiveSecurity(settings, "mail.example.test:465"), SmtpSecurity::kNone);
  SetByHand(kSettingsKey, "smtpsecurity", "1");  // a text, not a number
  SetByHand(kSettingsKey, "smtpport", "587");
  LoadSubmissionSettings(&settings);
  EXPECT_EQ(settings.port, 0u);
  EXPECT_FALSE(settings.securityChosen);
  settings.authenticate = true;
  EXPECT_FALSE(SubmissionFor(settings, "mail.example.test", "").passwordInClear);

  settings.securityChosen = true;
  settings.security = SmtpSecurity::kNone;
  ASSERT_TRUE(SaveSubmissionSettings(settings, "p\xC3\xA4ss"));
  LoadSubmissionSettings(&settings);
  char password[kSmtpPasswordRoom];
  LoadSmtpPassword(password);
  EXPECT_STREQ(password, "p\xC3\xA4ss");
  EXPECT_EQ(EffectiveSecurity(settings, "smtps://mail.example.test"), SmtpSecurity::kNone);
  EXPECT_TRUE(SubmissionFor(settings, "mail.example.test", password).passwordInClear);
}
