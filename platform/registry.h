// Keys and values below HKEY_LOCAL_MACHINE.
//
// On Windows these are the registry calls themselves, in the registry view of
// 32-bit programs: the product's setup and programs are 32-bit, so on 64-bit
// Windows the product's keys, and the settings that the earlier 32-bit wizard
// kept, lie in the 32-bit view (below WOW6432Node). Elsewhere the registry
// is a folder tree below VNTR_ROOT/registry: one folder per key, all values of
// a key in one file that is replaced atomically, value names compared without
// regard to ASCII case, and values enumerated in the order they were created.
#pragma once
#include <cstddef>

// Results: 0 or a Windows system error code.
constexpr long kRegistryOk = 0;
constexpr long kRegistryNotFound = 2;       // ERROR_FILE_NOT_FOUND
constexpr long kRegistryAccessDenied = 5;   // ERROR_ACCESS_DENIED
constexpr long kRegistryInvalidData = 13;   // ERROR_INVALID_DATA
constexpr long kRegistryMoreData = 234;     // ERROR_MORE_DATA
constexpr long kRegistryNoMoreItems = 259;  // ERROR_NO_MORE_ITEMS

struct RegistryKeyState;
using RegistryKey = RegistryKeyState*;

// kFull asks for every right on the key (on Windows KEY_ALL_ACCESS, which
// also holds the rights to delete the key and change its security).
enum class RegistryAccess { kQuery, kReadWrite, kFull };

// subKey is a path such as "SOFTWARE\\Tarvik\\Vantor\\5.5".
long RegistryOpenKey(const char* subKey, RegistryAccess access, RegistryKey* key);
// A key that the product's setup made, which may have been a 32-bit or a
// 64-bit program: opened in the 32-bit view, or where it is missing there (or
// does not hold the value named holding, when that is not null) in the 64-bit
// view. Elsewhere there is one view.
long RegistryOpenInstalledKey(const char* subKey, const char* holding, RegistryAccess access,
                              RegistryKey* key);
// Opens the key for reading and writing, creating it and its parents as needed.
long RegistryCreateKey(const char* subKey, RegistryKey* key);
void RegistryCloseKey(RegistryKey key);

// Whether the value exists, whatever its type and data.
long RegistryQueryValue(RegistryKey key, const char* name);
// A REG_SZ value into buffer (terminated); kRegistryMoreData when it does not
// fit, kRegistryInvalidData when the value is of another type.
long RegistryGetString(RegistryKey key, const char* name, char* buffer, std::size_t size);
long RegistrySetString(RegistryKey key, const char* name, const char* value);
// The name of the index-th value; kRegistryNoMoreItems past the last one.
long RegistryEnumValue(RegistryKey key, unsigned index, char* name, std::size_t size);
// The index-th value as a REG_SZ text: its name into name and its text into
// data, both terminated. kRegistryMoreData when either does not fit its
// buffer, kRegistryInvalidData when the value is of another type.
long RegistryEnumString(RegistryKey key, unsigned index, char* name, std::size_t nameSize,
                        char* data, std::size_t dataSize);
// The value's data as stored, whatever its type, and its byte count in
// *stored; kRegistryMoreData when it does not fit size bytes.
long RegistryReadValue(RegistryKey key, const char* name, void* buffer, std::size_t size,
                       std::size_t* stored);
long RegistryDeleteValue(RegistryKey key, const char* name);

// A REG_DWORD value; kRegistryInvalidData when the value is of another type.
long RegistryGetDword(RegistryKey key, const char* name, unsigned long* value);
long RegistrySetDword(RegistryKey key, const char* name, unsigned long value);
// A REG_BINARY value; kRegistryMoreData when it does not fit size bytes,
// kRegistryInvalidData when the value is of another type.
long RegistryGetBinary(RegistryKey key, const char* name, void* buffer, std::size_t size,
                       std::size_t* stored);
long RegistrySetBinary(RegistryKey key, const char* name, const void* data, std::size_t size);

// A secret of the current user, such as a password. On Windows a REG_BINARY
// value holding the data protection API's blob of the bytes (this user, no
// extra entropy), which only this user on this machine can open; elsewhere
// the bytes themselves, in a values file that only its owner may read for as
// long as the key holds a secret. The getter's results are those of
// RegistryGetBinary; a blob that does not open reads as kRegistryInvalidData.
long RegistryGetSecret(RegistryKey key, const char* name, void* buffer, std::size_t size,
                       std::size_t* stored);
long RegistrySetSecret(RegistryKey key, const char* name, const void* data, std::size_t size);

// Whether two value names name the same value of a key, by the registry's
// own rule (letter case does not count).
bool RegistryValueNamesMatch(const char* a, const char* b);
