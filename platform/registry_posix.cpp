#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "text/ascii.h"
#include "platform/wipe.h"

struct RegistryKeyState {
  std::string directory;
  RegistryAccess access;
};

namespace {

constexpr long kInvalidHandle = 6;        // ERROR_INVALID_HANDLE
constexpr long kOutOfMemory = 8;          // ERROR_NOT_ENOUGH_MEMORY
constexpr long kInvalidParameter = 87;    // ERROR_INVALID_PARAMETER
constexpr long kDiskFull = 112;           // ERROR_DISK_FULL
constexpr long kBadPathName = 161;        // ERROR_BAD_PATHNAME
constexpr long kRegistryCorrupt = 1015;   // ERROR_REGISTRY_CORRUPT
constexpr long kRegistryIoFailed = 1016;  // ERROR_REGISTRY_IO_FAILED

constexpr std::uint32_t kTypeString = 1;  // REG_SZ
constexpr std::uint32_t kTypeBinary = 3;  // REG_BINARY
constexpr std::uint32_t kTypeDword = 4;   // REG_DWORD
// A secret: binary data that keeps its key's values file from everyone but
// its owner. The high bit keeps it apart from every Windows type.
constexpr std::uint32_t kTypeSecret = 0x80000000u | kTypeBinary;

// As HKEY_LOCAL_MACHINE: every user reads it, only its owner writes it. Set
// with chmod after creation, so that the umask takes nothing away.
constexpr mode_t kFolderMode = 0755;
constexpr mode_t kFileMode = 0644;
constexpr mode_t kSecretFileMode = 0600;
// Key folders never start with '.' (FolderName escapes it), so these names
// cannot collide with a subkey.
constexpr char kValuesFile[] = ".values";
constexpr char kTempFile[] = ".values.tmp";
// Values file: this magic, then per value the little-endian 32-bit type, name
// length and data length, followed by the raw name and the raw data.
constexpr std::string_view kMagic{"VNTRREG1", 8};
// Far beyond what the programs store; bounds what a damaged file can make a
// load allocate.
constexpr std::size_t kMaxValuesFileBytes = std::size_t{64} << 20;
constexpr std::size_t kReadChunk = 64 * 1024;

struct Value {
  std::uint32_t type;
  std::string name;
  std::string data;
};

void WipeText(std::string& text) {
  if (!text.empty()) WipeBytes(&text[0], text.size());
}

// A key's values as loaded; secrets among them are wiped when it goes.
class Values : public std::vector<Value> {
 public:
  Values() = default;
  Values(const Values&) = delete;
  Values& operator=(const Values&) = delete;
  ~Values() {
    for (Value& value : *this) {
      if (value.type == kTypeSecret) WipeText(value.data);
    }
  }
};

// The whole file in memory may hold a secret as well.
class FileBytes : public std::string {
 public:
  FileBytes() = default;
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  ~FileBytes() { WipeText(*this); }
};

bool HoldsSecret(const Values& values) {
  return std::any_of(values.begin(), values.end(),
                     [](const Value& value) { return value.type == kTypeSecret; });
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }
  // Closes now; false when the close reports a failed write.
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

long ErrnoResult(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kRegistryNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kRegistryAccessDenied;
    case ENOMEM:
      return kOutOfMemory;
    case ENOSPC:
    case EDQUOT:
      return kDiskFull;
    case ENAMETOOLONG:
      return kBadPathName;
    default:
      return kRegistryIoFailed;
  }
}

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), AsciiLower);
  return lowered;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

Values::iterator Find(Values& values, std::string_view name) {
  return std::find_if(values.begin(), values.end(),
                      [name](const Value& value) { return SameName(value.name, name); });
}

std::string_view NameOf(const char* name) {
  return name != nullptr ? name : "";
}

// One key name becomes one folder name: ASCII letters lowered so that lookups
// ignore case, and '/', '%' and a leading '.' escaped so that every key name,
// ".." included, stays a single folder inside its parent.
std::string FolderName(std::string_view keyName) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string folder;
  for (std::size_t i = 0; i < keyName.size(); ++i) {
    auto byte = static_cast<unsigned char>(keyName[i]);
    if (byte == '/' || byte == '%' || (i == 0 && byte == '.')) {
      folder += '%';
      folder += kHex[byte >> 4];
      folder += kHex[byte & 15];
    } else {
      folder += AsciiLower(keyName[i]);
    }
  }
  return folder;
}

std::string KeyDirectory(const char* subKey) {
  std::string directory = VntrRootFolder() + "/registry";
  std::string_view rest = NameOf(subKey);
  while (!rest.empty()) {
    std::size_t end = std::min(rest.find('\\'), rest.size());
    if (end > 0) directory += "/" + FolderName(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  return directory;
}

long SyncDirectory(const std::string& path) {
  Fd dir(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return ErrnoResult(errno);
  return fsync(dir.get()) == 0 ? kRegistryOk : ErrnoResult(errno);
}

// A new folder is made durable in its parent, so that a value written into it
// later cannot vanish with it after a crash.
long MakeDirectory(const std::string& path) {
  if (mkdir(path.c_str(), kFolderMode) != 0) {
    return errno == EEXIST ? kRegistryOk : ErrnoResult(errno);
  }
  if (chmod(path.c_str(), kFolderMode) != 0) return ErrnoResult(errno);
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return kRegistryOk;
  return SyncDirectory(slash == 0 ? "/" : path.substr(0, slash));
}

long MakeDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    long result = MakeDirectory(path.substr(0, slash));
    if (result != kRegistryOk) return result;
  }
  return MakeDirectory(path);
}

// Every read of the values file goes through this bounds-checked cursor.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : rest_(bytes) {}
  bool empty() const { return rest_.empty(); }
  bool Take(std::size_t count, std::string_view* out) {
    if (count > rest_.size()) return false;
    *out = rest_.substr(0, count);
    rest_.remove_prefix(count);
    return true;
  }
  bool TakeU32(std::uint32_t* out) {
    std::string_view bytes;
    if (!Take(4, &bytes)) return false;
    *out = 0;
    for (int i = 3; i >= 0; --i) *out = (*out << 8) | static_cast<unsigned char>(bytes[i]);
    return true;
  }

 private:
  std::string_view rest_;
};

long Parse(std::string_view bytes, Values* values) {
  Cursor cursor(bytes);
  std::string_view magic;
  if (!cursor.Take(kMagic.size(), &magic) || magic != kMagic) return kRegistryCorrupt;
  std::unordered_set<std::string> seen;
  while (!cursor.empty()) {
    std::uint32_t type = 0, nameSize = 0, dataSize = 0;
    std::string_view name, data;
    if (!cursor.TakeU32(&type) || !cursor.TakeU32(&nameSize) || !cursor.TakeU32(&dataSize) ||
        !cursor.Take(nameSize, &name) || !cursor.Take(dataSize, &data)) {
      return kRegistryCorrupt;
    }
    if (name.find('\0') != std::string_view::npos) return kRegistryCorrupt;
    if (!seen.insert(Lowered(name)).second) return kRegistryCorrupt;
    values->push_back(Value{type, std::string(name), std::string(data)});
  }
  return kRegistryOk;
}

void PutU32(std::string* out, std::uint32_t number) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((number >> (8 * i)) & 0xff));
}

long Encode(const Values& values, std::string* bytes) {
  bytes->assign(kMagic);
  for (const Value& value : values) {
    // Checked before the sizes are narrowed, and so that no write produces a
    // file that a load would refuse.
    if (value.name.size() + value.data.size() > kMaxValuesFileBytes - bytes->size()) {
      return kOutOfMemory;
    }
    PutU32(bytes, value.type);
    PutU32(bytes, static_cast<std::uint32_t>(value.name.size()));
    PutU32(bytes, static_cast<std::uint32_t>(value.data.size()));
    *bytes += value.name;
    *bytes += value.data;
  }
  return bytes->size() <= kMaxValuesFileBytes ? kRegistryOk : kOutOfMemory;
}

long ReadAll(int fd, std::string* bytes) {
  for (;;) {
    std::size_t used = bytes->size();
    if (used > kMaxValuesFileBytes) return kRegistryCorrupt;
    bytes->resize(used + kReadChunk);
    ssize_t count = read(fd, &(*bytes)[used], kReadChunk);
    bytes->resize(used + static_cast<std::size_t>(std::max<ssize_t>(count, 0)));
    if (count == 0) return kRegistryOk;
    if (count < 0 && errno != EINTR) return ErrnoResult(errno);
  }
}

// A key without a values file has no values. Temporary files of interrupted
// writes are never read.
long Load(int dir, Values* values) {
  Fd file(openat(dir, kValuesFile, O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (file.get() < 0) return errno == ENOENT ? kRegistryOk : ErrnoResult(errno);
  FileBytes bytes;
  long result = ReadAll(file.get(), &bytes);
  return result != kRegistryOk ? result : Parse(bytes, values);
}

long WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t count = write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return ErrnoResult(errno);
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return kRegistryOk;
}

// The mode is set before the first byte is written, so that a secret is
// never readable by others, not even in an old file of that name.
long WriteTempFile(int dir, std::string_view bytes, mode_t mode) {
  Fd file(openat(dir, kTempFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, mode));
  if (file.get() < 0 || fchmod(file.get(), mode) != 0) return ErrnoResult(errno);
  long result = WriteAll(file.get(), bytes);
  if (result != kRegistryOk) return result;
  if (fsync(file.get()) != 0) return ErrnoResult(errno);
  return file.Close() ? kRegistryOk : ErrnoResult(errno);
}

// The new file replaces the old one in a single rename, so that a crash leaves
// either all the old values or all the new ones.
long Store(int dir, const Values& values) {
  FileBytes bytes;
  long result = Encode(values, &bytes);
  if (result != kRegistryOk) return result;
  result = WriteTempFile(dir, bytes, HoldsSecret(values) ? kSecretFileMode : kFileMode);
  if (result == kRegistryOk && renameat(dir, kTempFile, dir, kValuesFile) != 0) {
    result = ErrnoResult(errno);
  }
  if (result != kRegistryOk) {
    unlinkat(dir, kTempFile, 0);
    return result;
  }
  return fsync(dir) == 0 ? kRegistryOk : ErrnoResult(errno);
}

long LoadKey(RegistryKey key, Values* values) {
  if (key == nullptr) return kInvalidHandle;
  Fd dir(open(key->directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return ErrnoResult(errno);
  return Load(dir.get(), values);
}

long LockFolder(int dir) {
  while (flock(dir, LOCK_EX) != 0) {
    if (errno != EINTR) return ErrnoResult(errno);
  }
  return kRegistryOk;
}

// One for every kind of write. The folder's flock parts the threads as well,
// but not where it is emulated with per-process record locks (NFS).
std::mutex writers;

// Threads of this process queue on the mutex, other processes on the folder's
// lock; readers take neither, since a rename never shows them a partial file.
template <typename Edit>
long EditKey(RegistryKey key, Edit edit) {
  if (key == nullptr) return kInvalidHandle;
  if (key->access == RegistryAccess::kQuery) return kRegistryAccessDenied;
  std::lock_guard<std::mutex> guard(writers);
  Fd dir(open(key->directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return ErrnoResult(errno);
  long result = LockFolder(dir.get());
  Values values;
  if (result == kRegistryOk) result = Load(dir.get(), &values);
  if (result == kRegistryOk) result = edit(values);
  return result == kRegistryOk ? Store(dir.get(), values) : result;
}

// No exception leaves the layer; the only ones possible are failed allocations.
template <typename Operation>
long Guarded(Operation operation) {
  try {
    return operation();
  } catch (const std::exception&) {
    return kOutOfMemory;
  }
}

long OpenKey(const char* subKey, RegistryAccess access, RegistryKey* key) {
  if (key == nullptr) return kInvalidParameter;
  *key = nullptr;
  std::string directory = KeyDirectory(subKey);
  struct stat info;
  if (stat(directory.c_str(), &info) != 0) return ErrnoResult(errno);
  if (!S_ISDIR(info.st_mode)) return kRegistryNotFound;
  if (access != RegistryAccess::kQuery &&
      faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    return kRegistryAccessDenied;
  }
  *key = new (std::nothrow) RegistryKeyState{std::move(directory), access};
  return *key != nullptr ? kRegistryOk : kOutOfMemory;
}

long CopyString(std::string_view data, char* buffer, std::size_t size) {
  bool terminated = !data.empty() && data.back() == '\0';
  std::size_t needed = data.size() + (terminated ? 0 : 1);
  if (buffer == nullptr || needed > size) return kRegistryMoreData;
  std::memcpy(buffer, data.data(), data.size());
  buffer[needed - 1] = '\0';
  return kRegistryOk;
}

long CopyName(const std::string& found, char* name, std::size_t size) {
  if (name == nullptr || found.size() >= size) return kRegistryMoreData;
  std::memcpy(name, found.c_str(), found.size() + 1);
  return kRegistryOk;
}

}  // namespace

long RegistryOpenKey(const char* subKey, RegistryAccess access, RegistryKey* key) {
  return Guarded([&] { return OpenKey(subKey, access, key); });
}

long RegistryOpenInstalledKey(const char* subKey, const char* holding, RegistryAccess access,
                              RegistryKey* key) {
  long result = RegistryOpenKey(subKey, access, key);
  if (result != kRegistryOk || holding == nullptr) return result;
  result = RegistryQueryValue(*key, holding);
  if (result == kRegistryOk) return result;
  RegistryCloseKey(*key);
  *key = nullptr;
  return result;
}

long RegistryCreateKey(const char* subKey, RegistryKey* key) {
  return Guarded([&] {
    long result = MakeDirectories(KeyDirectory(subKey));
    return result != kRegistryOk ? result : OpenKey(subKey, RegistryAccess::kReadWrite, key);
  });
}

void RegistryCloseKey(RegistryKey key) {
  delete key;
}

namespace {

// Loads the key and hands the value of that name to use; kRegistryNotFound
// when the key holds none.
template <typename Use>
long WithValue(RegistryKey key, const char* name, Use use) {
  return Guarded([&] {
    Values values;
    long result = LoadKey(key, &values);
    if (result != kRegistryOk) return result;
    auto value = Find(values, NameOf(name));
    return value == values.end() ? kRegistryNotFound : use(*value);
  });
}

}  // namespace

long RegistryQueryValue(RegistryKey key, const char* name) {
  return WithValue(key, name, [](const auto&) { return kRegistryOk; });
}

long RegistryGetString(RegistryKey key, const char* name, char* buffer, std::size_t size) {
  return WithValue(key, name, [&](const auto& value) {
    if (value.type != kTypeString) return kRegistryInvalidData;
    return CopyString(value.data, buffer, size);
  });
}

namespace {

// Creates the value or replaces its type and data. The caller's data is
// wiped once the key holds it.
long PutValue(RegistryKey key, const char* name, std::uint32_t type, std::string& data) {
  long result = EditKey(key, [&](Values& values) {
    auto existing = Find(values, NameOf(name));
    if (existing == values.end()) {
      values.push_back(Value{type, std::string(NameOf(name)), data});
    } else {
      if (existing->type == kTypeSecret) WipeText(existing->data);
      existing->type = type;
      existing->data = data;
    }
    return kRegistryOk;
  });
  WipeText(data);
  return result;
}

long PutBytes(RegistryKey key, const char* name, std::uint32_t type, const void* data,
              std::size_t size) {
  return Guarded([&] {
    std::string bytes(static_cast<const char*>(data), size);
    return PutValue(key, name, type, bytes);
  });
}

long GetBytes(RegistryKey key, const char* name, std::uint32_t type, void* buffer,
              std::size_t size, std::size_t* stored) {
  return WithValue(key, name, [&](const auto& value) {
    if (value.type != type) return kRegistryInvalidData;
    if (value.data.size() > (buffer != nullptr ? size : 0)) return kRegistryMoreData;
    if (!value.data.empty()) std::memcpy(buffer, value.data.data(), value.data.size());
    if (stored != nullptr) *stored = value.data.size();
    return kRegistryOk;
  });
}

}  // namespace

long RegistrySetString(RegistryKey key, const char* name, const char* value) {
  return Guarded([&] {
    // Stored with its terminating NUL, as the Windows registry stores REG_SZ.
    std::string data(value != nullptr ? value : "");
    data += '\0';
    return PutValue(key, name, kTypeString, data);
  });
}

// Little-endian, as Windows stores a REG_DWORD on every machine it runs on.
long RegistryGetDword(RegistryKey key, const char* name, unsigned long* value) {
  unsigned char bytes[4];
  std::size_t stored = 0;
  long result = GetBytes(key, name, kTypeDword, bytes, sizeof bytes, &stored);
  if (result == kRegistryMoreData || (result == kRegistryOk && stored != sizeof bytes)) {
    return kRegistryInvalidData;
  }
  if (result == kRegistryOk) {
    *value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<unsigned long>(bytes[3]) << 24;
  }
  return result;
}

long RegistrySetDword(RegistryKey key, const char* name, unsigned long value) {
  unsigned char bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>((value >> (8 * i)) & 0xff);
  return PutBytes(key, name, kTypeDword, bytes, sizeof bytes);
}

long RegistryGetBinary(RegistryKey key, const char* name, void* buffer, std::size_t size,
                       std::size_t* stored) {
  return GetBytes(key, name, kTypeBinary, buffer, size, stored);
}

long RegistrySetBinary(RegistryKey key, const char* name, const void* data, std::size_t size) {
  return PutBytes(key, name, kTypeBinary, data, size);
}

long RegistryGetSecret(RegistryKey key, const char* name, void* buffer, std::size_t size,
                       std::size_t* stored) {
  return GetBytes(key, name, kTypeSecret, buffer, size, stored);
}

long RegistrySetSecret(RegistryKey key, const char* name, const void* data, std::size_t size) {
  return PutBytes(key, name, kTypeSecret, data, size);
}

long RegistryEnumValue(RegistryKey key, unsigned index, char* name, std::size_t size) {
  return Guarded([&] {
    Values values;
    long result = LoadKey(key, &values);
    if (result != kRegistryOk) return result;
    if (index >= values.size()) return kRegistryNoMoreItems;
    return CopyName(values[index].name, name, size);
  });
}

long RegistryEnumString(RegistryKey key, unsigned index, char* name, std::size_t nameSize,
                        char* data, std::size_t dataSize) {
  return Guarded([&] {
    Values values;
    long result = LoadKey(key, &values);
    if (result != kRegistryOk) return result;
    if (index >= values.size()) return kRegistryNoMoreItems;
    const Value& value = values[index];
    // As on Windows, room is judged before the type.
    if (name == nullptr || value.name.size() >= nameSize) return kRegistryMoreData;
    if (data == nullptr || value.data.size() > dataSize) return kRegistryMoreData;
    if (value.type != kTypeString) return kRegistryInvalidData;
    result = CopyString(value.data, data, dataSize);
    return result != kRegistryOk ? result : CopyName(value.name, name, nameSize);
  });
}

long RegistryReadValue(RegistryKey key, const char* name, void* buffer, std::size_t size,
                       std::size_t* stored) {
  return WithValue(key, name, [&](const auto& value) {
    if (value.data.size() > (buffer != nullptr ? size : 0)) return kRegistryMoreData;
    if (!value.data.empty()) std::memcpy(buffer, value.data.data(), value.data.size());
    if (stored != nullptr) *stored = value.data.size();
    return kRegistryOk;
  });
}

long RegistryDeleteValue(RegistryKey key, const char* name) {
  return Guarded([&] {
    return EditKey(key, [&](Values& values) {
      auto existing = Find(values, NameOf(name));
      if (existing == values.end()) return kRegistryNotFound;
      if (existing->type == kTypeSecret) WipeText(existing->data);
      values.erase(existing);
      return kRegistryOk;
    });
  });
}

bool RegistryValueNamesMatch(const char* a, const char* b) {
  return SameName(NameOf(a), NameOf(b));
}
