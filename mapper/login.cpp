#include "mapper/login.h"

#include <chrono>
#include <cstring>

#include "mapper/log.h"
#include "mapper/session_channel.h"
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
bool AnswerPrompt(WorkerSlot& slot, ByteChannel& telnet, const LoginLine& line,
                  LoginPrompts& prompts) {
  if (ShowsUserPrompt(line) && !prompts.userPromptAnswered) {
    prompts.userPromptAnswered = true;
    TypeLine(telnet, slot.userId);
    return false;
  }
  if (ShowsPasswordPrompt(line) && !prompts.passwordPromptAnswered) {
    prompts.passwordPromptAnswered = true;
    SleepMilliseconds(Timing().passwordDelayMs);
    TypeLine(telnet, slot.password);
    return true;
  }
  return false;
}

// Why the telnet connection stopped giving bytes.
LoginOutcome LoginFailure(const WorkerSlot& slot, const SessionChannel& telnet) {
  if (!SessionActive(slot)) return LoginOutcome::kEnded;
  if (telnet.DeadlinePassed()) {
    WriteLog("worker(%d): login did not finish in time.\n", slot.index);
  } else {
    WriteLog("worker(%d): telnet connection lost during login.\n", slot.index);
  }
  return LoginOutcome::kRefused;
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
  // Every read and write of the phase, negotiation included, ends at the
  // limit: a server cannot hold the worker by stalling inside a command.
  SessionChannel channel(slot, telnet);
  channel.SetDeadline(SessionChannel::Clock::now() +
                      std::chrono::milliseconds(Timing().loginLimitMs));
  LoginLine line;
  while (SessionActive(slot)) {
    slot.idleSeconds = 0;
    unsigned char byte = 0;
    if (channel.ReadByte(&byte) != 1) return LoginFailure(slot, channel);
    TelnetHandleByteFrom(byte, channel);
    if (byte == '\r') {
      line.Clear();
    } else if (byte != '\0') {
      line.Append(byte);
    }
    WriteLog("szLine = %s\n", line.Text());
    if (line.Contains(kRefusalText)) return LoginOutcome::kRefused;
    if (AnswerPrompt(slot, channel, line, prompts)) {
      // The password went out whole only if no write gave up on the way.
      return channel.DeadlinePassed() || !SessionActive(slot) ? LoginFailure(slot, channel)
                                                               : LoginOutcome::kLoggedIn;
    }
  }
  return LoginOutcome::kEnded;
}
