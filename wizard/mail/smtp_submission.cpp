// The opening of a submission after the greeting: EHLO, STARTTLS with EHLO
// again inside TLS, and authentication, each refusing to go on where going
// on would expose what TLS was chosen to protect.
#include <cstdlib>
#include <cstring>

#include "platform/wipe.h"
#include "wizard/mail/mail.h"
#include "wizard/mail/mail_text.h"
#include "wizard/mail/smtp.h"

namespace {

bool IsPlain(const SmtpSubmission& submission) {
  return submission.security == SmtpSecurity::kNone && IsEmptyText(submission.user);
}

int Fail(SmtpSession& session, MailOutcome cause) {
  session.failure = cause;
  return -1;
}

// Bytes the server sent after its reply to STARTTLS came in clear, from
// whoever sat on the path: they must never count as replies inside TLS.
void DiscardInput(SmtpSession& session) {
  session.inputStart = 0;
  session.inputEnd = 0;
}

// "PREFIX base64(bytes)" CR LF from a buffer of its own (a credential may
// need more than the command buffer's 512 bytes, RFC 4954 allows 12288),
// wiped after the send; 0 when the reply begins with expected.
int SendSecretLine(SmtpSession& session, const char* prefix, const char* bytes, std::size_t size,
                   const char* expected) {
  char* encoded = Base64Encode(reinterpret_cast<const unsigned char*>(bytes), size);
  if (encoded == nullptr) return -1;
  std::size_t encodedLength = std::strlen(encoded);
  std::size_t lineSize = std::strlen(prefix) + encodedLength + 3;
  auto* line = static_cast<char*>(std::malloc(lineSize));
  int sent = -1;
  if (line != nullptr) {
    std::strcpy(line, prefix);
    std::strcat(line, encoded);
    std::strcat(line, "\r\n");
    sent = SmtpSendText(session, line);
    WipeBytes(line, lineSize);
    std::free(line);
  }
  WipeBytes(encoded, encodedLength);
  std::free(encoded);
  if (sent < 0 || SmtpReadReply(session) < 0) return -1;
  return std::strncmp(session.reply, expected, std::strlen(expected)) == 0 ? 0 : -1;
}

// A refusal in words (a 5xx reply) is the server's judgement of the
// credentials; anything else is a broken dialogue.
int LoginFailed(SmtpSession& session) {
  return Fail(session, session.reply[0] == '5' ? MailOutcome::kLoginRefused : MailOutcome::kFailed);
}

// AUTH PLAIN (RFC 4616): no authorization identity, then the user and the
// password, each after a NUL.
int AuthPlain(SmtpSession& session, const char* user, const char* password) {
  std::size_t userLength = std::strlen(user);
  std::size_t passwordLength = std::strlen(password);
  std::size_t size = userLength + passwordLength + 2;
  auto* token = static_cast<char*>(std::malloc(size));
  if (token == nullptr) return -1;
  token[0] = '\0';
  std::memcpy(token + 1, user, userLength + 1);
  std::memcpy(token + userLength + 2, password, passwordLength);
  int result = SendSecretLine(session, "AUTH PLAIN ", token, size, "235");
  WipeBytes(token, size);
  std::free(token);
  return result == 0 ? 0 : LoginFailed(session);
}

int AuthLogin(SmtpSession& session, const char* user, const char* password) {
  if (SmtpCommand(session, "334", "AUTH LOGIN\r\n") != 0 ||
      SendSecretLine(session, "", user, std::strlen(user), "334") != 0 ||
      SendSecretLine(session, "", password, std::strlen(password), "235") != 0) {
    return LoginFailed(session);
  }
  return 0;
}

int Authenticate(SmtpSession& session) {
  const SmtpSubmission& submission = *session.submission;
  if (session.tls == nullptr && !submission.passwordInClear) {
    return Fail(session, MailOutcome::kPasswordNotInClear);
  }
  const char* password = submission.password != nullptr ? submission.password : "";
  if (session.extensions.authPlain) return AuthPlain(session, submission.user, password);
  if (session.extensions.authLogin) return AuthLogin(session, submission.user, password);
  return Fail(session, MailOutcome::kNoLoginMethod);
}

// STARTTLS on a server that offers it, then EHLO anew: what the server
// offered in clear may have been changed on the way.
int StartTlsInDialogue(SmtpSession& session, const char* sender) {
  if (!session.extensions.startTls || SmtpCommand(session, "220", "STARTTLS\r\n") != 0) {
    return Fail(session, MailOutcome::kEncryptionUnavailable);
  }
  DiscardInput(session);
  if (SmtpStartTls(session) != 0) return -1;
  return SmtpEhlo(session, sender);
}

}  // namespace

std::uint16_t SubmissionPort(const SmtpSubmission& submission, std::uint16_t textPort) {
  if (submission.port != 0) return submission.port;
  if (textPort != 0) return textPort;
  switch (submission.security) {
    case SmtpSecurity::kStartTls:
      return kSubmissionPort;
    case SmtpSecurity::kTls:
      return kImplicitTlsPort;
    case SmtpSecurity::kNone:
      break;
  }
  return kDefaultSmtpPort;
}

int SmtpStartTls(SmtpSession& session) {
  switch (TlsOpen(session.socket, session.host, SmtpTimingInUse().replyTimeoutMs, &session.tls)) {
    case TlsOpenResult::kOpen:
      return 0;
    case TlsOpenResult::kCertificateRejected:
      return Fail(session, MailOutcome::kCertificateRejected);
    case TlsOpenResult::kFailed:
      break;
  }
  return Fail(session, MailOutcome::kEncryptionUnavailable);
}

bool SmtpMayQuit(const SmtpSession& session) {
  return session.tls != nullptr || session.submission == nullptr ||
         session.submission->security == SmtpSecurity::kNone;
}

int SmtpIntroduce(SmtpSession& session, const char* sender) {
  if (session.submission == nullptr || IsPlain(*session.submission)) {
    return SmtpHelo(session, sender);
  }
  const SmtpSubmission& submission = *session.submission;
  if (SmtpEhlo(session, sender) != 0) return -1;
  if (submission.security == SmtpSecurity::kStartTls && session.tls == nullptr &&
      StartTlsInDialogue(session, sender) != 0) {
    return -1;
  }
  return IsEmptyText(submission.user) ? 0 : Authenticate(session);
}
