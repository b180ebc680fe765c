// One connection as the byte-level readers and writers see it, so that the
// same code runs on a plain socket, on a socket whose waits end with its
// session, or on bytes in memory.
#pragma once
#include <cstddef>

#include "platform/net.h"

class ByteChannel {
 public:
  // 1 when a byte was stored, 0 when the peer closed the connection, -1 on
  // an error or when the channel gave up waiting; the byte is left unchanged
  // unless 1.
  virtual int ReadByte(unsigned char* byte) = 0;
  // True when every byte was handed on; one call is one send on the wire.
  virtual bool Write(const void* data, std::size_t size) = 0;

 protected:
  ~ByteChannel() = default;
};

// A socket used as it is: each read and write blocks as long as the socket
// does.
class SocketChannel final : public ByteChannel {
 public:
  explicit SocketChannel(Socket s) : socket_(s) {}
  int ReadByte(unsigned char* byte) override;
  bool Write(const void* data, std::size_t size) override;

 private:
  Socket socket_;
};
