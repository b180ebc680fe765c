// The bytes of one SMTP connection, in clear or through TLS once it runs:
// the reply reader and every send pass here, so no step knows which.
#include "platform/wipe.h"
#include "wizard/mail/smtp.h"

SmtpSession::~SmtpSession() {
  TlsClose(tls);
  // The command buffer may have held a credential.
  WipeBytes(command, sizeof command);
}

int SmtpLinkReceive(SmtpSession& session, char* buffer, int room, int timeoutMs) {
  if (session.tls != nullptr) return TlsReceive(session.tls, buffer, room, timeoutMs);
  if (NetWaitReadable(session.socket, timeoutMs) != 1) return -1;
  return NetReceive(session.socket, buffer, room);
}

int SmtpLinkSend(SmtpSession& session, const char* data, int size) {
  if (session.tls != nullptr) return TlsSend(session.tls, data, size);
  return NetSend(session.socket, data, size);
}
