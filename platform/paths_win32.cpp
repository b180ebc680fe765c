#include "platform/paths.h"

#include <windows.h>

#include <string>

std::string DriveCPath(const char* windowsPath) {
  return windowsPath;
}

std::string CurrentDirectoryFile(const char* fileName) {
  DWORD needed = GetCurrentDirectoryA(0, nullptr);
  std::string directory(needed, '\0');
  DWORD length = GetCurrentDirectoryA(needed, &directory[0]);
  directory.resize(length < needed ? length : 0);
  return directory + "\\" + fileName;
}
