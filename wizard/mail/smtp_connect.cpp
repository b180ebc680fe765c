#include <cstring>

#include "text/ascii.h"
#include "wizard/mail/smtp.h"

namespace {

SmtpTiming timing;

}  // namespace

const SmtpTiming& SmtpTimingInUse() {
  return timing;
}

void SetSmtpTimingForTests(const SmtpTiming& shortened) {
  timing = shortened;
}

int ParseServerAddress(const char* text, char* host, std::size_t hostSize, std::uint16_t* port) {
  *port = 0;
  if (hostSize == 0) return -1;
  host[0] = '\0';
  if (text == nullptr) return 0;
  const char* scheme = std::strstr(text, "://");
  const char* start = scheme != nullptr ? scheme + 3 : text;
  std::size_t length = std::strcspn(start, "/:");
  if (length >= hostSize) return -1;
  std::memcpy(host, start, length);
  host[length] = '\0';
  if (start[length] == ':') {
    // Digits up to the first other character, kept to 16 bits as atoi's
    // value would be.
    unsigned value = 0;
    for (const char* p = start + length + 1; IsAsciiDigit(*p); ++p) {
      value = (value * 10 + static_cast<unsigned>(*p - '0')) & 0xFFFFu;
    }
    *port = static_cast<std::uint16_t>(value);
  }
  return 0;
}

Socket SmtpConnect(const char* host, std::uint16_t port) {
  std::uint32_t address = 0;
  if (host[0] == '\0') return kBadSocket;
  if (IsAsciiLetter(host[0])) {
    if (!NetHostByName(host, &address)) return kBadSocket;
  } else {
    address = NetParseDotted(host);
    if (address == 0xFFFFFFFFu) return kBadSocket;
  }
  ScopedSocket s(NetOpenTcp());
  if (!s.IsOpen()) return kBadSocket;
  // Header lines go out one send each and unanswered: without NODELAY each
  // small send would wait for the server's delayed acknowledgement.
  if (NetConnectWithin(s.Get(), address, port, timing.connectTimeoutMs) != 0 ||
      NetSetSendTimeout(s.Get(), timing.sendTimeoutMs) != 0 || NetSetNoDelay(s.Get()) != 0) {
    return kBadSocket;
  }
  return s.Release();
}
