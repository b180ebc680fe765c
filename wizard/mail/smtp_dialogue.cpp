#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "wizard/mail/mail.h"
#include "wizard/mail/mail_address.h"
#include "wizard/mail/mail_text.h"
#include "wizard/mail/message.h"
#include "wizard/mail/smtp.h"
#include "wizard/mail/submission.h"

namespace {

constexpr std::size_t kHostRoom = 256;

// A writable copy for ParseMailAddress, released by its owner.
struct TextCopy {
  char* text;
  explicit TextCopy(const char* source) : text(nullptr) {
    std::size_t length = std::strlen(source);
    text = static_cast<char*>(std::malloc(length + 1));
    if (text != nullptr) std::memcpy(text, source, length + 1);
  }
  ~TextCopy() { std::free(text); }
  TextCopy(const TextCopy&) = delete;
  TextCopy& operator=(const TextCopy&) = delete;
};

// The sender's address, or null when it has none (or memory ran out).
const char* SenderAddress(TextCopy& copy) {
  if (copy.text == nullptr) return nullptr;
  char* name = nullptr;
  char* address = nullptr;
  ParseMailAddress(copy.text, &name, &address);
  return IsEmptyText(address) ? nullptr : address;
}

int SendPiece(void* context, const char* text) {
  return SmtpSendText(*static_cast<SmtpSession*>(context), text) < 0 ? -1 : 0;
}

// The texts SendMailMessage converts before the dialogue; empty inputs stay
// empty, as do texts that could not be made (which fails the call).
struct PreparedTexts {
  char* from = nullptr;
  char* to = nullptr;
  char* cc = nullptr;
  char* subject = nullptr;
  char* body = nullptr;
  bool complete = true;

  PreparedTexts(const char* f, const char* t, const char* c, const char* s, const char* b) {
    from = Prepare(f, EncodeHeaderText);
    to = Prepare(t, EncodeHeaderText);
    cc = Prepare(c, EncodeHeaderText);
    subject = Prepare(s, EncodeHeaderText);
    body = Prepare(b, SjisToJis);
  }
  ~PreparedTexts() {
    for (char* text : {from, to, cc, subject, body}) std::free(text);
  }
  PreparedTexts(const PreparedTexts&) = delete;
  PreparedTexts& operator=(const PreparedTexts&) = delete;

  static const char* Or(const char* text) { return text != nullptr ? text : ""; }

 private:
  char* Prepare(const char* text, char* (*convert)(const char*)) {
    if (IsEmptyText(text)) return nullptr;
    char* converted = convert(text);
    if (converted == nullptr) complete = false;
    return converted;
  }
};

// A line end inside a sender, recipient, subject or server text would end
// its command or header line early and send the rest as a line of its own.
bool HoldsLineEnd(const char* text) {
  return text != nullptr && std::strpbrk(text, "\r\n") != nullptr;
}

// From HELO to the end of data: 0 when the server accepted the message, else
// 1. Texts that could not be made or that hold a line end send nothing.
int Transact(SmtpSession& session, const PreparedTexts& texts) {
  if (!texts.complete || HoldsLineEnd(texts.from) || HoldsLineEnd(texts.to) ||
      HoldsLineEnd(texts.cc) || HoldsLineEnd(texts.subject)) {
    return 1;
  }
  const char* sender = PreparedTexts::Or(texts.from);
  if (SmtpIntroduce(session, sender) != 0 || SmtpMailFrom(session, sender) != 0 ||
      SmtpRcptTo(session, PreparedTexts::Or(texts.to)) != 0 ||
      (!IsEmptyText(texts.cc) && SmtpRcptTo(session, texts.cc) != 0)) {
    return 1;
  }
  return SmtpSendData(session, sender, texts.to, texts.cc, texts.subject, texts.body) == 0 ? 0 : 1;
}

// SmtpCommand that, with extensions, takes the reply as one to EHLO.
int CommandWith(SmtpSession& session, SmtpExtensions* extensions, const char* expected,
                const char* format, va_list arguments) {
  int length = std::vsnprintf(session.command, sizeof session.command, format, arguments);
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof session.command) return -1;
  if (SmtpSendText(session, session.command) < 0) return -1;
  if (SmtpReadReply(session, extensions) < 0) return -1;
  return std::strncmp(session.reply, expected, std::strlen(expected)) == 0 ? 0 : -1;
}

PRINTF_FORMAT(4, 5)
int CommandNoting(SmtpSession& session, SmtpExtensions* extensions, const char* expected,
                  const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int result = CommandWith(session, extensions, expected, format, arguments);
  va_end(arguments);
  return result;
}

// The sender's mail domain, not the local machine's name: null when the
// sender has no address or nothing after its at sign.
const char* SenderDomain(TextCopy& copy) {
  const char* address = SenderAddress(copy);
  const char* at = address != nullptr ? std::strchr(address, '@') : nullptr;
  return at != nullptr && at[1] != '\0' ? at + 1 : nullptr;
}

}  // namespace

// One send call. A blocking send comes back short only when the send time-out
// cut it, and what followed would then be a truncated message the server
// might accept: a short send counts as a failure.
int SmtpSendText(SmtpSession& session, const char* text) {
  int length = static_cast<int>(std::strlen(text));
  int sent = SmtpLinkSend(session, text, length);
  return sent == length ? sent : -1;
}

int SmtpCommand(SmtpSession& session, const char* expected, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int result = CommandWith(session, nullptr, expected, format, arguments);
  va_end(arguments);
  return result;
}

int SmtpHelo(SmtpSession& session, const char* sender) {
  TextCopy copy(sender);
  const char* domain = SenderDomain(copy);
  if (domain == nullptr) return -1;
  return SmtpCommand(session, "25", "HELO %s\r\n", domain);
}

int SmtpEhlo(SmtpSession& session, const char* sender) {
  TextCopy copy(sender);
  const char* domain = SenderDomain(copy);
  if (domain == nullptr) return -1;
  session.extensions = SmtpExtensions{};
  return CommandNoting(session, &session.extensions, "250", "EHLO %s\r\n", domain);
}

int SmtpMailFrom(SmtpSession& session, const char* sender) {
  TextCopy copy(sender);
  const char* address = SenderAddress(copy);
  if (address == nullptr) return -1;
  return SmtpCommand(session, "25", "MAIL FROM: <%s>\r\n", address);
}

int SmtpRcptTo(SmtpSession& session, const char* list) {
  if (IsEmptyText(list)) return -1;
  TextCopy copy(list);
  if (copy.text == nullptr) return -1;
  int result = -1;
  char* item = copy.text;
  while (*item != '\0') {
    std::size_t length = std::strcspn(item, ",;");
    char* next = item[length] == '\0' ? item + length : item + length + 1;
    item[length] = '\0';
    if (length > 0) {
      char* name = nullptr;
      char* address = nullptr;
      ParseMailAddress(item, &name, &address);
      // An item without an address sends nothing: the first one fails the
      // list, a later one is skipped.
      if (!IsEmptyText(address)) result = SmtpCommand(session, "25", "RCPT TO: <%s>\r\n", address);
      if (result == -1) return -1;
    }
    item = next;
  }
  return result;
}

int SmtpSendData(SmtpSession& session, const char* from, const char* to, const char* cc,
                 const char* subject, const char* body) {
  // Only after 354 does the server take lines as message text; after any
  // other reply it would take them as commands.
  if (SmtpCommand(session, "354", "DATA\r\n") != 0) return -1;
  MessageTexts texts{from, to, cc, subject, body};
  if (ComposeMessage(texts, SendPiece, &session) != 0) return -1;
  if (SmtpSendText(session, "\r\n.\r\n") < 0) return -1;
  if (SmtpReadReply(session) < 0) return -1;
  return std::strncmp(session.reply, "250", 3) == 0 ? 0 : -1;
}

MailOutcome SubmitMail(const SmtpSubmission& submission, const char* from, const char* to,
                       const char* cc, const char* subject, const char* body) {
  if (HoldsLineEnd(submission.server)) return MailOutcome::kUnreachable;
  char host[kHostRoom];
  std::uint16_t port = 0;
  if (ParseServerAddress(submission.server, host, sizeof host, &port) != 0) {
    return MailOutcome::kUnreachable;
  }
  // Per call, about 1.5 KB: only one call runs at a time, but nothing needs
  // to be shared either.
  SmtpSession session;
  session.host = host;
  session.submission = &submission;
  ScopedSocket connection(SmtpConnect(host, SubmissionPort(submission, port)));
  if (!connection.IsOpen()) return MailOutcome::kUnreachable;
  session.socket = connection.Get();
  if (submission.security == SmtpSecurity::kTls && SmtpStartTls(session) != 0) {
    return session.failure;
  }
  if (SmtpReadReply(session) < 0 || std::strncmp(session.reply, "220", 3) != 0) {
    return MailOutcome::kUnreachable;
  }
  int result = Transact(session, PreparedTexts(from, to, cc, subject, body));
  if (SmtpMayQuit(session)) SmtpCommand(session, "221", "QUIT\r\n");
  return result == 0 ? MailOutcome::kSent : session.failure;
}

int SendMailMessage(const char* server, const char* from, const char* to, const char* cc,
                    const char* subject, const char* body) {
  SmtpSubmission plain;
  plain.server = server;
  switch (SubmitMail(plain, from, to, cc, subject, body)) {
    case MailOutcome::kSent: return 0;
    case MailOutcome::kUnreachable: return -1;
    default: return 1;
  }
}
