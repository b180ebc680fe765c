// consoleprobe EXE-NAME: attaches to the console of the running process of
// that executable name and prints its title and the text on its screen, so
// that tests can read what a program wrote to a console of its own.
// Output: "title: <title>" then one line per screen row, trailing blanks cut.
// Exit code 0, or 1 when no such process or console was found.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

DWORD FindProcess(const char* exeName) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (_stricmp(entry.szExeFile, exeName) == 0) found = entry.th32ProcessID;
  }
  CloseHandle(snapshot);
  return found;
}

std::string ScreenText(HANDLE screen) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(screen, &info)) return "";
  std::string text;
  std::vector<char> row(info.dwSize.X);
  for (SHORT y = 0; y < info.dwSize.Y; ++y) {
    DWORD read = 0;
    ReadConsoleOutputCharacterA(screen, row.data(), info.dwSize.X, COORD{0, y}, &read);
    std::string line(row.data(), read);
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  text.erase(text.find_last_not_of('\n') + 1);
  return text + "\n";
}

void Print(HANDLE out, const std::string& text) {
  DWORD written = 0;
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (argc != 2) return 2;
  DWORD pid = FindProcess(argv[1]);
  FreeConsole();
  if (pid == 0 || !AttachConsole(pid)) return 1;
  char title[512] = "";
  GetConsoleTitleA(title, sizeof title);
  HANDLE screen =
      CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  Print(out, std::string("title: ") + title + "\n" + ScreenText(screen));
  FreeConsole();
  return 0;
}
