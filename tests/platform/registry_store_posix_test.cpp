#include "platform/registry.h"

#include "platform/environment.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>  // mkdtemp
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr char kMagic[] = "VNTRREG1";

std::string Record(std::uint32_t type, const std::string& name, const std::string& data) {
  std::string bytes;
  for (std::uint32_t number : {type, std::uint32_t(name.size()), std::uint32_t(data.size())}) {
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(number >> shift);
  }
  return bytes + name + data;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> ValueNames(RegistryKey key) {
  std::vector<std::string> names;
  char name[256];
  for (unsigned i = 0; RegistryEnumValue(key, i, name, sizeof name) == kRegistryOk; ++i) {
    names.push_back(name);
  }
  return names;
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "vntr-store-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    SetProcessEnvironment("VNTR_ROOT", root_.c_str());
    ASSERT_EQ(RegistryCreateKey("SOFTWARE\\Tarvik\\Vantor", &key_), kRegistryOk);
  }
  void TearDown() override {
    RegistryCloseKey(key_);
    fs::remove_all(root_);
  }
  fs::path KeyFolder() const { return root_ / "registry" / "software" / "tarvik" / "vantor"; }

  // Runs body in a child process that ends without running this one's clean-up.
  template <typename Body>
  pid_t Fork(Body body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body() ? 0 : 1);
    return pid;
  }

  fs::path root_;
  RegistryKey key_ = nullptr;
};

TEST_F(RegistryStoreTest, EnumerationFollowsCreationOrder) {
  for (const char* name : {"b", "a", "c", "A"}) RegistrySetString(key_, name, name);
  EXPECT_EQ(ValueNames(key_), (std::vector<std::string>{"b", "a", "c"}));
  RegistryDeleteValue(key_, "a");
  RegistrySetString(key_, "a", "again");
  EXPECT_EQ(ValueNames(key_), (std::vector<std::string>{"b", "c", "a"}));
}

TEST_F(RegistryStoreTest, KeyNamesStayInsideTheirParent) {
  RegistryKey key = nullptr;
  for (const char* name : {"SOFTWARE\\..\\..\\Outside", "SOFTWARE\\Tarvik\\Vantor\\.values",
                           "SOFTWARE\\Tarvik\\Vantor\\a/b"}) {
    ASSERT_EQ(RegistryCreateKey(name, &key), kRegistryOk) << name;
    RegistryCloseKey(key);
  }
  EXPECT_EQ(RegistrySetString(key_, "mapper_debug", "1"), kRegistryOk);
  EXPECT_EQ(RegistryOpenKey("SOFTWARE\\Tarvik\\Vantor\\a", RegistryAccess::kQuery, &key),
            kRegistryNotFound);
  std::vector<fs::path> top{fs::directory_iterator(root_), fs::directory_iterator()};
  EXPECT_EQ(top, std::vector<fs::path>{root_ / "registry"});
}

TEST_F(RegistryStoreTest, HandWrittenValuesOfOtherShapesAreRead) {
  WriteFile(KeyFolder() / ".values", kMagic +
                                         Record(4, "mapper_debug", std::string("\1\0\0\0", 4)) +
                                         Record(1, "unterminated", "text"));
  char buffer[5];
  EXPECT_EQ(RegistryQueryValue(key_, "MAPPER_DEBUG"), kRegistryOk);
  EXPECT_EQ(RegistryGetString(key_, "mapper_debug", buffer, sizeof buffer), kRegistryInvalidData);
  EXPECT_EQ(RegistryGetString(key_, "unterminated", buffer, 4), kRegistryMoreData);
  ASSERT_EQ(RegistryGetString(key_, "unterminated", buffer, 5), kRegistryOk);
  EXPECT_STREQ(buffer, "text");
}

TEST_F(RegistryStoreTest, LeftoverOfAnInterruptedWriteIsIgnored) {
  ASSERT_EQ(RegistrySetString(key_, "old", "kept"), kRegistryOk);
  WriteFile(KeyFolder() / ".values.tmp", "half a wri");
  EXPECT_EQ(RegistryQueryValue(key_, "old"), kRegistryOk);
  ASSERT_EQ(RegistrySetString(key_, "new", "added"), kRegistryOk);
  EXPECT_EQ(ValueNames(key_), (std::vector<std::string>{"old", "new"}));
}

// Cut at every length, the file reads as an error unless the cut falls between
// whole values, and a write never replaces what it cannot read.
TEST_F(RegistryStoreTest, DamagedValuesFileIsAnErrorNotACrash) {
  RegistrySetString(key_, "first", "one");
  RegistrySetString(key_, "second", "two");
  const fs::path file = KeyFolder() / ".values";
  const std::string whole = ReadFile(file);
  int wholeFiles = 0;
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    WriteFile(file, whole.substr(0, cut));
    long result = RegistryQueryValue(key_, "second");
    ASSERT_NE(result, kRegistryOk) << cut;
    if (result == kRegistryNotFound) {
      ++wholeFiles;
      continue;
    }
    EXPECT_NE(RegistrySetString(key_, "third", "3"), kRegistryOk) << cut;
    EXPECT_EQ(ReadFile(file), whole.substr(0, cut)) << cut;
  }
  // The header alone, and the header with the first value.
  EXPECT_EQ(wholeFiles, 2);
}

TEST_F(RegistryStoreTest, KilledWriterLeavesTheOldOrTheNewValue) {
  const std::string big(256 * 1024, 'x');
  ASSERT_EQ(RegistrySetString(key_, "big", big.c_str()), kRegistryOk);
  std::vector<char> buffer(big.size() + 1);
  for (int round = 0; round < 20; ++round) {
    pid_t writer = Fork([&] {
      for (char fill = 'a';; fill = fill == 'z' ? 'a' : fill + 1) {
        RegistrySetString(key_, "big", std::string(big.size(), fill).c_str());
      }
      return true;
    });
    usleep(1000 * (1 + round % 7));
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    ASSERT_EQ(RegistryGetString(key_, "big", buffer.data(), buffer.size()), kRegistryOk);
    EXPECT_EQ(std::string(buffer.data()), std::string(big.size(), buffer[0]));
  }
}

// Like HKEY_LOCAL_MACHINE: every user reads it, only its owner writes it,
// whatever umask the writing process has.
TEST_F(RegistryStoreTest, ModesDoNotDependOnTheUmask) {
  for (mode_t mask : {mode_t{0}, mode_t{077}}) {
    const std::string name = "umask" + std::to_string(mask);
    const mode_t previous = umask(mask);
    RegistryKey key = nullptr;
    long created = RegistryCreateKey(("SOFTWARE\\" + name + "\\Key").c_str(), &key);
    long written = RegistrySetString(key, "value", "1");
    RegistryCloseKey(key);
    umask(previous);
    ASSERT_EQ(created, kRegistryOk);
    ASSERT_EQ(written, kRegistryOk);
    const fs::path parent = root_ / "registry" / "software" / name;
    for (const fs::path& folder : {parent, parent / "key"}) {
      EXPECT_EQ(static_cast<int>(fs::status(folder).permissions()), 0755) << folder << mask;
    }
    EXPECT_EQ(static_cast<int>(fs::status(parent / "key" / ".values").permissions()), 0644) << mask;
  }
}

// A key's values are one file: while it holds a secret, others read none.
TEST_F(RegistryStoreTest, ASecretKeepsItsKeysValuesFromOthers) {
  const fs::path values = KeyFolder() / ".values";
  ASSERT_EQ(RegistrySetString(key_, "user", "taro"), kRegistryOk);
  ASSERT_EQ(static_cast<int>(fs::status(values).permissions()), 0644);
  ASSERT_EQ(RegistrySetSecret(key_, "password", "secret", 6), kRegistryOk);
  ASSERT_EQ(RegistrySetString(key_, "later", "1"), kRegistryOk);
  EXPECT_EQ(static_cast<int>(fs::status(values).permissions()), 0600);
  char read[16];
  std::size_t stored = 0;
  ASSERT_EQ(RegistryGetSecret(key_, "password", read, sizeof read, &stored), kRegistryOk);
  EXPECT_EQ(std::string(read, stored), "secret");
  ASSERT_EQ(RegistryDeleteValue(key_, "password"), kRegistryOk);
  EXPECT_EQ(static_cast<int>(fs::status(values).permissions()), 0644);
}

TEST_F(RegistryStoreTest, WritersInSeparateProcessesLoseNothing) {
  constexpr int kPerProcess = 20;
  std::vector<pid_t> writers;
  for (char tag : {'x', 'y'}) {
    writers.push_back(Fork([&] {
      bool ok = true;
      for (int i = 0; i < kPerProcess; ++i) {
        std::string name = tag + std::to_string(i);
        ok = RegistrySetString(key_, name.c_str(), "1") == kRegistryOk && ok;
      }
      return ok;
    }));
  }
  for (pid_t writer : writers) {
    int status = -1;
    waitpid(writer, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(ValueNames(key_).size(), 2u * kPerProcess);
}

}  // namespace
