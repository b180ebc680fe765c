#include "platform/registry.h"

#include <windows.h>

#include <cstring>
#include <new>

struct RegistryKeyState {
  HKEY handle;
};

namespace {

DWORD ClampedSize(std::size_t size) {
  return size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
}

REGSAM AccessMask(RegistryAccess access) {
  switch (access) {
    case RegistryAccess::kQuery: return KEY_QUERY_VALUE;
    case RegistryAccess::kReadWrite: return KEY_READ | KEY_WRITE;
    case RegistryAccess::kFull: break;
  }
  return KEY_ALL_ACCESS;
}

long WrapHandle(long result, HKEY handle, RegistryKey* key) {
  if (result != ERROR_SUCCESS) return result;
  *key = new (std::nothrow) RegistryKeyState{handle};
  if (*key != nullptr) return ERROR_SUCCESS;
  RegCloseKey(handle);
  return ERROR_NOT_ENOUGH_MEMORY;
}

// The registry does not promise a terminating NUL for REG_SZ data written by
// other programs, so one is added when the buffer has room for it.
long TerminateString(char* buffer, std::size_t size, DWORD stored) {
  if (stored > 0 && buffer[stored - 1] == '\0') return ERROR_SUCCESS;
  if (stored >= size) return ERROR_MORE_DATA;
  buffer[stored] = '\0';
  return ERROR_SUCCESS;
}

}  // namespace

long RegistryOpenKey(const char* subKey, RegistryAccess access, RegistryKey* key) {
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  *key = nullptr;
  HKEY handle = nullptr;
  long result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, AccessMask(access), &handle);
  return WrapHandle(result, handle, key);
}

long RegistryCreateKey(const char* subKey, RegistryKey* key) {
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  *key = nullptr;
  char emptyClass[] = "";
  HKEY handle = nullptr;
  long result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, emptyClass, REG_OPTION_NON_VOLATILE,
                                KEY_READ | KEY_WRITE, nullptr, &handle, nullptr);
  return WrapHandle(result, handle, key);
}

void RegistryCloseKey(RegistryKey key) {
  if (key == nullptr) return;
  RegCloseKey(key->handle);
  delete key;
}

long RegistryQueryValue(RegistryKey key, const char* name) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  return RegQueryValueExA(key->handle, name, nullptr, nullptr, nullptr, nullptr);
}

long RegistryGetString(RegistryKey key, const char* name, char* buffer, std::size_t size) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  // A zero capacity with a non-null pointer still reports ERROR_MORE_DATA.
  char unused = 0;
  if (buffer == nullptr) size = 0;
  BYTE* data = reinterpret_cast<BYTE*>(size > 0 ? buffer : &unused);
  DWORD type = REG_NONE;
  DWORD stored = ClampedSize(size);
  long result = RegQueryValueExA(key->handle, name, nullptr, &type, data, &stored);
  if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return result;
  if (type != REG_SZ) return ERROR_INVALID_DATA;
  if (result != ERROR_SUCCESS) return result;
  return TerminateString(buffer, size, stored);
}

long RegistrySetString(RegistryKey key, const char* name, const char* value) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (value == nullptr) value = "";
  DWORD size = ClampedSize(std::strlen(value) + 1);
  return RegSetValueExA(key->handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), size);
}

long RegistryEnumValue(RegistryKey key, unsigned index, char* name, std::size_t size) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  char unused = 0;
  if (name == nullptr) size = 0;
  DWORD capacity = ClampedSize(size);
  return RegEnumValueA(key->handle, index, size > 0 ? name : &unused, &capacity, nullptr, nullptr,
                       nullptr, nullptr);
}

long RegistryDeleteValue(RegistryKey key, const char* name) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  return RegDeleteValueA(key->handle, name);
}
