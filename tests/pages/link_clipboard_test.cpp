// CopyLinkMessage under Wine, through the real clipboard and string table:
// the CF_TEXT read back is the link message, byte for byte.
#include "wizard/pages/delivery_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "wizard/core/wizard_session.h"
#include "wizard/discovery/host_table.h"

namespace {

// リンクです。
const char kSjisMessage[] = "\x83\x8a\x83\x93\x83N\x82\xc5\x82\xb7\x81\x42";

std::string ClipboardText(HWND owner) {
  std::string text = "(no text)";
  if (!OpenClipboard(owner)) return "(not opened)";
  HANDLE block = GetClipboardData(CF_TEXT);
  if (const char* data = block != nullptr ? static_cast<const char*>(GlobalLock(block)) : nullptr) {
    text = data;
    GlobalUnlock(block);
  }
  CloseClipboard();
  return text;
}

TEST(LinkClipboardTest, CopyPutsTheLinkMessageOnTheClipboardAsText) {
  std::snprintf(WizardSession.messageText, kSessionTextRoom, "%s", kSjisMessage);
  ClearHostCandidates();
  AddHostCandidate("192.0.2.77", "host77.example.test");
  HWND page = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(page, nullptr);
  WizardSession.activePageWindow = page;

  EXPECT_EQ(CopyLinkMessage("typed.example.test"), 0);
  EXPECT_EQ(ClipboardText(page), std::string(kSjisMessage) +
                                     "\r\nhttp://typed.example.test\r\n"
                                     "\r\nhttp://host77.example.test\r\n"
                                     "(=> http://192.0.2.77 )\r\n");
  WizardSession.activePageWindow = nullptr;
  WizardSession.messageText[0] = '\0';
  DestroyWindow(page);
  ClearHostCandidates();
}

}  // namespace
