// What a server offers in its reply to EHLO (RFC 5321 4.1.1.1): one
// keyword per line, its parameters after spaces.
#include <cctype>
#include <cstring>
#include <string_view>

#include "wizard/mail/smtp.h"

namespace {

bool SameWord(std::string_view word, std::string_view keyword) {
  if (word.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(word[i])) != keyword[i]) return false;
  }
  return true;
}

// The next word, after spaces and (for the older "AUTH=LOGIN" form) '='.
std::string_view NextWord(std::string_view* rest) {
  std::size_t start = rest->find_first_not_of(" =");
  if (start == std::string_view::npos) {
    *rest = {};
    return {};
  }
  rest->remove_prefix(start);
  std::size_t end = std::min(rest->find_first_of(" ="), rest->size());
  std::string_view word = rest->substr(0, end);
  rest->remove_prefix(end);
  return word;
}

void NoteMechanisms(std::string_view rest, SmtpExtensions* extensions) {
  for (std::string_view word = NextWord(&rest); !word.empty(); word = NextWord(&rest)) {
    if (SameWord(word, "PLAIN")) extensions->authPlain = true;
    if (SameWord(word, "LOGIN")) extensions->authLogin = true;
  }
}

}  // namespace

void NoteEhloLine(const char* line, std::size_t length, SmtpExtensions* extensions) {
  std::string_view rest(line, length);
  std::string_view keyword = NextWord(&rest);
  if (SameWord(keyword, "STARTTLS")) extensions->startTls = true;
  if (SameWord(keyword, "AUTH")) NoteMechanisms(rest, extensions);
}
