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

// A normal login's lines, logged as they grow, take a few KiB.
constexpr std::size_t kLoginLogBudget = 64 * 1024;

// A login phase's share of the log: the line after every byte, until the
// entries have taken the budget; then one note and nothing more, so that a
// server streaming bytes without a line end cannot fill the disk or keep the
// other threads waiting on the log.
class LoginOutputLog {
 public:
  LoginOutputLog(int slotIndex, std::size_t budget) : slotIndex_(slotIndex), left_(budget) {}

  void Write(const LoginLine& line) {
    if (left_ == 0) return;
    std::size_t used = WriteLog("szLine = %s\n", line.Text());
    left_ = used < left_ ? left_ - used : 0;
    if (left_ == 0) {
      WriteLog("worker(%d): the rest of the login output is not logged.\n", slotIndex_);
    }
  }

 private:
  int slotIndex_;
  std::size_t left_;
};

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

LoginOutcome RunLoginPhase(WorkerSlot& slot, Socket telnet, LoginPrompts& prompts, bool logOutput) {
  // Every read and write of the phase, negotiation included, ends at the
  // limit: a server cannot hold the worker by stalling inside a command.
  SessionChannel channel(slot, telnet);
  channel.SetDeadline(SessionChannel::Clock::now() +
                      std::chrono::milliseconds(Timing().loginLimitMs));
  LoginLine line;
  LoginOutputLog log(slot.index, logOutput ? kLoginLogBudget : 0);
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
    log.Write(line);
    if (line.Contains(kRefusalText)) return LoginOutcome::kRefused;
    if (AnswerPrompt(slot, channel, line, prompts)) {
      // The password went out whole only if no write gave up on the way.
      return channel.DeadlinePassed() || !SessionActive(slot) ? LoginFailure(slot, channel)
                                                               : LoginOutcome::kLoggedIn;
    }
  }
  return LoginOutcome::kEnded;
}
