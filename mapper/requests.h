// The front end's requests: reading their lines, and the request words.
#pragma once
#include "mapper/telnet/byte_channel.h"
#include "platform/net.h"

// Reads one LF-ended line of at most size - 1 bytes into buffer (terminated,
// LF not stored, a CR before it kept, an LF as the first byte taken as text).
// The length, or -1 when the connection failed or closed before the line end.
// A longer line is returned in pieces of size - 1 bytes.
int ReadRequestLine(Socket s, char* buffer, int size);

// The same on any channel.
int ReadRequestLineFrom(ByteChannel& channel, char* buffer, int size);

enum class Request { kNone, kLogin, kData, kLogout };

// Classifies a request line by its leading bytes, ignoring ASCII case:
// "DLOGIN" (6 bytes), then "DDATA" (5), then "DLOGOUT" (7).
Request ClassifyRequest(const char* line);

// Number of field lines that follow each request.
constexpr int kLoginFieldCount = 5;
