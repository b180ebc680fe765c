#include <cstring>

#include "platform/deadline.h"
#include "text/ascii.h"
#include "wizard/mail/smtp.h"

namespace {


// A line "ddd-..." announces more lines of the same reply.
bool ContinuesReply(const char* line, std::size_t length) {
  return length >= 4 && IsAsciiDigit(line[0]) && IsAsciiDigit(line[1]) && IsAsciiDigit(line[2]) &&
         line[3] == '-';
}

// The session's connection and the time by which the whole reply must be in.
struct LinkSource {
  SmtpSession* session;
  Deadline deadline;
};

int ReceiveFromLink(void* context, char* buffer, int room) {
  const auto* source = static_cast<const LinkSource*>(context);
  return SmtpLinkReceive(*source->session, buffer, room, RemainingMs(source->deadline));
}

struct Source {
  SmtpByteSource receive;
  void* context;
};

// Fills the input buffer after what it holds. 1 when bytes arrived, -1 when
// they ended or failed or did not come in time.
int ReceiveMore(SmtpSession& session, const Source& source) {
  if (session.inputStart > 0) {
    std::size_t held = session.inputEnd - session.inputStart;
    std::memmove(session.input, session.input + session.inputStart, held);
    session.inputStart = 0;
    session.inputEnd = held;
  }
  std::size_t room = sizeof session.input - session.inputEnd;
  if (room == 0) return -1;
  int got = source.receive(source.context, session.input + session.inputEnd, static_cast<int>(room));
  if (got <= 0) return -1;
  session.inputEnd += static_cast<std::size_t>(got);
  return 1;
}

// Takes the next line (up to LF, a CR before it dropped). The bytes the line
// took with its end, or -1.
int NextLine(SmtpSession& session, const Source& source, const char** line, std::size_t* length) {
  for (;;) {
    const char* start = session.input + session.inputStart;
    std::size_t held = session.inputEnd - session.inputStart;
    const void* lf = std::memchr(start, '\n', held);
    if (lf != nullptr) {
      std::size_t taken = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
      std::size_t text = taken - 1;
      if (text > 0 && start[text - 1] == '\r') --text;
      session.inputStart += taken;
      *line = start;
      *length = text;
      return static_cast<int>(taken);
    }
    if (ReceiveMore(session, source) < 0) return -1;
  }
}

}  // namespace

int SmtpReadReply(SmtpSession& session, SmtpExtensions* extensions) {
  LinkSource source{&session, DeadlineIn(SmtpTimingInUse().replyTimeoutMs)};
  return SmtpReadReplyFrom(session, ReceiveFromLink, &source, extensions);
}

int SmtpReadReplyFrom(SmtpSession& session, SmtpByteSource receive, void* context,
                      SmtpExtensions* extensions) {
  session.reply[0] = '\0';
  Source source{receive, context};
  int total = 0;
  for (int count = 0; count < kSmtpMaxReplyLines; ++count) {
    const char* line = nullptr;
    std::size_t length = 0;
    int taken = NextLine(session, source, &line, &length);
    if (taken < 0) return -1;
    total += taken;
    // The first line of an EHLO reply greets; each later one names an extension.
    if (extensions != nullptr && count > 0 && length >= 4) {
      NoteEhloLine(line + 4, length - 4, extensions);
    }
    if (!ContinuesReply(line, length)) {
      std::size_t kept = length < sizeof session.reply ? length : sizeof session.reply - 1;
      std::memcpy(session.reply, line, kept);
      session.reply[kept] = '\0';
      return total;
    }
  }
  return -1;
}
