// vntrreg: reads and writes the text values of the registry that the mapper
// keeps below VNTR_ROOT on Linux, as an administrator on Windows would with
// `reg`: the way to set mapper_listen_address for the service.
//
//   vntrreg get KEY NAME
//   vntrreg set KEY NAME TEXT
//   vntrreg delete KEY NAME
//
// KEY is a path below HKEY_LOCAL_MACHINE, such as 'SOFTWARE\Tarvik\Vantor\5.5'.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/registry.h"

namespace {

constexpr int kUsageExit = 2;
constexpr int kFailureExit = 1;
// Far beyond the settings' own sizes; a longer text is reported, not cut.
constexpr std::size_t kTextRoom = 4096;

const char* Describe(long result) {
  switch (result) {
    case kRegistryNotFound:
      return "not found";
    case kRegistryAccessDenied:
      return "access denied";
    case kRegistryInvalidData:
      return "not a text value";
    case kRegistryMoreData:
      return "longer than this tool shows";
    default:
      return "failed";
  }
}

int Report(const char* key, const char* name, long result) {
  if (result == kRegistryOk) return 0;
  std::fprintf(stderr, "vntrreg: %s %s: %s (error code %ld)\n", key, name, Describe(result),
               result);
  return kFailureExit;
}

long Get(const char* key, const char* name) {
  RegistryKey handle = nullptr;
  long result = RegistryOpenKey(key, RegistryAccess::kQuery, &handle);
  if (result != kRegistryOk) return result;
  std::string text(kTextRoom, '\0');
  result = RegistryGetString(handle, name, text.data(), text.size());
  RegistryCloseKey(handle);
  if (result == kRegistryOk) std::printf("%s\n", text.c_str());
  return result;
}

long Set(const char* key, const char* name, const char* text) {
  RegistryKey handle = nullptr;
  long result = RegistryCreateKey(key, &handle);
  if (result != kRegistryOk) return result;
  result = RegistrySetString(handle, name, text);
  RegistryCloseKey(handle);
  return result;
}

long Delete(const char* key, const char* name) {
  RegistryKey handle = nullptr;
  long result = RegistryOpenKey(key, RegistryAccess::kReadWrite, &handle);
  if (result != kRegistryOk) return result;
  result = RegistryDeleteValue(handle, name);
  RegistryCloseKey(handle);
  return result;
}

int Usage() {
  std::fprintf(stderr,
               "usage: vntrreg get KEY NAME | vntrreg set KEY NAME TEXT | "
               "vntrreg delete KEY NAME\n");
  return kUsageExit;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage();
  const char* command = argv[1];
  const char* key = argv[2];
  const char* name = argv[3];
  if (argc == 4 && std::strcmp(command, "get") == 0) return Report(key, name, Get(key, name));
  if (argc == 5 && std::strcmp(command, "set") == 0) {
    return Report(key, name, Set(key, name, argv[4]));
  }
  if (argc == 4 && std::strcmp(command, "delete") == 0) {
    return Report(key, name, Delete(key, name));
  }
  return Usage();
}
