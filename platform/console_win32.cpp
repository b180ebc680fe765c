#include "platform/console.h"

#include <windows.h>

namespace {
HANDLE consoleOutput = INVALID_HANDLE_VALUE;
}

void ConsoleOpen(const char* title) {
  FreeConsole();
  AllocConsole();
  SetConsoleTitleA(title);
  consoleOutput = GetStdHandle(STD_OUTPUT_HANDLE);
}

void ConsoleWrite(const char* text, std::size_t length) {
  DWORD written = 0;
  WriteConsoleA(consoleOutput, text, static_cast<DWORD>(length), &written, nullptr);
}
