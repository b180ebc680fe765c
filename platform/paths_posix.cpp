#include "platform/paths.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

std::string VntrRootFolder() {
  const char* root = std::getenv("VNTR_ROOT");
  return (root != nullptr && *root != '\0') ? root : "/var/lib/vntr";
}

std::string DriveCPath(const char* windowsPath) {
  std::string rest = windowsPath;
  if (rest.size() >= 2 && rest[1] == ':') rest.erase(0, 2);
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  if (rest.empty() || rest[0] != '/') rest.insert(0, "/");
  return VntrRootFolder() + "/drive_c" + rest;
}

std::string CurrentDirectoryFile(const char* fileName) {
  std::string directory(256, '\0');
  while (getcwd(&directory[0], directory.size()) == nullptr) {
    if (errno != ERANGE) return fileName;
    directory.resize(directory.size() * 2);
  }
  directory.resize(directory.find('\0'));
  return directory + "/" + fileName;
}
