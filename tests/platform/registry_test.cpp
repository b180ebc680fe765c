#include "platform/registry.h"

#include "platform/environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string UniqueSuffix() {
  std::random_device device;
  auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return std::to_string(device()) + "-" + std::to_string(now);
}

// A fresh folder tree for the file-backed registry, removed when the program
// ends; the Windows registry does not look at it.
class TempRegistryRoot {
 public:
  TempRegistryRoot()
      : path_(std::filesystem::temp_directory_path() / ("vntr-registry-" + UniqueSuffix())) {
    std::filesystem::create_directories(path_);
  }
  ~TempRegistryRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  void Select() { SetProcessEnvironment("VNTR_ROOT", path_.string().c_str()); }

 private:
  std::filesystem::path path_;
};

struct Key {
  RegistryKey handle = nullptr;
  ~Key() { RegistryCloseKey(handle); }
};

std::vector<std::string> ValueNames(RegistryKey key) {
  std::vector<std::string> names;
  char name[256];
  for (unsigned i = 0; RegistryEnumValue(key, i, name, sizeof name) == kRegistryOk; ++i) {
    names.push_back(name);
  }
  return names;
}

std::string GetString(RegistryKey key, const char* name) {
  char buffer[256];
  long result = RegistryGetString(key, name, buffer, sizeof buffer);
  return result == kRegistryOk ? buffer : "error " + std::to_string(result);
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static TempRegistryRoot root;
    root.Select();
    ASSERT_EQ(RegistryCreateKey(name_.c_str(), &key_.handle), kRegistryOk);
  }
  void TearDown() override {
    char name[256];
    while (RegistryEnumValue(key_.handle, 0, name, sizeof name) == kRegistryOk &&
           RegistryDeleteValue(key_.handle, name) == kRegistryOk) {
    }
  }

  const std::string name_ = "SOFTWARE\\VntrTests\\" + UniqueSuffix();
  Key key_;
};

TEST_F(RegistryTest, CreateMakesParentsAndKeyNamesIgnoreCase) {
  Key leaf, parent, again;
  ASSERT_EQ(RegistryCreateKey((name_ + "\\Vantor\\5.5").c_str(), &leaf.handle), kRegistryOk);
  ASSERT_EQ(RegistrySetString(leaf.handle, "mapper_debug", "1"), kRegistryOk);
  std::string otherCase = name_ + "\\vANTOR";
  EXPECT_EQ(RegistryOpenKey(otherCase.c_str(), RegistryAccess::kQuery, &parent.handle),
            kRegistryOk);
  ASSERT_EQ(RegistryCreateKey((otherCase + "\\5.5").c_str(), &again.handle), kRegistryOk);
  EXPECT_EQ(RegistryDeleteValue(again.handle, "mapper_debug"), kRegistryOk);
}

TEST_F(RegistryTest, StringsRoundTripAsBytes) {
  const char shiftJis[] = "\x93\xfa\x96\x7b \x83\x65\x83\x58\x83\x67";
  ASSERT_EQ(RegistrySetString(key_.handle, "fromaddr", "user@example.test"), kRegistryOk);
  ASSERT_EQ(RegistrySetString(key_.handle, "message", shiftJis), kRegistryOk);
  ASSERT_EQ(RegistrySetString(key_.handle, "\x93\xfa\x96\x7b", ""), kRegistryOk);

  EXPECT_EQ(GetString(key_.handle, "fromaddr"), "user@example.test");
  EXPECT_EQ(GetString(key_.handle, "message"), shiftJis);
  EXPECT_EQ(GetString(key_.handle, "\x93\xfa\x96\x7b"), "");
  EXPECT_EQ(RegistryQueryValue(key_.handle, "\x93\xfa\x96\x7b"), kRegistryOk);
}

TEST_F(RegistryTest, MissingKeyOrValueIsNotFound) {
  Key key;
  std::string missing = name_ + "\\Missing";
  EXPECT_EQ(RegistryOpenKey(missing.c_str(), RegistryAccess::kQuery, &key.handle),
            kRegistryNotFound);
  EXPECT_EQ(RegistryOpenKey(missing.c_str(), RegistryAccess::kReadWrite, &key.handle),
            kRegistryNotFound);
  char buffer[16];
  EXPECT_EQ(RegistryQueryValue(key_.handle, "absent"), kRegistryNotFound);
  EXPECT_EQ(RegistryGetString(key_.handle, "absent", buffer, sizeof buffer), kRegistryNotFound);
  EXPECT_EQ(RegistryDeleteValue(key_.handle, "absent"), kRegistryNotFound);
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  ASSERT_EQ(RegistrySetString(key_.handle, "Foo", "1"), kRegistryOk);
  EXPECT_EQ(GetString(key_.handle, "FOO"), "1");
  ASSERT_EQ(RegistrySetString(key_.handle, "fOO", "2"), kRegistryOk);
  EXPECT_EQ(ValueNames(key_.handle), std::vector<std::string>{"Foo"});
  EXPECT_EQ(GetString(key_.handle, "foo"), "2");
}

// Windows lists values in creation order and Wine in name order, so only the
// contents of the listing are common ground.
TEST_F(RegistryTest, EnumerationListsEachValueOnceThenEnds) {
  for (const char* name : {"b", "a", "c", "A"}) {
    ASSERT_EQ(RegistrySetString(key_.handle, name, name), kRegistryOk);
  }
  ASSERT_EQ(RegistryDeleteValue(key_.handle, "b"), kRegistryOk);
  std::vector<std::string> names = ValueNames(key_.handle);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a", "c"}));
  char name[8];
  EXPECT_EQ(RegistryEnumValue(key_.handle, 2, name, sizeof name), kRegistryNoMoreItems);
  EXPECT_EQ(GetString(key_.handle, "a"), "A");
}

TEST_F(RegistryTest, QueryHandleReadsButRefusesWrites) {
  ASSERT_EQ(RegistrySetString(key_.handle, "message", "kept"), kRegistryOk);
  Key reader;
  ASSERT_EQ(RegistryOpenKey(name_.c_str(), RegistryAccess::kQuery, &reader.handle), kRegistryOk);
  EXPECT_EQ(RegistrySetString(reader.handle, "message", "lost"), kRegistryAccessDenied);
  EXPECT_EQ(RegistrySetString(reader.handle, "other", "lost"), kRegistryAccessDenied);
  EXPECT_EQ(RegistryDeleteValue(reader.handle, "message"), kRegistryAccessDenied);
  EXPECT_EQ(GetString(reader.handle, "message"), "kept");
  EXPECT_EQ(ValueNames(reader.handle), std::vector<std::string>{"message"});
}

TEST_F(RegistryTest, BufferWithoutRoomForTheNulGivesMoreData) {
  ASSERT_EQ(RegistrySetString(key_.handle, "abcd", "wxyz"), kRegistryOk);
  char buffer[5];
  EXPECT_EQ(RegistryGetString(key_.handle, "abcd", buffer, 4), kRegistryMoreData);
  EXPECT_EQ(RegistryEnumValue(key_.handle, 0, buffer, 4), kRegistryMoreData);
  ASSERT_EQ(RegistryGetString(key_.handle, "abcd", buffer, 5), kRegistryOk);
  EXPECT_STREQ(buffer, "wxyz");
  ASSERT_EQ(RegistryEnumValue(key_.handle, 0, buffer, 5), kRegistryOk);
  EXPECT_STREQ(buffer, "abcd");
}

TEST_F(RegistryTest, EnumeratedStringsAndReadValuesComeWholeOrNotAtAll) {
  ASSERT_EQ(RegistrySetString(key_.handle, "abcd", "wxyz"), kRegistryOk);
  char name[5];
  char data[5];
  EXPECT_EQ(RegistryEnumString(key_.handle, 0, name, 4, data, 5), kRegistryMoreData);
  EXPECT_EQ(RegistryEnumString(key_.handle, 0, name, 5, data, 4), kRegistryMoreData);
  ASSERT_EQ(RegistryEnumString(key_.handle, 0, name, 5, data, 5), kRegistryOk);
  EXPECT_STREQ(name, "abcd");
  EXPECT_STREQ(data, "wxyz");
  EXPECT_EQ(RegistryEnumString(key_.handle, 1, name, 5, data, 5), kRegistryNoMoreItems);

  char raw[8];
  std::size_t stored = 0;
  EXPECT_EQ(RegistryReadValue(key_.handle, "ABCD", raw, 4, &stored), kRegistryMoreData);
  ASSERT_EQ(RegistryReadValue(key_.handle, "ABCD", raw, sizeof raw, &stored), kRegistryOk);
  EXPECT_EQ(std::string(raw, stored), std::string("wxyz", 5));
  EXPECT_TRUE(RegistryValueNamesMatch("Alice", "aLICE"));
  EXPECT_FALSE(RegistryValueNamesMatch("Alice", "Alicia"));
}

// Each write opens its own handle, as the programs do.
TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  constexpr int kPerThread = 25;
  auto writer = [this](char tag) {
    for (int i = 0; i < kPerThread; ++i) {
      Key key;
      ASSERT_EQ(RegistryCreateKey(name_.c_str(), &key.handle), kRegistryOk);
      std::string name = tag + std::to_string(i);
      ASSERT_EQ(RegistrySetString(key.handle, name.c_str(), name.c_str()), kRegistryOk);
    }
  };
  std::thread first(writer, 'x'), second(writer, 'y');
  first.join();
  second.join();
  EXPECT_EQ(ValueNames(key_.handle).size(), 2u * kPerThread);
}

}  // namespace
