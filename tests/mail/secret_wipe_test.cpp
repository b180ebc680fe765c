// After a submission with AUTH PLAIN no copy of the password, plain or in the
// base64 line that carried it, is left in writable memory for a core file to
// keep. The needles are held masked so the search cannot find itself, and
// are the texts' second halves: free() writes over the start of a block. The
// password is long, so its blocks differ in size from the search's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "platform/random.h"
#include "platform/wipe.h"
#include "wizard/mail/mail.h"
#include "wizard/mail/smtp.h"

namespace {

constexpr char kMask = 0x5A;
constexpr std::size_t kLargestRegion = std::size_t{256} << 20;  // sanitizers' reservations

std::string MaskedSecondHalf(const char* text, std::size_t size) {
  std::string masked(text + size / 2, size - size / 2);
  for (char& c : masked) c ^= kMask;
  return masked;
}

bool MemoryHolds(const std::string& masked) {
  std::ifstream maps("/proc/self/maps");
  std::ifstream memory("/proc/self/mem", std::ios::binary);
  unsigned long start = 0, end = 0;
  char permissions[5] = {};
  for (std::string line; std::getline(maps, line);) {
    std::sscanf(line.c_str(), "%lx-%lx %4s", &start, &end, permissions);
    if (permissions[1] != 'w' || end - start > kLargestRegion) continue;
    std::string region(end - start, '\0');
    memory.seekg(static_cast<std::streamoff>(start));
    if (!memory.read(&region[0], static_cast<std::streamsize>(region.size()))) memory.clear();
    auto unmasked = [](char stored, char needle) {
      return static_cast<char>(stored ^ kMask) == needle;
    };
    if (std::search(region.begin(), region.end(), masked.begin(), masked.end(), unmasked) !=
        region.end()) {
      return true;
    }
  }
  return false;
}

// One session in clear: AUTH is taken, MAIL FROM refused, QUIT answered.
void ServeOnce(Socket listener) {
  PeerAddress peer;
  ScopedSocket connection(NetAccept(listener, &peer));
  char byte = 0;
  NetSend(connection.Get(), "220 x\r\n", 7);
  for (const char* reply :
       {"250-x\r\n250 AUTH PLAIN\r\n", "235 ok\r\n", "550 no\r\n", "221 bye\r\n"}) {
    while (NetWaitReadable(connection.Get(), 5000) == 1 &&
           NetReceive(connection.Get(), &byte, 1) == 1 && byte != '\n') {
    }
    NetSend(connection.Get(), reply, static_cast<int>(std::strlen(reply)));
  }
}

TEST(SecretWipeTest, NoCopyOfThePasswordOutlivesTheSubmission) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' allocators keep freed memory in regions too large to read";
#endif
  int major, minor;
  ASSERT_EQ(NetStartup(2, 0, &major, &minor), 0);
  unsigned char random[96];
  ASSERT_TRUE(FillRandomBytes(random, sizeof random));
  char token[3 + 2 * sizeof random + 1] = {'\0', 'u', '\0'};  // AUTH PLAIN's "\0user\0password"
  for (std::size_t i = 0; i < sizeof random; ++i)
    std::snprintf(token + 3 + 2 * i, 3, "%02x", random[i]);
  std::string password = MaskedSecondHalf(token + 3, 2 * sizeof random);
  char* encoded = Base64Encode(reinterpret_cast<unsigned char*>(token), sizeof token - 1);
  std::string line = MaskedSecondHalf(encoded, std::strlen(encoded));
  WipeBytes(encoded, std::strlen(encoded));
  std::free(encoded);

  ScopedSocket listener(NetOpenTcp());
  ASSERT_EQ(NetBindLoopback(listener.Get(), 0), 0);
  ASSERT_EQ(NetListen(listener.Get(), 1), 0);
  std::thread server(ServeOnce, listener.Get());
  std::string address = "127.0.0.1:" + std::to_string(NetLocalPort(listener.Get()));
  SmtpSubmission submission;
  submission.server = address.c_str();
  submission.user = "u";
  submission.password = token + 3;
  submission.passwordInClear = true;
  EXPECT_EQ(SubmitMail(submission, "a@example.test", "b@example.test", "", "s", "b"),
            MailOutcome::kFailed);
  server.join();
  WipeBytes(token, sizeof token);
  EXPECT_FALSE(MemoryHolds(password));
  EXPECT_FALSE(MemoryHolds(line));
  NetCleanup();
}

}  // namespace
