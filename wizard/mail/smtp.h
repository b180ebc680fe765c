// The SMTP client's steps, one connection per SendMailMessage call.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/net.h"
#include "platform/printf_format.h"
#include "platform/tls.h"
#include "wizard/mail/submission.h"

constexpr std::uint16_t kDefaultSmtpPort = 25;
constexpr std::uint16_t kSubmissionPort = 587;     // STARTTLS (RFC 6409)
constexpr std::uint16_t kImplicitTlsPort = 465;    // TLS from the first byte (RFC 8314)

// Command and reply lines are at most 512 bytes with their CR LF (RFC 5321
// 4.5.3.1.4 and 4.5.3.1.5): a longer envelope command is refused unsent, a
// longer reply line fails the read.
constexpr std::size_t kSmtpCommandRoom = 512;
constexpr std::size_t kSmtpReplyRoom = 512;
constexpr std::size_t kSmtpMaxLineLength = 512;
// A multi-line reply of more lines than this is taken as a broken server.
constexpr int kSmtpMaxReplyLines = 100;

// A server that stops answering must not hold the delivery thread: the
// connection, every whole reply and every send are bounded.
constexpr int kSmtpConnectTimeoutMs = 30000;
constexpr int kSmtpReplyTimeoutMs = 60000;
constexpr int kSmtpSendTimeoutMs = 60000;

struct SmtpTiming {
  int connectTimeoutMs = kSmtpConnectTimeoutMs;
  int replyTimeoutMs = kSmtpReplyTimeoutMs;
  int sendTimeoutMs = kSmtpSendTimeoutMs;
};
const SmtpTiming& SmtpTimingInUse();
// Tests shorten the waits; the program never calls this.
void SetSmtpTimingForTests(const SmtpTiming& timing);

// What an EHLO reply offers that the client may use.
struct SmtpExtensions {
  bool startTls = false;
  bool authPlain = false;
  bool authLogin = false;
};

// One connection and its buffers, owned by one call.
struct SmtpSession {
  SmtpSession() = default;
  SmtpSession(const SmtpSession&) = delete;
  SmtpSession& operator=(const SmtpSession&) = delete;
  ~SmtpSession();

  Socket socket = kBadSocket;
  // Once TLS runs every byte passes through it, both ways.
  TlsChannel tls = nullptr;
  // The server's name as typed: its certificate must carry it.
  const char* host = "";
  const SmtpSubmission* submission = nullptr;
  // Why the transaction failed, where a step knows better than kFailed.
  MailOutcome failure = MailOutcome::kFailed;
  SmtpExtensions extensions;
  char command[kSmtpCommandRoom];
  // The final line of the last reply, without its line end.
  char reply[kSmtpReplyRoom];
  // Bytes received and not yet taken as reply lines.
  char input[kSmtpMaxLineLength];
  std::size_t inputStart = 0;
  std::size_t inputEnd = 0;
};

// Splits "[scheme://]host[:port][/anything]"; the port is 0 when none is
// given. -1 when the host does not fit the buffer.
int ParseServerAddress(const char* text, char* host, std::size_t hostSize, std::uint16_t* port);
// The port to connect to: the submission's own, else the server text's
// (textPort, 0 for none), else the usual one of its security.
std::uint16_t SubmissionPort(const SmtpSubmission& submission, std::uint16_t textPort);
// A host beginning with an ASCII letter is looked up, any other is read as a
// dotted address. The connected socket, or -1.
Socket SmtpConnect(const char* host, std::uint16_t port);

// Reads one whole reply (continuation lines "ddd-" up to the line "ddd " or
// "ddd"), keeps its final line in session.reply, and returns the bytes the
// reply took, or -1 on a closed or failed connection, a time-out, an
// over-long line or too many lines. With extensions, the reply is taken as
// one to EHLO and what its lines offer is noted there.
int SmtpReadReply(SmtpSession& session, SmtpExtensions* extensions = nullptr);
// One line of an EHLO reply after the first, without its code and line end:
// a keyword and its parameters.
void NoteEhloLine(const char* line, std::size_t length, SmtpExtensions* extensions);

// Where reply bytes come from: puts up to room bytes into buffer; the count,
// or 0 or less when the bytes ended, failed or did not come in time.
using SmtpByteSource = int (*)(void* context, char* buffer, int room);
// SmtpReadReply over any byte source, so that replies can also come from
// memory; SmtpReadReply's source is the session's connection, waited on up
// to the reply time-out.
int SmtpReadReplyFrom(SmtpSession& session, SmtpByteSource source, void* context,
                      SmtpExtensions* extensions = nullptr);
// The connection's bytes, through TLS once it runs: as NetReceive (waiting
// at most timeoutMs) and as NetSend.
int SmtpLinkReceive(SmtpSession& session, char* buffer, int room, int timeoutMs);
int SmtpLinkSend(SmtpSession& session, const char* data, int size);
int SmtpSendText(SmtpSession& session, const char* text);
// Formats the command line, sends it and reads the reply: 0 when the reply's
// final line begins with the expected prefix, else -1.
int SmtpCommand(SmtpSession& session, const char* expected, const char* format, ...)
    PRINTF_FORMAT(3, 4);
int SmtpHelo(SmtpSession& session, const char* sender);
// EHLO with the argument HELO would have; the offered extensions go to
// session.extensions.
int SmtpEhlo(SmtpSession& session, const char* sender);
// The opening after the greeting: HELO for a plain submission, else EHLO,
// STARTTLS and authentication as the submission asks. 0, or -1 with the
// cause in session.failure.
int SmtpIntroduce(SmtpSession& session, const char* sender);
// TLS on the session's connection: 0, or -1 with the cause in
// session.failure.
int SmtpStartTls(SmtpSession& session);
// Whether QUIT may still go out: never in clear once TLS was asked for.
bool SmtpMayQuit(const SmtpSession& session);
int SmtpMailFrom(SmtpSession& session, const char* sender);
int SmtpRcptTo(SmtpSession& session, const char* list);
int SmtpSendData(SmtpSession& session, const char* from, const char* to, const char* cc,
                 const char* subject, const char* body);
