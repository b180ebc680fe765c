// The SMTP client's steps, one connection per SendMailMessage call.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/net.h"
#include "platform/printf_format.h"

constexpr std::uint16_t kDefaultSmtpPort = 25;

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

// One connection and its buffers, owned by one call.
struct SmtpSession {
  Socket socket = kBadSocket;
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
// A host beginning with an ASCII letter is looked up, any other is read as a
// dotted address. The connected socket, or -1.
Socket SmtpConnect(const char* host, std::uint16_t port);

// Reads one whole reply (continuation lines "ddd-" up to the line "ddd " or
// "ddd"), keeps its final line in session.reply, and returns the bytes the
// reply took, or -1 on a closed or failed connection, a time-out, an
// over-long line or too many lines.
int SmtpReadReply(SmtpSession& session);

// Where reply bytes come from: puts up to room bytes into buffer; the count,
// or 0 or less when the bytes ended, failed or did not come in time.
using SmtpByteSource = int (*)(void* context, char* buffer, int room);
// SmtpReadReply over any byte source, so that replies can also come from
// memory; SmtpReadReply's source is the session's socket, waited on up to the
// reply time-out.
int SmtpReadReplyFrom(SmtpSession& session, SmtpByteSource source, void* context);
int SmtpSendText(SmtpSession& session, const char* text);
// Formats the command line, sends it and reads the reply: 0 when the reply's
// final line begins with the expected prefix, else -1.
int SmtpCommand(SmtpSession& session, const char* expected, const char* format, ...)
    PRINTF_FORMAT(3, 4);
int SmtpHelo(SmtpSession& session, const char* sender);
int SmtpMailFrom(SmtpSession& session, const char* sender);
int SmtpRcptTo(SmtpSession& session, const char* list);
int SmtpSendData(SmtpSession& session, const char* from, const char* to, const char* cc,
                 const char* subject, const char* body);
