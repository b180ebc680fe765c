// A channel over bytes in memory, so that fuzz targets run the byte-level
// readers without sockets: reads give the input in order, then the end of
// the stream; writes are only counted.
#pragma once
#include <cstddef>
#include <cstdint>

#include "mapper/telnet/byte_channel.h"

class MemoryChannel final : public ByteChannel {
 public:
  MemoryChannel(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  int ReadByte(unsigned char* byte) override {
    if (next_ == size_) return 0;
    *byte = data_[next_++];
    return 1;
  }
  bool Write(const void*, std::size_t size) override {
    written_ += size;
    return true;
  }
  std::size_t Written() const { return written_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t next_ = 0;
  std::size_t written_ = 0;
};
