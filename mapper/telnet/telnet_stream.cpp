#include "mapper/telnet/telnet_stream.h"

#include <cstdlib>

#include "mapper/log.h"
#include "mapper/telnet/host_lookup.h"

namespace {

constexpr unsigned char kCr = 13;
constexpr unsigned char kLf = 10;

// A known service name, else the decimal value of the text taken as 16 bits;
// 0 means the telnet port.
std::uint16_t ResolvePort(const char* service) {
  std::uint16_t port = 0;
  if (NetServicePort(service, &port)) return port;
  port = static_cast<std::uint16_t>(std::strtol(service, nullptr, 10));
  return port == 0 ? kDefaultTelnetPort : port;
}

void TypeChar(ByteChannel& channel, unsigned char ch) {
  if (ch == kLf) WriteByteTo(channel, kCr);
  WriteByteTo(channel, ch);
}

}  // namespace

void WriteByteTo(ByteChannel& channel, unsigned char byte) {
  channel.Write(&byte, 1);
}

void WriteWordTo(ByteChannel& channel, unsigned value) {
  WriteByteTo(channel, static_cast<unsigned char>((value >> 8) & 0xFF));
  WriteByteTo(channel, static_cast<unsigned char>(value & 0xFF));
}

Socket TelnetConnect(const char* hostName, const char* service) {
  // Waits as long as the system lets the connect run.
  return TelnetConnectWhile(hostName, service, 1000, [](const void*) { return true; }, nullptr);
}

Socket TelnetConnectWhile(const char* hostName, const char* service, int sliceMs,
                          KeepWaiting keepWaiting, const void* context) {
  std::uint32_t address = 0;
  if (!ResolveHostWhile(hostName, &address, sliceMs, keepWaiting, context)) return kBadSocket;
  std::uint16_t port = ResolvePort(service);
  ScopedSocket s(NetOpenTcp());
  if (!s.IsOpen() ||
      NetConnectWhile(s.Get(), address, port, sliceMs, keepWaiting, context) != 0) {
    return kBadSocket;
  }
  return s.Release();
}

int SocketChannel::ReadByte(unsigned char* byte) {
  unsigned char received;
  int result = NetReceive(socket_, &received, 1);
  if (result == 1) *byte = received;
  return result < 0 ? -1 : result;
}

bool SocketChannel::Write(const void* data, std::size_t size) {
  return NetSend(socket_, data, static_cast<int>(size)) == static_cast<int>(size);
}

int TelnetReadByte(Socket s, unsigned char* byte) {
  return SocketChannel(s).ReadByte(byte);
}

int TelnetWriteByte(Socket s, unsigned char byte) {
  SocketChannel channel(s);
  WriteByteTo(channel, byte);
  return 0;
}

int TelnetWriteText(Socket s, const char* text, std::size_t length) {
  SocketChannel(s).Write(text, length);
  return 0;
}

int TelnetWriteChar(Socket s, unsigned char ch) {
  SocketChannel channel(s);
  TypeChar(channel, ch);
  return 0;
}

void TypeLine(ByteChannel& channel, const char* text) {
  for (const char* p = text; *p != '\0'; ++p) TypeChar(channel, static_cast<unsigned char>(*p));
  TypeChar(channel, kLf);
}

int TelnetTypeLine(Socket s, const char* text) {
  SocketChannel channel(s);
  TypeLine(channel, text);
  return 0;
}

int TelnetWriteWord(Socket s, unsigned value) {
  SocketChannel channel(s);
  WriteWordTo(channel, value);
  return 0;
}

int TelnetClose(Socket s) { return NetClose(s); }
