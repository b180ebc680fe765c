// Secrets in the registry, sealed for the current user by the data
// protection API. Apart from the other registry calls so that only the
// programs that keep secrets import the cryptography library.
#include <windows.h>

#include <dpapi.h>

#include <cstring>

#include "platform/registry.h"

namespace {

// The blob adds a header, a hash and padding of a few hundred bytes to the
// secret; the wizard's secrets are a few hundred bytes themselves.
constexpr std::size_t kSealedRoom = 4096;

}  // namespace

long RegistrySetSecret(RegistryKey key, const char* name, const void* data, std::size_t size) {
  if (size > MAXDWORD) return ERROR_INVALID_PARAMETER;
  DATA_BLOB open{static_cast<DWORD>(size), static_cast<BYTE*>(const_cast<void*>(data))};
  DATA_BLOB sealed{};
  if (!CryptProtectData(&open, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                        &sealed)) {
    return static_cast<long>(GetLastError());
  }
  long result = RegistrySetBinary(key, name, sealed.pbData, sealed.cbData);
  LocalFree(sealed.pbData);
  return result;
}

long RegistryGetSecret(RegistryKey key, const char* name, void* buffer, std::size_t size,
                       std::size_t* stored) {
  BYTE sealedBytes[kSealedRoom];
  std::size_t sealedSize = 0;
  long result = RegistryGetBinary(key, name, sealedBytes, sizeof sealedBytes, &sealedSize);
  if (result != kRegistryOk) return result;
  DATA_BLOB sealed{static_cast<DWORD>(sealedSize), sealedBytes};
  DATA_BLOB open{};
  if (!CryptUnprotectData(&sealed, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &open)) {
    return kRegistryInvalidData;
  }
  result = open.cbData <= size ? kRegistryOk : kRegistryMoreData;
  if (result == kRegistryOk) {
    std::memcpy(buffer, open.pbData, open.cbData);
    if (stored != nullptr) *stored = open.cbData;
  }
  SecureZeroMemory(open.pbData, open.cbData);
  LocalFree(open.pbData);
  return result;
}
