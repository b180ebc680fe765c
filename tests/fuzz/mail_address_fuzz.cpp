// Arbitrary bytes as a sender or recipient text through ParseMailAddress, and
// as a server setting through ParseServerAddress; the first byte picks the
// host buffer's size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "wizard/mail/mail_address.h"
#include "wizard/mail/smtp.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// A result is absent or a trimmed text inside the buffer.
void CheckPart(const char* part, const std::vector<char>& buffer) {
  if (part == nullptr) return;
  Check(part >= buffer.data() && part < buffer.data() + buffer.size());
  std::size_t length = strnlen(part, static_cast<std::size_t>(buffer.data() + buffer.size() - part));
  Check(part + length < buffer.data() + buffer.size());
  Check(length == 0 || (part[0] != ' ' && part[length - 1] != ' '));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::vector<char> buffer(data + 1, data + size);
  buffer.push_back('\0');
  char* name = nullptr;
  char* address = nullptr;
  ParseMailAddress(buffer.data(), &name, &address);
  CheckPart(name, buffer);
  CheckPart(address, buffer);
  Check((name == nullptr) == (address == nullptr));

  std::vector<char> setting(data + 1, data + size);
  setting.push_back('\0');
  std::vector<char> host(data[0] + 1u);
  std::uint16_t port = 0;
  if (ParseServerAddress(setting.data(), host.data(), host.size(), &port) == 0) {
    Check(std::memchr(host.data(), '\0', host.size()) != nullptr);
  }
  return 0;
}
