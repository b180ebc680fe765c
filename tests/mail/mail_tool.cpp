// Test driver for the mail core, so that Python tests can check it against
// their own codecs and mail servers, natively and under Wine. Texts go in and
// out through files (byte for byte on both systems):
//   mail_tool jis|words|header|base64|stuff IN OUT   one conversion
//   mail_tool date OUT                               the Date line
//   mail_tool send IN [COUNT [REPLY_MS]]             SendMailMessage COUNT times;
//       IN holds server, from, to, cc, subject and body, each ended by NUL;
//       prints "result N" per call
//   mail_tool submit IN [COUNT [REPLY_MS]]           SubmitMail COUNT times; IN
//       holds port, security (0-2), user, password, "1" for a password in
//       clear, then send's six fields; prints "outcome NAME" per call
//   mail_tool bench IN ROUNDS                        SjisToJis + EncodeWords speed
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/net.h"
#include "wizard/mail/mail.h"
#include "wizard/mail/smtp.h"
#include "wizard/mail/submission.h"

namespace {

bool ReadFile(const char* path, std::string* bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  char chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes->append(chunk, got);
  std::fclose(file);
  return true;
}

int WriteResult(const char* path, char* text) {
  if (text == nullptr) return 3;
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return 2;
  std::fwrite(text, 1, std::strlen(text), file);
  std::fclose(file);
  std::free(text);
  return 0;
}

int Convert(const std::string& operation, const std::string& input, const char* out) {
  const char* text = input.c_str();
  if (operation == "jis") return WriteResult(out, SjisToJis(text));
  if (operation == "words") return WriteResult(out, EncodeWords(text));
  if (operation == "header") return WriteResult(out, EncodeHeaderText(text));
  if (operation == "stuff") return WriteResult(out, DotStuff(text));
  if (operation == "base64") {
    return WriteResult(out, Base64Encode(reinterpret_cast<const unsigned char*>(input.data()),
                                         input.size()));
  }
  return 2;
}

constexpr const char* kOutcomeNames[] = {"sent",       "failed",  "unreachable",
                                          "certificate", "encryption", "login",
                                          "no-login-method", "clear-password"};

// The NUL-ended fields of the input, or false when it has fewer.
bool SplitFields(const std::string& input, std::size_t count, std::vector<std::string>* fields) {
  std::size_t start = 0;
  while (fields->size() < count) {
    std::size_t end = input.find('\0', start);
    if (end == std::string::npos) return false;
    fields->push_back(input.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

bool StartSockets(int replyMs) {
  int major = 0;
  int minor = 0;
  if (NetStartup(2, 0, &major, &minor) != 0) return false;
  if (replyMs > 0) {
    SmtpTiming timing;
    timing.replyTimeoutMs = replyMs;
    timing.connectTimeoutMs = replyMs;
    timing.sendTimeoutMs = replyMs;
    SetSmtpTimingForTests(timing);
  }
  return true;
}

int Send(const std::string& input, int count, int replyMs) {
  std::vector<std::string> fields;
  if (!SplitFields(input, 6, &fields) || !StartSockets(replyMs)) return 2;
  for (int i = 0; i < count; ++i) {
    int result = SendMailMessage(fields[0].c_str(), fields[1].c_str(), fields[2].c_str(),
                                 fields[3].c_str(), fields[4].c_str(), fields[5].c_str());
    std::printf("result %d\n", result);
  }
  std::fflush(stdout);
  NetCleanup();
  return 0;
}

int Submit(const std::string& input, int count, int replyMs) {
  std::vector<std::string> fields;
  if (!SplitFields(input, 11, &fields) || !StartSockets(replyMs)) return 2;
  SmtpSubmission submission;
  submission.port = static_cast<std::uint16_t>(std::atoi(fields[0].c_str()));
  submission.security = static_cast<SmtpSecurity>(std::atoi(fields[1].c_str()));
  submission.user = fields[2].c_str();
  submission.password = fields[3].c_str();
  submission.passwordInClear = fields[4] == "1";
  submission.server = fields[5].c_str();
  for (int i = 0; i < count; ++i) {
    MailOutcome outcome = SubmitMail(submission, fields[6].c_str(), fields[7].c_str(),
                                     fields[8].c_str(), fields[9].c_str(), fields[10].c_str());
    std::printf("outcome %s\n", kOutcomeNames[static_cast<int>(outcome)]);
  }
  std::fflush(stdout);
  NetCleanup();
  return 0;
}

int Bench(const std::string& input, int rounds) {
  auto began = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) {
    char* jis = SjisToJis(input.c_str());
    char* words = EncodeWords(jis);
    if (jis == nullptr || words == nullptr) return 3;
    std::free(jis);
    std::free(words);
  }
  std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - began;
  std::printf("%.1f MB/s\n", static_cast<double>(input.size()) * rounds / 1e6 / seconds.count());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string operation = argv[1];
  if (operation == "date") return WriteResult(argv[2], FormatDateHeader());
  std::string input;
  if (!ReadFile(argv[2], &input)) return 2;
  if (operation == "send") {
    return Send(input, argc > 3 ? std::atoi(argv[3]) : 1, argc > 4 ? std::atoi(argv[4]) : 0);
  }
  if (operation == "submit") {
    return Submit(input, argc > 3 ? std::atoi(argv[3]) : 1, argc > 4 ? std::atoi(argv[4]) : 0);
  }
  if (operation == "bench") return Bench(input, argc > 3 ? std::atoi(argv[3]) : 1);
  if (argc < 4) return 2;
  return Convert(operation, input, argv[3]);
}
