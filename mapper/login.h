// The login phase: reading the telnet server's output after the connection
// is made, answering its negotiation, and typing the user id and password at
// their prompts.
#pragma once
#include <cstddef>

#include "platform/net.h"

struct WorkerSlot;

// A server's refusal of the session, wherever it shows up.
constexpr const char* kRefusalText = "Not on system console";

// Each prompt is answered at most once per front-end connection.
struct LoginPrompts {
  bool userPromptAnswered = false;
  bool passwordPromptAnswered = false;
};

enum class LoginOutcome {
  kLoggedIn,  // the password was typed
  kRefused,   // the server refused, closed, or never let the login finish
  kEnded,     // the session was ended from outside meanwhile
};

// The current line of telnet output during login: everything since the last
// CR. Past its room it keeps the newest bytes, so a prompt after a long
// banner is still seen.
class LoginLine {
 public:
  static constexpr std::size_t kRoom = 2047;
  void Clear() { length_ = 0; text_[0] = '\0'; }
  void Append(unsigned char byte);
  bool Contains(const char* text) const;
  const char* Text() const { return text_; }

 private:
  char text_[kRoom + 1] = "";
  std::size_t length_ = 0;
};

// The server's output goes to the log only when logOutput is true.
LoginOutcome RunLoginPhase(WorkerSlot& slot, Socket telnet, LoginPrompts& prompts, bool logOutput);
