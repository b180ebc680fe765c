#include "wizard/ip_helpers.h"

int ipHelperAvailable = 0;
GetAdaptersInfoFunction getAdaptersInfo = nullptr;
DnsQueryConfigFunction dnsQueryConfig = nullptr;

namespace {

HMODULE ipHelperLibrary = nullptr;
HMODULE dnsLibrary = nullptr;

void Release(HMODULE* library) {
  if (*library != nullptr) FreeLibrary(*library);
  *library = nullptr;
}

// The function's address, or nullptr with the library released again.
FARPROC LoadFunction(const char* libraryName, const char* functionName, HMODULE* library) {
  *library = LoadLibraryA(libraryName);
  if (*library == nullptr) return nullptr;
  FARPROC function = GetProcAddress(*library, functionName);
  if (function == nullptr) Release(library);
  return function;
}

template <typename Function>
Function As(FARPROC address) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

}  // namespace

int LoadIpHelpers() {
  getAdaptersInfo = As<GetAdaptersInfoFunction>(
      LoadFunction("IPHLPAPI.DLL", "GetAdaptersInfo", &ipHelperLibrary));
  if (getAdaptersInfo == nullptr) return 0;
  dnsQueryConfig = As<DnsQueryConfigFunction>(
      LoadFunction("DNSAPI.DLL", "DnsQueryConfig", &dnsLibrary));
  if (dnsQueryConfig == nullptr) {
    getAdaptersInfo = nullptr;
    Release(&ipHelperLibrary);
    return 0;
  }
  return 1;
}

void FreeIpHelpers() {
  getAdaptersInfo = nullptr;
  dnsQueryConfig = nullptr;
  Release(&ipHelperLibrary);
  Release(&dnsLibrary);
}
