#include "platform/console.h"

#include <unistd.h>

#include <string>

void ConsoleOpen(const char* title) {
  if (!isatty(STDOUT_FILENO)) return;
  std::string sequence = std::string("\033]0;") + title + "\007";
  ConsoleWrite(sequence.data(), sequence.size());
}

void ConsoleWrite(const char* text, std::size_t length) {
  while (length > 0) {
    ssize_t written = write(STDOUT_FILENO, text, length);
    if (written <= 0) return;
    text += written;
    length -= static_cast<std::size_t>(written);
  }
}
