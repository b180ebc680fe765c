// TLS as a client over a connected TCP socket: on Windows the system's own
// (SChannel through SSPI), elsewhere OpenSSL. Either way the server must
// present a chain to a root the system trusts, valid today, for the host
// name as the user typed it, and speak TLS 1.2 or later.
#pragma once
#include "platform/net.h"

struct TlsChannelState;
using TlsChannel = TlsChannelState*;

enum class TlsOpenResult {
  kOpen,
  kCertificateRejected,  // chain, dates or name not acceptable
  kFailed,               // no TLS spoken, a refused handshake, or no answer in time
};

// The handshake on s, within timeoutMs. Only TLS bytes pass the socket from
// here on; on kOpen *channel holds the session, which TlsClose ends. The
// socket stays its owner's.
TlsOpenResult TlsOpen(Socket s, const char* hostName, int timeoutMs, TlsChannel* channel);
// Decrypted bytes into buffer: the count, 0 once the server ended the
// session or the connection, -1 on failure or when none came within
// timeoutMs.
int TlsReceive(TlsChannel channel, void* buffer, int size, int timeoutMs);
// All size bytes, or -1; each wait is bounded by the socket's send time-out
// (NetSetSendTimeout).
int TlsSend(TlsChannel channel, const void* data, int size);
void TlsClose(TlsChannel channel);

class ScopedTls {
 public:
  ScopedTls() = default;
  ScopedTls(const ScopedTls&) = delete;
  ScopedTls& operator=(const ScopedTls&) = delete;
  ~ScopedTls() { TlsClose(channel_); }
  TlsChannel* Out() { return &channel_; }
  TlsChannel Get() const { return channel_; }

 private:
  TlsChannel channel_ = nullptr;
};
