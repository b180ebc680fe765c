#include "mapper/requests.h"

#include <cstring>

#include "mapper/log.h"

namespace {

bool StartsWithIgnoringCase(const char* line, const char* word) {
  for (; *word != '\0'; ++line, ++word) {
    unsigned char a = static_cast<unsigned char>(*line);
    unsigned char b = static_cast<unsigned char>(*word);
    if (a >= 'a' && a <= 'z') a = static_cast<unsigned char>(a - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

}  // namespace

Request ClassifyRequest(const char* line) {
  if (StartsWithIgnoringCase(line, "DLOGIN")) return Request::kLogin;
  if (StartsWithIgnoringCase(line, "DDATA")) return Request::kData;
  if (StartsWithIgnoringCase(line, "DLOGOUT")) return Request::kLogout;
  return Request::kNone;
}

int ReadRequestLine(Socket s, char* buffer, int size) {
  SocketChannel channel(s);
  return ReadRequestLineFrom(channel, buffer, size);
}

int ReadRequestLineFrom(ByteChannel& channel, char* buffer, int size) {
  int limit = size - 1;
  if (limit <= 0) {
    if (size > 0) buffer[0] = '\0';
    return 0;
  }
  for (int i = 0; i < limit; ++i) {
    unsigned char byte = 0;
    if (channel.ReadByte(&byte) != 1) {
      WriteLog("recv() error.(error code = %d)\n", NetLastError());
      buffer[i] = '\0';
      return -1;
    }
    buffer[i] = static_cast<char>(byte);
    if (i > 0 && byte == '\n') {
      buffer[i] = '\0';
      return i;
    }
  }
  buffer[limit] = '\0';
  return limit;
}
