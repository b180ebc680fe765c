#include "platform/registry.h"

#include <windows.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/shift_jis_win32.h"

struct RegistryKeyState {
  HKEY handle;
};

namespace {

// A value that changes size between the size query and the read is read
// again, a few times at most.
constexpr int kReadAttempts = 4;

// The view of 32-bit programs, where the product's 32-bit setup and programs
// keep their keys; on 32-bit Windows the flag is ignored.
constexpr REGSAM kProductView = KEY_WOW64_32KEY;

// The registry is spoken to in UTF-16, which holds every name and text that
// other programs may have written there; the callers' texts are Shift_JIS.
std::wstring Wide(const char* text) {
  return WideFromRegistryText(text != nullptr ? text : "");
}

// No exception leaves the layer; the only ones possible are failed allocations.
template <typename Operation>
long Guarded(Operation operation) {
  try {
    return operation();
  } catch (const std::exception&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
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

long OpenInView(REGSAM view, const char* subKey, const char* holding, RegistryAccess access,
                RegistryKey* key) {
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  *key = nullptr;
  HKEY handle = nullptr;
  long result =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(subKey).c_str(), 0, AccessMask(access) | view, &handle);
  if (result == ERROR_SUCCESS && holding != nullptr) {
    result = RegQueryValueExW(handle, Wide(holding).c_str(), nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) RegCloseKey(handle);
  }
  return WrapHandle(result, handle, key);
}

bool IsText(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ;
}

// The text of string data: its UTF-16 units up to the first NUL, since the
// registry does not promise a terminator for data written by other programs.
std::wstring_view WideText(const std::vector<BYTE>& data) {
  std::wstring_view units(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
  return units.substr(0, units.find(L'\0'));
}

long CopyText(const std::string& text, char* buffer, std::size_t size) {
  if (buffer == nullptr || text.size() >= size) return ERROR_MORE_DATA;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return ERROR_SUCCESS;
}

long CopyData(const std::vector<BYTE>& data, void* buffer, std::size_t size, std::size_t* stored) {
  if (data.size() > size || (buffer == nullptr && !data.empty())) return ERROR_MORE_DATA;
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  if (stored != nullptr) *stored = data.size();
  return ERROR_SUCCESS;
}

// The value's type and whole data.
long QueryData(HKEY handle, const std::wstring& name, DWORD* type, std::vector<BYTE>* data) {
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    DWORD size = 0;
    long result = RegQueryValueExW(handle, name.c_str(), nullptr, type, nullptr, &size);
    if (result != ERROR_SUCCESS) return result;
    data->resize(size);
    result = RegQueryValueExW(handle, name.c_str(), nullptr, type, data->data(), &size);
    if (result == ERROR_MORE_DATA) continue;
    data->resize(size);
    return result;
  }
  return ERROR_MORE_DATA;
}

// Reads the value of that name whole and hands its type and data to use.
template <typename Use>
long WithData(RegistryKey key, const char* name, Use use) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  return Guarded([&] {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    long result = QueryData(key->handle, Wide(name), &type, &data);
    return result != ERROR_SUCCESS ? result : static_cast<long>(use(type, data));
  });
}

// The index-th value's name and, when data is not null, its type and data.
long EnumData(HKEY handle, unsigned index, std::wstring* name, DWORD* type,
              std::vector<BYTE>* data) {
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    DWORD nameMax = 0;
    DWORD dataMax = 0;
    long result = RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, &nameMax, &dataMax, nullptr, nullptr);
    if (result != ERROR_SUCCESS) return result;
    name->assign(nameMax + 1, L'\0');
    DWORD nameLength = nameMax + 1;
    DWORD size = dataMax;
    if (data != nullptr) data->resize(size);
    result = RegEnumValueW(handle, index, name->data(), &nameLength, nullptr, type,
                           data != nullptr ? data->data() : nullptr,
                           data != nullptr ? &size : nullptr);
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) return result;
    name->resize(nameLength);
    if (data != nullptr) data->resize(size);
    return result;
  }
  return ERROR_MORE_DATA;
}

}  // namespace

long RegistryOpenKey(const char* subKey, RegistryAccess access, RegistryKey* key) {
  return Guarded([&] { return OpenInView(kProductView, subKey, nullptr, access, key); });
}

long RegistryOpenInstalledKey(const char* subKey, const char* holding, RegistryAccess access,
                              RegistryKey* key) {
  return Guarded([&] {
    long result = OpenInView(kProductView, subKey, holding, access, key);
    if (result == ERROR_SUCCESS) return result;
    long other = OpenInView(KEY_WOW64_64KEY, subKey, holding, access, key);
    if (other == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) return other;
    return result;
  });
}

long RegistryCreateKey(const char* subKey, RegistryKey* key) {
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  *key = nullptr;
  return Guarded([&] {
    HKEY handle = nullptr;
    long result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(subKey).c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE | kProductView,
                                  nullptr, &handle, nullptr);
    return WrapHandle(result, handle, key);
  });
}

void RegistryCloseKey(RegistryKey key) {
  if (key == nullptr) return;
  RegCloseKey(key->handle);
  delete key;
}

long RegistryQueryValue(RegistryKey key, const char* name) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  return Guarded([&] {
    return RegQueryValueExW(key->handle, Wide(name).c_str(), nullptr, nullptr, nullptr, nullptr);
  });
}

long RegistryGetString(RegistryKey key, const char* name, char* buffer, std::size_t size) {
  return WithData(key, name, [&](DWORD type, std::vector<BYTE>& data) -> long {
    if (type != REG_SZ) return ERROR_INVALID_DATA;
    return CopyText(RegistryTextFromWide(WideText(data)), buffer, size);
  });
}

long RegistrySetString(RegistryKey key, const char* name, const char* value) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  return Guarded([&] {
    std::wstring text = Wide(value);
    DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key->handle, Wide(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()), size);
  });
}

long RegistryEnumValue(RegistryKey key, unsigned index, char* name, std::size_t size) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  return Guarded([&] {
    std::wstring found;
    long result = EnumData(key->handle, index, &found, nullptr, nullptr);
    if (result != ERROR_SUCCESS) return result;
    return CopyText(RegistryTextFromWide(found), name, size);
  });
}

long RegistryEnumString(RegistryKey key, unsigned index, char* name, std::size_t nameSize,
                        char* data, std::size_t dataSize) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (name == nullptr || nameSize == 0 || data == nullptr || dataSize == 0) return ERROR_MORE_DATA;
  return Guarded([&] {
    std::wstring found;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    long result = EnumData(key->handle, index, &found, &type, &bytes);
    if (result != ERROR_SUCCESS) return result;
    if (type != REG_SZ) return ERROR_INVALID_DATA;
    result = CopyText(RegistryTextFromWide(found), name, nameSize);
    if (result != ERROR_SUCCESS) return result;
    return CopyText(RegistryTextFromWide(WideText(bytes)), data, dataSize);
  });
}

// Texts come back in their Shift_JIS form with a terminator, as the ANSI
// calls return them; other data as it is.
long RegistryReadValue(RegistryKey key, const char* name, void* buffer, std::size_t size,
                       std::size_t* stored) {
  return WithData(key, name, [&](DWORD type, std::vector<BYTE>& data) -> long {
    if (IsText(type)) {
      std::string text = RegistryTextFromWide(WideText(data));
      data.assign(text.begin(), text.end());
      data.push_back(0);
    }
    return CopyData(data, buffer, size, stored);
  });
}

long RegistryDeleteValue(RegistryKey key, const char* name) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  return Guarded([&] { return RegDeleteValueW(key->handle, Wide(name).c_str()); });
}

long RegistryGetDword(RegistryKey key, const char* name, unsigned long* value) {
  return WithData(key, name, [&](DWORD type, std::vector<BYTE>& data) -> long {
    if (type != REG_DWORD || data.size() != sizeof(DWORD)) {
      return ERROR_INVALID_DATA;
    }
    DWORD number = 0;
    std::memcpy(&number, data.data(), sizeof number);
    *value = number;
    return ERROR_SUCCESS;
  });
}

long RegistrySetDword(RegistryKey key, const char* name, unsigned long value) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  DWORD data = value;
  return Guarded([&] {
    return RegSetValueExW(key->handle, Wide(name).c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof data);
  });
}

long RegistryGetBinary(RegistryKey key, const char* name, void* buffer, std::size_t size,
                       std::size_t* stored) {
  return WithData(key, name, [&](DWORD type, std::vector<BYTE>& data) -> long {
    if (type != REG_BINARY) return ERROR_INVALID_DATA;
    return CopyData(data, buffer, size, stored);
  });
}

long RegistrySetBinary(RegistryKey key, const char* name, const void* data, std::size_t size) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (size > MAXDWORD) return ERROR_INVALID_PARAMETER;
  return Guarded([&] {
    return RegSetValueExW(key->handle, Wide(name).c_str(), 0, REG_BINARY,
                          static_cast<const BYTE*>(data), static_cast<DWORD>(size));
  });
}

// The registry compares value names by the system's upper-case table, which
// CompareStringOrdinal applies when it ignores case.
bool RegistryValueNamesMatch(const char* a, const char* b) {
  try {
    std::wstring wideA = Wide(a);
    std::wstring wideB = Wide(b);
    return CompareStringOrdinal(wideA.c_str(), -1, wideB.c_str(), -1, TRUE) == CSTR_EQUAL;
  } catch (const std::exception&) {
    return std::strcmp(a != nullptr ? a : "", b != nullptr ? b : "") == 0;
  }
}
