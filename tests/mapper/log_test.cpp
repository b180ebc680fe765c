#include "mapper/log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr const char* kProductKey = "SOFTWARE\\Tarvik\\Vantor\\5.5";

// Each test gets its own current directory and, natively, its own drive C
// and registry below it. Windows runs share the real drive C and registry,
// so the test removes what it made.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProcessEnvironment("VNTR_ROOT", temp_.path().string().c_str());
    // Natively drive C is a folder of the test's own; on Windows it is "c:".
    std::filesystem::path driveC = MarkerPath().parent_path();
    if (driveC.has_relative_path()) std::filesystem::create_directories(driveC);
    RemoveSwitches();
  }
  void TearDown() override {
    CloseLog();
    RemoveSwitches();
    std::error_code ignored;
    std::filesystem::remove(NotePath(), ignored);
  }

  static std::filesystem::path MarkerPath() { return DriveCPath("c:vntr.txt"); }
  static std::filesystem::path NotePath() { return DriveCPath("c:\\log.log"); }
  std::filesystem::path LogPath() const { return temp_.path() / "mapper.log"; }

  static void SetDebugValue(const char* data) {
    RegistryKey key = nullptr;
    ASSERT_EQ(RegistryCreateKey(kProductKey, &key), kRegistryOk);
    EXPECT_EQ(RegistrySetString(key, "mapper_debug", data), kRegistryOk);
    RegistryCloseKey(key);
  }

  static void RemoveSwitches() {
    std::error_code ignored;
    std::filesystem::remove(MarkerPath(), ignored);
    RegistryKey key = nullptr;
    if (RegistryOpenKey(kProductKey, RegistryAccess::kReadWrite, &key) != kRegistryOk) return;
    RegistryDeleteValue(key, "mapper_debug");
    RegistryCloseKey(key);
  }

  ScopedTempDir temp_;
};

TEST_F(LogTest, NothingSwitchesTheLogOnByDefault) {
  EXPECT_FALSE(DebugLogRequested());
}

TEST_F(LogTest, AnEmptyMarkerFileSwitchesTheLogOn) {
  std::ofstream(MarkerPath()).close();
  EXPECT_TRUE(DebugLogRequested());
}

TEST_F(LogTest, TheRegistryValueCountsByExistenceAlone) {
  SetDebugValue("0");
  EXPECT_TRUE(DebugLogRequested());
  RemoveSwitches();
  EXPECT_FALSE(DebugLogRequested());
}

TEST_F(LogTest, WriteLogDoesNothingWhileTheLogIsClosed) {
  WriteLog("worker(%d): started.\n", 3);
  EXPECT_FALSE(std::filesystem::exists(LogPath()));
}

TEST_F(LogTest, EntriesCarryTheLocalTimeAndTheTextAsFormatted) {
  OpenLog();
  WriteLog("worker(%d): started.\n", 3);
  WriteLog("METHOD_DATA %s", "ls");
  WriteLog("worker(%d): ended.\n", 3);
  CloseLog();
  std::regex entries(
      "\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] worker\\(3\\): started\\.\n"
      "\\[[-0-9 :]{19}\\] METHOD_DATA ls"
      "\\[[-0-9 :]{19}\\] worker\\(3\\): ended\\.\n");
  EXPECT_TRUE(std::regex_match(ReadTextFile(LogPath()), entries)) << ReadTextFile(LogPath());
}

TEST_F(LogTest, ControlBytesFromPeersCannotForgeEntriesOrReachTheTerminal) {
  OpenLog();
  WriteLog("worker(%d): received - %s\n", 1, "\n[2026-01-01 00:00:00] forged\r");
  WriteLog("szLine = %s\n", "\x1b[2Jtab\there\x7f");
  CloseLog();
  std::string log = ReadTextFile(LogPath());
  EXPECT_NE(log.find("] worker(1): received - \\x0A[2026-01-01 00:00:00] forged\\x0D\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("] szLine = \\x1B[2Jtab\there\\x7F\n"), std::string::npos) << log;
}

// 8-bit terminals obey C1 controls raw, others their UTF-8 forms; a typed
// backslash must not read as an escape.
TEST_F(LogTest, EightBitControlsAndBackslashesFromPeersAreEscapedToo) {
  OpenLog();
  WriteLog("szLine = %s\n", "\x9b[2J \xc2\x9b[2J \xc2\xa0 typed \\x0A");
  CloseLog();
  std::string log = ReadTextFile(LogPath());
  EXPECT_NE(log.find("] szLine = \\x9B[2J \\xC2\\x9B[2J \xc2\xa0 typed \\x5Cx0A\n"),
            std::string::npos)
      << log;
}

TEST_F(LogTest, EachStartTruncatesTheLogAndAddsOneNoteLine) {
  OpenLog();
  WriteLog("first run\n");
  CloseLog();
  OpenLog();
  WriteLog("second run\n");
  CloseLog();
  std::string log = ReadTextFile(LogPath());
  EXPECT_EQ(log.find("first run"), std::string::npos);
  EXPECT_NE(log.find("second run"), std::string::npos);

  std::string note = ReadTextFile(NotePath());
  std::regex line(
      "log file name: " +
      std::regex_replace(LogPath().string(), std::regex("[\\\\.^$|()\\[\\]{}*+?]"), "\\$&") +
      ", fp = [0-9a-f]+\n");
  std::smatch first;
  ASSERT_TRUE(std::regex_search(note, first, line)) << note;
  std::string rest = first.suffix();
  EXPECT_TRUE(std::regex_match(rest, line)) << note;
}

TEST_F(LogTest, AnOverlongEntryIsCutNotOverflowed) {
  OpenLog();
  std::string text(5000, 'x');
  WriteLog("%s\n", text.c_str());
  WriteLog("next\n");
  CloseLog();
  std::string log = ReadTextFile(LogPath());
  std::size_t next = log.find("] next\n");
  ASSERT_NE(next, std::string::npos);
  EXPECT_EQ(log.rfind('[', next), 2303u);
}

}  // namespace
