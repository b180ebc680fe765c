// After a submission with authentication, no copy of the password, plain or
// base64 as it went out, is left in the process's writable memory for a core
// or swap file to keep. The needles are held masked, so that the search
// cannot find itself, and are the texts' second halves: free() writes its
// own pointers over the start of a block. The password is long, so that its
// blocks are of sizes the search itself does not allocate and overwrite.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "platform/random.h"
#include "platform/wipe.h"
#include "tests/support/loopback.h"
#include "wizard/mail/mail.h"
#include "wizard/mail/smtp.h"

namespace {

constexpr unsigned char kMask = 0x5A;
// Larger regions are the sanitizers' reservations, mostly never touched.
constexpr std::size_t kLargestRegion = std::size_t{256} << 20;

std::string MaskedSecondHalf(const char* text, std::size_t size) {
  std::string masked(text + size / 2, size - size / 2);
  for (char& c : masked) c = static_cast<char>(c ^ kMask);
  return masked;
}

bool HoldsMasked(const std::string& region, const std::string& masked) {
  for (std::size_t i = 0; i + masked.size() <= region.size(); ++i) {
    std::size_t j = 0;
    while (j < masked.size() && static_cast<char>(region[i + j] ^ kMask) == masked[j]) ++j;
    if (j == masked.size()) return true;
  }
  return false;
}

bool MemoryHolds(const std::string& masked) {
  std::ifstream maps("/proc/self/maps");
  std::ifstream memory("/proc/self/mem", std::ios::binary);
  std::string line;
  while (std::getline(maps, line)) {
    std::size_t start = std::stoul(line, nullptr, 16);
    std::size_t end = std::stoul(line.substr(line.find('-') + 1), nullptr, 16);
    if (line[line.find(' ') + 2] != 'w' || end - start > kLargestRegion) continue;
    std::string region(end - start, '\0');
    memory.seekg(static_cast<std::streamoff>(start));
    if (memory.read(&region[0], static_cast<std::streamsize>(region.size())) &&
        HoldsMasked(region, masked)) {
      return true;
    }
    memory.clear();
  }
  return false;
}

// One session in clear: AUTH PLAIN is taken, MAIL FROM refused; what it
// read is wiped.
void ServeOnce(Socket listener) {
  PeerAddress peer;
  ScopedSocket connection(NetAccept(listener, &peer));
  const char* replies[] = {"250-x\r\n250 AUTH PLAIN\r\n", "235 ok\r\n", "550 no\r\n", "221 bye\r\n"};
  NetSend(connection.Get(), "220 x\r\n", 7);
  char line[1024];
  for (const char* reply : replies) {
    std::size_t used = 0;
    while (used < sizeof line && (used == 0 || line[used - 1] != '\n') &&
           NetWaitReadable(connection.Get(), 5000) == 1 &&
           NetReceive(connection.Get(), line + used, 1) == 1) {
      ++used;
    }
    NetSend(connection.Get(), reply, static_cast<int>(std::strlen(reply)));
  }
  WipeBytes(line, sizeof line);
}

TEST(SecretWipeTest, NoCopyOfThePasswordOutlivesTheSubmission) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' allocators keep freed memory in regions too large to read";
#endif
  int major, minor;
  ASSERT_EQ(NetStartup(2, 0, &major, &minor), 0);
  unsigned char random[96];
  ASSERT_TRUE(FillRandomBytes(random, sizeof random));
  char token[2 + 2 * sizeof random + 1] = {'\0', 'u', '\0'};  // "\0u\0" and the password
  for (std::size_t i = 0; i < sizeof random; ++i) {
    std::snprintf(token + 3 + 2 * i, 3, "%02x", random[i]);
  }
  const std::size_t tokenSize = 3 + 2 * sizeof random;
  std::string password = MaskedSecondHalf(token + 3, tokenSize - 3);
  char* encoded = Base64Encode(reinterpret_cast<unsigned char*>(token), tokenSize);
  std::string line = MaskedSecondHalf(encoded, std::strlen(encoded));
  WipeBytes(encoded, std::strlen(encoded));
  std::free(encoded);

  ScopedSocket listener(NetOpenTcp());
  ASSERT_EQ(NetBindLoopback(listener.Get(), 0), 0);
  ASSERT_EQ(NetListen(listener.Get(), 1), 0);
  std::thread server(ServeOnce, listener.Get());
  SmtpSubmission submission;
  std::string server_text = "127.0.0.1:" + std::to_string(NetLocalPort(listener.Get()));
  submission.server = server_text.c_str();
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
