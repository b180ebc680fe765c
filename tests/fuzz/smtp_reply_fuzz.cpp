// Arbitrary bytes as a mail server's replies, sent from the far end of a
// socket pair that then closes: the reader takes reply after reply until it
// fails, and never keeps more than its buffer or takes more than was sent.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "tests/fuzz/unix_socket_pair.h"
#include "wizard/mail/smtp.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool started = [] {
    int major, minor;
    SmtpTiming shortened;
    shortened.replyTimeoutMs = 2000;
    SetSmtpTimingForTests(shortened);
    return NetStartup(2, 2, &major, &minor) == 0;
  }();
  if (!started) return 0;
  UnixSocketPair pair;
  pair.SendAndEnd(std::string(reinterpret_cast<const char*>(data), size));
  SmtpSession session;
  session.socket = pair.near;
  std::size_t taken = 0;
  for (std::size_t replies = 0; replies <= size; ++replies) {
    int got = SmtpReadReply(session);
    if (got < 0) break;
    Check(got > 0);
    taken += static_cast<std::size_t>(got);
    Check(taken <= size);
    Check(std::memchr(session.reply, '\0', sizeof session.reply) != nullptr);
  }
  return 0;
}
