#include "platform/registry.h"

#include <windows.h>

#include <cstring>
#include <memory>
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

// A value name as the registry holds it, in UTF-16; null when the text
// cannot be converted or memory runs out.
std::unique_ptr<wchar_t[]> WideName(const char* name) {
  int length = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
  if (length <= 0) return nullptr;
  std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[length]);
  if (wide == nullptr) return nullptr;
  MultiByteToWideChar(CP_ACP, 0, name, -1, wide.get(), length);
  return wide;
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

long RegistryEnumString(RegistryKey key, unsigned index, char* name, std::size_t nameSize,
                        char* data, std::size_t dataSize) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (name == nullptr || nameSize == 0 || data == nullptr || dataSize == 0) return ERROR_MORE_DATA;
  DWORD nameCapacity = ClampedSize(nameSize);
  DWORD type = REG_NONE;
  DWORD stored = ClampedSize(dataSize);
  long result = RegEnumValueA(key->handle, index, name, &nameCapacity, nullptr, &type,
                              reinterpret_cast<BYTE*>(data), &stored);
  if (result != ERROR_SUCCESS) return result;
  if (type != REG_SZ) return ERROR_INVALID_DATA;
  return TerminateString(data, dataSize, stored);
}

long RegistryReadValue(RegistryKey key, const char* name, void* buffer, std::size_t size,
                       std::size_t* stored) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  BYTE unused = 0;
  if (buffer == nullptr) size = 0;
  DWORD count = ClampedSize(size);
  BYTE* data = size > 0 ? static_cast<BYTE*>(buffer) : &unused;
  long result = RegQueryValueExA(key->handle, name, nullptr, nullptr, data, &count);
  if (result == ERROR_SUCCESS && stored != nullptr) *stored = count;
  return result;
}

long RegistryDeleteValue(RegistryKey key, const char* name) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  return RegDeleteValueA(key->handle, name);
}

long RegistryGetDword(RegistryKey key, const char* name, unsigned long* value) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  DWORD type = REG_NONE;
  DWORD data = 0;
  DWORD size = sizeof data;
  long result =
      RegQueryValueExA(key->handle, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  if (result == ERROR_MORE_DATA || (result == ERROR_SUCCESS && type != REG_DWORD)) {
    return ERROR_INVALID_DATA;
  }
  if (result == ERROR_SUCCESS) *value = data;
  return result;
}

long RegistrySetDword(RegistryKey key, const char* name, unsigned long value) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  DWORD data = value;
  return RegSetValueExA(key->handle, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof data);
}

long RegistryGetBinary(RegistryKey key, const char* name, void* buffer, std::size_t size,
                       std::size_t* stored) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  BYTE unused = 0;
  if (buffer == nullptr) size = 0;
  DWORD type = REG_NONE;
  DWORD count = ClampedSize(size);
  BYTE* data = size > 0 ? static_cast<BYTE*>(buffer) : &unused;
  long result = RegQueryValueExA(key->handle, name, nullptr, &type, data, &count);
  if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return result;
  if (type != REG_BINARY) return ERROR_INVALID_DATA;
  if (result == ERROR_SUCCESS && stored != nullptr) *stored = count;
  return result;
}

long RegistrySetBinary(RegistryKey key, const char* name, const void* data, std::size_t size) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (size > MAXDWORD) return ERROR_INVALID_PARAMETER;
  return RegSetValueExA(key->handle, name, 0, REG_BINARY, static_cast<const BYTE*>(data),
                        static_cast<DWORD>(size));
}

// The registry compares value names by the system's upper-case table, which
// CompareStringOrdinal applies when it ignores case.
bool RegistryValueNamesMatch(const char* a, const char* b) {
  if (a == nullptr) a = "";
  if (b == nullptr) b = "";
  std::unique_ptr<wchar_t[]> wideA = WideName(a);
  std::unique_ptr<wchar_t[]> wideB = WideName(b);
  if (wideA == nullptr || wideB == nullptr) return std::strcmp(a, b) == 0;
  return CompareStringOrdinal(wideA.get(), -1, wideB.get(), -1, TRUE) == CSTR_EQUAL;
}
