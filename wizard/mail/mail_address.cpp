#include "wizard/mail/mail_address.h"

#include <cstring>

namespace {

char* TrimSpaces(char* text) {
  while (*text == ' ') ++text;
  std::size_t length = std::strlen(text);
  while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
  return text;
}

void RemoveQuotes(char* text) {
  char* out = text;
  for (const char* in = text; *in != '\0'; ++in) {
    if (*in != '"') *out++ = *in;
  }
  *out = '\0';
}

}  // namespace

void ParseMailAddress(char* text, char** displayName, char** address) {
  *displayName = nullptr;
  *address = nullptr;
  if (text == nullptr || *text == '\0') return;
  char* addressStart = nullptr;
  bool complete = false;
  bool quoted = false;
  for (char* p = text; *p != '\0'; ++p) {
    if (*p == '"') {
      quoted = !quoted;
    } else if (!quoted && *p == '<') {
      *p = '\0';
      addressStart = p + 1;
    } else if (!quoted && *p == '>' && addressStart != nullptr) {
      *p = '\0';
      complete = true;
      break;
    }
  }
  char* name = text;
  char* found = addressStart != nullptr ? addressStart : text;
  if (complete) {
    RemoveQuotes(name);
  } else {
    char* comment = std::strchr(found, '(');
    if (comment != nullptr) {
      *comment = '\0';
      name = comment + 1;
      char* close = std::strchr(name, ')');
      if (close != nullptr) *close = '\0';
    } else {
      name = found + std::strlen(found);
    }
  }
  *displayName = TrimSpaces(name);
  *address = TrimSpaces(found);
}
