#include "mapper/login.h"

#include <chrono>
#include <cstring>

#include "mapper/log.h"
#include "mapper/session.h"
#include "mapper/telnet/negotiation.h"
#include "mapper/telnet/telnet_stream.h"
#include "mapper/timing.h"
#include "mapper/worker_slots.h"
#include "platform/threads.h"

namespace {

bool ShowsUserPrompt(const LoginLine& line) {
  return line.Contains("login:") || line.Contains("Login ID:");
}

bool ShowsPasswordPrompt(const LoginLine& line) {
  return line.Contains("Password:") || line.Contains("password:");
}

// Answers a prompt that the line shows and that was not answered before.
// True once the password has been typed.
bool AnswerPrompt(WorkerSlot& slot, Socket telnet, const LoginLine& line, LoginPrompts& prompts) {
  if (ShowsUserPrompt(line) && !prompts.userPromptAnswered) {
    prompts.userPromptAnswered = true;
    TelnetTypeLine(telnet, slot.userId);
    return false;
  }
  if (ShowsPasswordPrompt(line) && !prompts.passwordPromptAnswered) {
    prompts.passwordPromptAnswered = true;
    SleepMilliseconds(Timing().passwordDelayMs);
    TelnetTypeLine(telnet, slot.password);
    return true;
  }
  return false;
}

}  // namespace

void LoginLine::Append(unsigned char byte) {
  if (length_ == kRoom) {
    // Drop the older half at once rather than one byte per byte.
    std::size_t kept = kRoom / 2;
    std::memmove(text_, text_ + length_ - kept, kept);
    length_ = kept;
  }
  text_[length_++] = static_cast<char>(byte);
  text_[length_] = '\0';
}

bool LoginLine::Contains(const char* text) const { return std::strstr(text_, text) != nullptr; }

LoginOutcome RunLoginPhase(WorkerSlot& slot, Socket telnet, LoginPrompts& prompts) {
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::milliseconds(Timing().loginLimitMs);
  LoginLine line;
  while (SessionActive(slot)) {
    slot.idleSeconds = 0;
    if (Clock::now() >= deadline) {
      WriteLog("worker(%d): login did not finish in time.\n", slot.index);
      return LoginOutcome::kRefused;
    }
    int ready = NetWaitReadable(telnet, Timing().waitMs);
    if (ready == 0) continue;
    unsigned char byte = 0;
    if (ready < 0 || TelnetReadByte(telnet, &byte) != 1) {
      WriteLog("worker(%d): telnet connection lost during login.\n", slot.index);
      return LoginOutcome::kRefused;
    }
    TelnetHandleByte(byte, telnet);
    if (byte == '\r') {
      line.Clear();
    } else if (byte != '\0') {
      line.Append(byte);
    }
    WriteLog("szLine = %s\n", line.Text());
    if (line.Contains(kRefusalText)) return LoginOutcome::kRefused;
    if (AnswerPrompt(slot, telnet, line, prompts)) return LoginOutcome::kLoggedIn;
  }
  return LoginOutcome::kEnded;
}
