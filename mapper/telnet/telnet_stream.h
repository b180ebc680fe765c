// Byte-level access to the telnet server's connection. Unbuffered: one
// receive call per byte read, one send call per byte written (a reply text
// goes out in one call).
#pragma once
#include <cstddef>

#include "mapper/telnet/byte_channel.h"
#include "platform/net.h"

constexpr int kDefaultTelnetPort = 23;

// Connects to the telnet server: a host name or dotted address, a service
// name or decimal port ("" and "0" mean 23). The socket, or -1.
Socket TelnetConnect(const char* hostName, const char* service);
// The same, giving up once keepWaiting(context) is false at one of the
// host look-up's or the connect's waits of sliceMs.
Socket TelnetConnectWhile(const char* hostName, const char* service, int sliceMs,
                          KeepWaiting keepWaiting, const void* context);

// 1 when a byte was stored, 0 when the server closed the connection, -1 on
// an error; the byte is left unchanged on 0 and -1.
int TelnetReadByte(Socket s, unsigned char* byte);

// The writes do not report send failures: a dead connection shows at the
// next read. All return 0.
int TelnetWriteByte(Socket s, unsigned char byte);
int TelnetWriteText(Socket s, const char* text, std::size_t length);
// LF goes out as CR LF; every other byte, 255 included, as it is.
int TelnetWriteChar(Socket s, unsigned char ch);
// Types the text byte by byte up to its terminator, then the line end (CR LF).
int TelnetTypeLine(Socket s, const char* text);
// High byte first.
int TelnetWriteWord(Socket s, unsigned value);

int TelnetClose(Socket s);

// TelnetWriteByte, TelnetWriteWord and TelnetTypeLine on any channel.
void WriteByteTo(ByteChannel& channel, unsigned char byte);
void WriteWordTo(ByteChannel& channel, unsigned value);
void TypeLine(ByteChannel& channel, const char* text);
