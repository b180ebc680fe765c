// The bytes of our PTR query and the checks on what comes back, apart from
// any socket.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr std::size_t kDnsHeaderSize = 12;
constexpr std::size_t kDnsQueryRoom = 128;
constexpr std::size_t kDnsAnswerRoom = 1024;
// Dotted IPv4 text, as the system gives an adapter's address.
constexpr std::size_t kMaxAddressTextLength = 15;
// A host name that goes into a mailed link: RFC 1035's limit on the text form.
constexpr std::size_t kMaxHostNameLength = 253;
constexpr std::size_t kMaxHostLabelLength = 63;

// Writes the PTR query for address (dotted decimal) with the given ID into
// query (kDnsQueryRoom bytes). Its length, or -1 for a text that is no
// dotted address.
int BuildPtrQuery(const char* address, std::uint16_t id, unsigned char* query);

// True when the datagram answers query: the same ID, QR set, one question and
// that question the one we asked (names compared as DNS does, ignoring ASCII
// case).
bool IsAnswerToQuery(const unsigned char* answer, int answerLength, const unsigned char* query,
                     int queryLength);

// ASCII letters, digits, hyphens and underscores in dot-separated labels of
// 1 to 63 bytes, at most 253 bytes in all.
bool IsValidHostName(const char* name, std::size_t length);

// Takes the first PTR record's name out of answer (receivedLength bytes; its
// answer section starts at queryLength) into name (kHostNameRoom bytes).
// 1 when a non-empty name was taken, 0 otherwise.
int ParsePtrAnswer(const unsigned char* answer, char* name, int receivedLength, int queryLength);
