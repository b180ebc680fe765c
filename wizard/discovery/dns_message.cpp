#include "wizard/discovery/dns_message.h"

#include <cstring>

#include "text/ascii.h"
#include "wizard/discovery/host_table.h"

namespace {

constexpr std::uint8_t kFlagsRecursionDesired = 0x01;
constexpr std::uint8_t kQrBit = 0x80;
constexpr std::uint8_t kRcodeMask = 0x0F;
constexpr std::uint8_t kPointerBits = 0xC0;
constexpr std::uint8_t kPointerHighMask = 0x3F;
constexpr unsigned char kPtrInClass[4] = {0x00, 0x0C, 0x00, 0x01};
constexpr char kReverseZone[] =
    "\x07in-addr\x04"
    "arpa";
// From a record's TYPE: CLASS, the 4-byte TTL, then RDLENGTH and RDATA.
constexpr std::size_t kRdlengthOffset = 8;
constexpr std::size_t kRdataOffset = 10;
// Real answers need one or two jumps; more is a loop or an attack.
constexpr int kMaxCompressionJumps = 16;
// Each label adds at least two bytes to the name, so this bounds the decoding.
constexpr int kMaxNameSteps = static_cast<int>(kHostNameRoom) + kMaxCompressionJumps;

bool IsHostNameCharacter(char c) {
  return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '-' || c == '_';
}

bool IsDottedAddress(const char* address) {
  std::size_t length = std::strlen(address);
  if (length == 0 || length > kMaxAddressTextLength) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (address[i] != '.') {
      if (!IsAsciiDigit(address[i])) return false;
    } else if (i == 0 || i + 1 == length || address[i + 1] == '.') {
      return false;  // an empty part
    }
  }
  return true;
}

unsigned char* AppendLabel(unsigned char* out, const char* text, std::size_t length) {
  *out++ = static_cast<unsigned char>(length);
  std::memcpy(out, text, length);
  return out + length;
}

// The name in RDATA, [start, end) of the datagram, expanded into out. Pointers
// are followed only backwards and at most kMaxCompressionJumps times; after a
// jump the name may run on to the end of the datagram.
bool ExpandName(const unsigned char* message, std::size_t messageLength, std::size_t start,
                std::size_t end, char* out, std::size_t* outLength) {
  std::size_t at = start;
  std::size_t limit = end;
  std::size_t used = 0;
  int jumps = 0;
  for (int step = 0; step < kMaxNameSteps; ++step) {
    if (at >= limit) return false;
    unsigned char length = message[at];
    if (length == 0) {
      *outLength = used;
      return true;
    }
    if ((length & kPointerBits) == kPointerBits) {
      if (at + 1 >= limit || ++jumps > kMaxCompressionJumps) return false;
      std::size_t target =
          (static_cast<std::size_t>(length & kPointerHighMask) << 8) | message[at + 1];
      if (target >= at) return false;
      at = target;
      limit = messageLength;
      continue;
    }
    if ((length & kPointerBits) != 0) return false;  // extended label types are no names
    std::size_t grown = used + (used > 0 ? 1 : 0) + length;
    if (at + 1 + length > limit || grown >= kHostNameRoom) return false;
    if (used > 0) out[used++] = '.';
    std::memcpy(out + used, message + at + 1, length);
    used = grown;
    at += 1 + length;
  }
  return false;
}

}  // namespace

int BuildPtrQuery(const char* address, std::uint16_t id, unsigned char* query) {
  if (address == nullptr || !IsDottedAddress(address)) return -1;
  std::memset(query, 0, kDnsQueryRoom);
  query[0] = static_cast<unsigned char>(id >> 8);
  query[1] = static_cast<unsigned char>(id & 0xFF);
  query[2] = kFlagsRecursionDesired;
  query[5] = 1;  // QDCOUNT
  unsigned char* out = query + kDnsHeaderSize;
  // The address's parts in reverse order, each one label.
  std::size_t end = std::strlen(address);
  while (end > 0) {
    std::size_t start = end;
    while (start > 0 && address[start - 1] != '.') --start;
    out = AppendLabel(out, address + start, end - start);
    end = start > 0 ? start - 1 : 0;
  }
  std::memcpy(out, kReverseZone, sizeof kReverseZone);  // with the root's zero byte
  out += sizeof kReverseZone;
  std::memcpy(out, kPtrInClass, sizeof kPtrInClass);
  out += sizeof kPtrInClass;
  return static_cast<int>(out - query);
}

bool IsAnswerToQuery(const unsigned char* answer, int answerLength, const unsigned char* query,
                     int queryLength) {
  if (queryLength < static_cast<int>(kDnsHeaderSize) || answerLength < queryLength) return false;
  if (answer[0] != query[0] || answer[1] != query[1]) return false;
  if ((answer[2] & kQrBit) == 0 || answer[4] != 0 || answer[5] != 1) return false;
  for (int i = static_cast<int>(kDnsHeaderSize); i < queryLength; ++i) {
    if (AsciiLower(answer[i]) != AsciiLower(query[i])) return false;
  }
  return true;
}

bool IsValidHostName(const char* name, std::size_t length) {
  if (length == 0 || length > kMaxHostNameLength) return false;
  std::size_t label = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (name[i] == '.') {
      if (label == 0) return false;
      label = 0;
    } else if (!IsHostNameCharacter(name[i]) || ++label > kMaxHostLabelLength) {
      return false;
    }
  }
  return label > 0;
}

int ParsePtrAnswer(const unsigned char* answer, char* name, int receivedLength, int queryLength) {
  name[0] = '\0';
  if (receivedLength < static_cast<int>(kDnsHeaderSize) || queryLength < 0) return 0;
  if ((answer[2] & kQrBit) == 0 || (answer[3] & kRcodeMask) != 0) return 0;
  auto received = static_cast<std::size_t>(receivedLength);
  // The answer section follows the echoed question; the first TYPE PTR,
  // CLASS IN after it is taken as the record.
  std::size_t match = static_cast<std::size_t>(queryLength);
  while (match + kRdataOffset <= received &&
         std::memcmp(answer + match, kPtrInClass, sizeof kPtrInClass) != 0) {
    ++match;
  }
  if (match + kRdataOffset > received) return 0;
  std::size_t rdlength = (static_cast<std::size_t>(answer[match + kRdlengthOffset]) << 8) |
                         answer[match + kRdlengthOffset + 1];
  std::size_t rdata = match + kRdataOffset;
  if (rdlength == 0 || rdata + rdlength > received) return 0;
  char expanded[kHostNameRoom];
  std::size_t length = 0;
  if (!ExpandName(answer, received, rdata, rdata + rdlength, expanded, &length) ||
      !IsValidHostName(expanded, length)) {
    return 0;
  }
  std::memcpy(name, expanded, length);
  name[length] = '\0';
  return 1;
}
