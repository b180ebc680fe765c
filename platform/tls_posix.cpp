#include "platform/tls.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <new>

#include "platform/deadline.h"

struct TlsChannelState {
  SSL_CTX* context = nullptr;
  SSL* ssl = nullptr;
  Socket socket = kBadSocket;
  int sendTimeoutMs = 0;
};

namespace {

int Fd(Socket s) {
  return static_cast<int>(s);
}

// The bound the owner set on blocking sends; the session's socket does not
// block, so its waits apply it themselves.
int SendTimeoutMs(Socket s) {
  timeval limit{};
  socklen_t length = sizeof limit;
  if (getsockopt(Fd(s), SOL_SOCKET, SO_SNDTIMEO, &limit, &length) != 0) return 0;
  return static_cast<int>(limit.tv_sec * 1000 + limit.tv_usec / 1000);
}

// The socket does not block, so every OpenSSL call returns at once and the
// waits between them are ours, bounded by the deadline: a server that sends
// half a record and stops cannot hold the caller.
bool AwaitSocket(const TlsChannelState& channel, int result, Deadline deadline) {
  switch (SSL_get_error(channel.ssl, result)) {
    case SSL_ERROR_WANT_READ:
      return NetWaitReadable(channel.socket, RemainingMs(deadline)) == 1;
    case SSL_ERROR_WANT_WRITE:
      return NetWaitWritable(channel.socket, RemainingMs(deadline)) == 1;
    default:
      return false;
  }
}

bool IsAddressLiteral(const char* host) {
  in_addr unused{};
  return inet_pton(AF_INET, host, &unused) == 1;
}

// The name the certificate must carry: a DNS name, or an IP address entry
// when the user typed an address. The server name indication goes out for
// names only, as the TLS standard asks.
bool ExpectName(SSL* ssl, const char* host) {
  if (IsAddressLiteral(host)) return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host) == 1;
  // As browsers match them: a wildcard stands for a whole label only.
  SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  return SSL_set_tlsext_host_name(ssl, host) == 1 && SSL_set1_host(ssl, host) == 1;
}

bool Prepare(TlsChannelState* channel, Socket s, const char* host) {
  channel->socket = s;
  channel->sendTimeoutMs = SendTimeoutMs(s);
  channel->context = SSL_CTX_new(TLS_client_method());
  if (channel->context == nullptr) return false;
  SSL_CTX_set_min_proto_version(channel->context, TLS1_2_VERSION);
  SSL_CTX_set_verify(channel->context, SSL_VERIFY_PEER, nullptr);
  if (SSL_CTX_set_default_verify_paths(channel->context) != 1) return false;
  channel->ssl = SSL_new(channel->context);
  int flags = fcntl(Fd(s), F_GETFL);
  return channel->ssl != nullptr && ExpectName(channel->ssl, host) && flags >= 0 &&
         fcntl(Fd(s), F_SETFL, flags | O_NONBLOCK) == 0 && SSL_set_fd(channel->ssl, Fd(s)) == 1;
}

TlsOpenResult Handshake(TlsChannelState* channel, int timeoutMs) {
  Deadline deadline = DeadlineIn(timeoutMs);
  for (;;) {
    int result = SSL_connect(channel->ssl);
    if (result == 1) return TlsOpenResult::kOpen;
    if (!AwaitSocket(*channel, result, deadline)) break;
  }
  bool certificate = SSL_get_verify_result(channel->ssl) != X509_V_OK;
  return certificate ? TlsOpenResult::kCertificateRejected : TlsOpenResult::kFailed;
}

}  // namespace

TlsOpenResult TlsOpen(Socket s, const char* hostName, int timeoutMs, TlsChannel* channel) {
  *channel = nullptr;
  auto* opened = new (std::nothrow) TlsChannelState;
  if (opened == nullptr) return TlsOpenResult::kFailed;
  TlsOpenResult result =
      Prepare(opened, s, hostName) ? Handshake(opened, timeoutMs) : TlsOpenResult::kFailed;
  // The thread's error queue would otherwise keep this failure for the next
  // session to find.
  ERR_clear_error();
  if (result == TlsOpenResult::kOpen) {
    *channel = opened;
  } else {
    TlsClose(opened);
  }
  return result;
}

int TlsReceive(TlsChannel channel, void* buffer, int size, int timeoutMs) {
  Deadline deadline = DeadlineIn(timeoutMs);
  for (;;) {
    int got = SSL_read(channel->ssl, buffer, size);
    if (got > 0) return got;
    int error = SSL_get_error(channel->ssl, got);
    if (error == SSL_ERROR_ZERO_RETURN) return 0;
    if (!AwaitSocket(*channel, got, deadline)) {
      ERR_clear_error();
      // A connection closed without the TLS end is an end as well.
      return error == SSL_ERROR_SYSCALL && got == 0 ? 0 : -1;
    }
  }
}

int TlsSend(TlsChannel channel, const void* data, int size) {
  Deadline deadline = DeadlineIn(channel->sendTimeoutMs);
  for (;;) {
    int sent = SSL_write(channel->ssl, data, size);
    if (sent == size) return sent;
    if (!AwaitSocket(*channel, sent, deadline)) {
      ERR_clear_error();
      return -1;
    }
  }
}

void TlsClose(TlsChannel channel) {
  if (channel == nullptr) return;
  SSL_free(channel->ssl);
  SSL_CTX_free(channel->context);
  delete channel;
}
