#include "mapper/requests.h"

#include <cstring>

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
