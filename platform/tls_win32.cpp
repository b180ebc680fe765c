#include "platform/tls.h"

#include <winsock2.h>

#include <windows.h>

#define SECURITY_WIN32
// The newer credential record (SCH_CREDENTIALS) sits behind this switch and
// needs subauth.h's strings first.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>

#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <cstring>
#include <memory>
#include <new>

#include "platform/deadline.h"

namespace {

constexpr UINT kShiftJis = 932;

// Room for ciphertext not yet decrypted: a whole record of the largest size
// TLS allows (16 KiB of data and 2 KiB of expansion) several times over, so
// that a handshake message spread over records fits as well.
constexpr unsigned long kIncomingRoom = 64 * 1024;
// Room for one record's decrypted data.
constexpr unsigned long kPlainRoom = 16 * 1024;
constexpr unsigned long kHostRoom = 256;

constexpr DWORD kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                  ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                                  ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                  ISC_REQ_MANUAL_CRED_VALIDATION;
// The certificate is checked below on purpose, and no client certificate is
// ever offered.
constexpr DWORD kCredentialFlags =
    SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
constexpr DWORD kBelowTls12 =
    SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;

}  // namespace

struct TlsChannelState {
  Socket socket = kBadSocket;
  wchar_t host[kHostRoom] = {};
  CredHandle credentials{};
  bool haveCredentials = false;
  CtxtHandle context{};
  bool haveContext = false;
  SecPkgContext_StreamSizes sizes{};
  bool ended = false;
  char incoming[kIncomingRoom];
  unsigned long incomingUsed = 0;
  char plain[kPlainRoom];
  unsigned long plainStart = 0;
  unsigned long plainEnd = 0;
  std::unique_ptr<char[]> record;  // one outgoing record: header, data, trailer
};

namespace {

// TLS 1.3 and 1.2 through the newer credential record; Windows before
// version 1809 knows only the older one, which cannot name TLS 1.3.
bool AcquireCredentials(TlsChannelState& channel) {
  TLS_PARAMETERS parameters{};
  parameters.grbitDisabledProtocols = kBelowTls12;
  SCH_CREDENTIALS current{};
  current.dwVersion = SCH_CREDENTIALS_VERSION;
  current.dwFlags = kCredentialFlags;
  current.cTlsParameters = 1;
  current.pTlsParameters = &parameters;
  wchar_t package[] = UNISP_NAME_W;
  if (AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &current, nullptr,
                                nullptr, &channel.credentials, nullptr) == SEC_E_OK) {
    return channel.haveCredentials = true;
  }
  SCHANNEL_CRED older{};
  older.dwVersion = SCHANNEL_CRED_VERSION;
  older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  older.dwFlags = kCredentialFlags;
  return channel.haveCredentials =
             AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &older,
                                       nullptr, nullptr, &channel.credentials, nullptr) == SEC_E_OK;
}

bool SendAll(const TlsChannelState& channel, const char* data, unsigned long size) {
  while (size > 0) {
    int sent = NetSend(channel.socket, data, static_cast<int>(size));
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<unsigned long>(sent);
  }
  return true;
}

// More ciphertext after what is held: 1, 0 when the connection ended, -1 on
// failure, time-out or a full buffer.
int ReadMore(TlsChannelState& channel, Deadline deadline) {
  if (channel.incomingUsed == kIncomingRoom) return -1;
  if (NetWaitReadable(channel.socket, RemainingMs(deadline)) != 1) return -1;
  int got = NetReceive(channel.socket, channel.incoming + channel.incomingUsed,
                       static_cast<int>(kIncomingRoom - channel.incomingUsed));
  if (got <= 0) return got;
  channel.incomingUsed += static_cast<unsigned long>(got);
  return 1;
}

// Keeps the bytes beyond what SChannel used: they belong to the next
// message, and dropping them would lose it.
void KeepExtra(TlsChannelState& channel, const SecBuffer* buffers, int count) {
  unsigned long extra = 0;
  for (int i = 0; i < count; ++i) {
    if (buffers[i].BufferType == SECBUFFER_EXTRA) extra = buffers[i].cbBuffer;
  }
  if (extra > channel.incomingUsed) extra = 0;
  std::memmove(channel.incoming, channel.incoming + channel.incomingUsed - extra, extra);
  channel.incomingUsed = extra;
}

// One round of the handshake: hands SChannel what came and sends what it
// answers.
SECURITY_STATUS HandshakeStep(TlsChannelState& channel) {
  bool first = !channel.haveContext;
  SecBuffer in[2] = {{channel.incomingUsed, SECBUFFER_TOKEN, channel.incoming},
                     {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
  SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
  SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
  ULONG attributes = 0;
  SECURITY_STATUS status = InitializeSecurityContextW(
      &channel.credentials, first ? nullptr : &channel.context, channel.host, kContextRequest, 0, 0,
      first ? nullptr : &inDesc, 0, first ? &channel.context : nullptr, &outDesc, &attributes,
      nullptr);
  if (first && !FAILED(status)) channel.haveContext = true;
  if (out[0].pvBuffer != nullptr) {
    bool sent = SendAll(channel, static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer);
    FreeContextBuffer(out[0].pvBuffer);
    if (!sent && !FAILED(status)) return SEC_E_INTERNAL_ERROR;
  }
  if (!first && status != SEC_E_INCOMPLETE_MESSAGE) KeepExtra(channel, in, 2);
  return status;
}

bool Negotiate(TlsChannelState& channel, Deadline deadline) {
  SECURITY_STATUS status = HandshakeStep(channel);
  for (;;) {
    if (status == SEC_E_OK) return true;
    bool needsInput = status == SEC_E_INCOMPLETE_MESSAGE ||
                      (status == SEC_I_CONTINUE_NEEDED && channel.incomingUsed == 0);
    // A server that asks for a client certificate gets none and may go on.
    bool goesOn = status == SEC_I_CONTINUE_NEEDED || status == SEC_E_INCOMPLETE_MESSAGE ||
                  status == SEC_I_INCOMPLETE_CREDENTIALS;
    if (!goesOn || (needsInput && ReadMore(channel, deadline) != 1)) return false;
    status = HandshakeStep(channel);
  }
}

// Chain to a trusted root, dates and the name as typed, as a browser checks
// them; revocation lists are not fetched.
bool CertificateAccepted(TlsChannelState& channel) {
  PCCERT_CONTEXT remote = nullptr;
  if (QueryContextAttributesW(&channel.context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remote) !=
          SEC_E_OK ||
      remote == nullptr) {
    return false;
  }
  char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  bool accepted = CertGetCertificateChain(nullptr, remote, nullptr, remote->hCertStore, &chainPara,
                                          0, nullptr, &chain) != FALSE;
  if (accepted) {
    HTTPSPolicyCallbackData ssl{};
    ssl.cbStruct = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = channel.host;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    // The policy alone lets a chain that ends below every trusted root pass
    // under Wine; the chain's own status says so on every system.
    accepted = chain->TrustStatus.dwErrorStatus == CERT_TRUST_NO_ERROR &&
               CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) &&
               status.dwError == 0;
    CertFreeCertificateChain(chain);
  }
  CertFreeCertificateContext(remote);
  return accepted;
}

bool PrepareRecords(TlsChannelState& channel) {
  if (QueryContextAttributesW(&channel.context, SECPKG_ATTR_STREAM_SIZES, &channel.sizes) !=
      SEC_E_OK) {
    return false;
  }
  channel.record.reset(
      new (std::nothrow) char[channel.sizes.cbHeader + channel.sizes.cbMaximumMessage +
                              channel.sizes.cbTrailer]);
  return channel.record != nullptr;
}

TlsOpenResult Open(TlsChannelState& channel, const char* hostName, int timeoutMs) {
  // The host name is the wizard's text, Shift_JIS whatever the system's code page.
  if (MultiByteToWideChar(kShiftJis, 0, hostName, -1, channel.host, kHostRoom) == 0 ||
      !AcquireCredentials(channel) || !Negotiate(channel, DeadlineIn(timeoutMs))) {
    return TlsOpenResult::kFailed;
  }
  if (!CertificateAccepted(channel)) return TlsOpenResult::kCertificateRejected;
  return PrepareRecords(channel) ? TlsOpenResult::kOpen : TlsOpenResult::kFailed;
}

// Decrypts the record at the front of the ciphertext into the plain buffer.
SECURITY_STATUS Decrypt(TlsChannelState& channel) {
  SecBuffer buffers[4] = {{channel.incomingUsed, SECBUFFER_DATA, channel.incoming},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
  SECURITY_STATUS status = DecryptMessage(&channel.context, &desc, 0, nullptr);
  if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) {
    return status;
  }
  for (const SecBuffer& buffer : buffers) {
    if (buffer.BufferType != SECBUFFER_DATA || buffer.cbBuffer > kPlainRoom) continue;
    std::memcpy(channel.plain, buffer.pvBuffer, buffer.cbBuffer);
    channel.plainStart = 0;
    channel.plainEnd = buffer.cbBuffer;
  }
  KeepExtra(channel, buffers, 4);
  return status;
}

// Handles what the record held: 1 to go on, 0 at the session's end, -1 on
// failure. A TLS 1.3 server's messages after the handshake (its session
// tickets) come back as a request to renegotiate, answered by another round
// of the handshake.
int AfterDecrypt(TlsChannelState& channel, SECURITY_STATUS status, Deadline deadline) {
  if (status == SEC_E_OK) return 1;
  if (status == SEC_I_CONTEXT_EXPIRED) {
    channel.ended = true;
    return 1;
  }
  if (status == SEC_I_RENEGOTIATE) return Negotiate(channel, deadline) ? 1 : -1;
  return -1;
}

}  // namespace

TlsOpenResult TlsOpen(Socket s, const char* hostName, int timeoutMs, TlsChannel* channel) {
  *channel = nullptr;
  auto* opened = new (std::nothrow) TlsChannelState;
  if (opened == nullptr) return TlsOpenResult::kFailed;
  opened->socket = s;
  TlsOpenResult result = Open(*opened, hostName, timeoutMs);
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
    unsigned long held = channel->plainEnd - channel->plainStart;
    if (held > 0) {
      unsigned long count = held < static_cast<unsigned long>(size) ? held : size;
      std::memcpy(buffer, channel->plain + channel->plainStart, count);
      channel->plainStart += count;
      return static_cast<int>(count);
    }
    if (channel->ended) return 0;
    SECURITY_STATUS status =
        channel->incomingUsed > 0 ? Decrypt(*channel) : SEC_E_INCOMPLETE_MESSAGE;
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      int more = ReadMore(*channel, deadline);
      if (more <= 0) return more;
    } else if (AfterDecrypt(*channel, status, deadline) < 0) {
      return -1;
    }
  }
}

int TlsSend(TlsChannel channel, const void* data, int size) {
  const SecPkgContext_StreamSizes& sizes = channel->sizes;
  const char* next = static_cast<const char*>(data);
  for (unsigned long left = static_cast<unsigned long>(size); left > 0;) {
    unsigned long chunk = left < sizes.cbMaximumMessage ? left : sizes.cbMaximumMessage;
    char* record = channel->record.get();
    std::memcpy(record + sizes.cbHeader, next, chunk);
    SecBuffer buffers[4] = {
        {sizes.cbHeader, SECBUFFER_STREAM_HEADER, record},
        {chunk, SECBUFFER_DATA, record + sizes.cbHeader},
        {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record + sizes.cbHeader + chunk},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    if (EncryptMessage(&channel->context, 0, &desc, 0) != SEC_E_OK ||
        !SendAll(*channel, record,
                 buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer)) {
      return -1;
    }
    next += chunk;
    left -= chunk;
  }
  return size;
}

void TlsClose(TlsChannel channel) {
  if (channel == nullptr) return;
  if (channel->haveContext) DeleteSecurityContext(&channel->context);
  if (channel->haveCredentials) FreeCredentialsHandle(&channel->credentials);
  SecureZeroMemory(channel->plain, sizeof channel->plain);
  delete channel;
}
