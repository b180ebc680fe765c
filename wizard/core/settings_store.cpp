#include "wizard/core/settings_store.h"

#include <cstring>

namespace {

constexpr const char* kSettingNames[] = {"fromaddr", "mailserver", "message"};
// One byte of the buffer stays free for the terminator the read adds.
constexpr std::size_t kSettingReadLimit = kSettingRoom - 1;

char sharedAddress[kRecipientAddressRoom];

// The store's keys are always opened with every right, also for reading.
class ScopedKey {
 public:
  ScopedKey() = default;
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  ~ScopedKey() { RegistryCloseKey(handle); }
  bool Open(const char* subKey) {
    return RegistryOpenKey(subKey, RegistryAccess::kFull, &handle) == kRegistryOk;
  }

  RegistryKey handle = nullptr;
};

const char* SettingName(MailSetting index) {
  return index >= kFromAddressSetting && index <= kMessageSetting ? kSettingNames[index] : nullptr;
}

void EnsureKey(const char* subKey) {
  ScopedKey key;
  if (!key.Open(subKey)) RegistryCreateKey(subKey, &key.handle);
}

enum class Outcome { kDone, kDuplicateName, kNotSaved };

// A name is taken when its value reads within the enumeration's data room.
bool IsNameTaken(RegistryKey key, const char* name) {
  char data[kRecipientAddressRoom];
  std::size_t stored = 0;
  return RegistryReadValue(key, name, data, sizeof data, &stored) == kRegistryOk;
}

bool IsGone(long deleteResult) {
  return deleteResult == kRegistryOk || deleteResult == kRegistryNotFound;
}

Outcome Write(RegistryKey key, const char* name, const char* address) {
  return RegistrySetString(key, name, address) == kRegistryOk ? Outcome::kDone : Outcome::kNotSaved;
}

Outcome StoreNew(const char* name, const char* address) {
  ScopedKey key;
  if (!key.Open(kRecipientKey)) return Outcome::kNotSaved;
  if (IsNameTaken(key.handle, name)) return Outcome::kDuplicateName;
  return Write(key.handle, name, address);
}

// The new entry is written before the old one goes, and taken back when the
// old one stays, so that a failure leaves the book as it was.
Outcome Move(RegistryKey key, const char* oldName, const char* newName, const char* address) {
  if (Write(key, newName, address) != Outcome::kDone) return Outcome::kNotSaved;
  if (IsGone(RegistryDeleteValue(key, oldName))) return Outcome::kDone;
  RegistryDeleteValue(key, newName);
  return Outcome::kNotSaved;
}

// Both names name one value, and the registry keeps a value's first
// spelling: the value is deleted and written anew, and put back as it was
// when the new one cannot be written.
Outcome Respell(RegistryKey key, const char* oldName, const char* newName, const char* address) {
  char previous[kRecipientAddressRoom];
  bool kept = RegistryGetString(key, oldName, previous, sizeof previous) == kRegistryOk;
  if (!IsGone(RegistryDeleteValue(key, oldName))) return Outcome::kNotSaved;
  if (Write(key, newName, address) == Outcome::kDone) return Outcome::kDone;
  if (kept) RegistrySetString(key, oldName, previous);
  return Outcome::kNotSaved;
}

Outcome StoreChange(const char* oldName, const char* newName, const char* address) {
  ScopedKey key;
  if (!key.Open(kRecipientKey)) return Outcome::kNotSaved;
  if (std::strcmp(oldName, newName) == 0) return Write(key.handle, oldName, address);
  if (RegistryValueNamesMatch(oldName, newName)) {
    return Respell(key.handle, oldName, newName, address);
  }
  if (IsNameTaken(key.handle, newName)) return Outcome::kDuplicateName;
  return Move(key.handle, oldName, newName, address);
}

// Called with every key closed: the message box waits for the user.
bool Accepted(RecipientListView& list, Outcome outcome) {
  if (outcome == Outcome::kDone) return true;
  list.ShowRefusal(outcome == Outcome::kDuplicateName ? RecipientRefusal::kDuplicateName
                                                      : RecipientRefusal::kNotSaved);
  return false;
}

void AddSelectedLine(RecipientListView& list, const char* name) {
  list.SelectLine(list.AddLine(name));
}

void DeleteSelectedLine(RecipientListView& list) {
  int selected = list.SelectedLine();
  if (selected >= 0) list.DeleteLine(selected);
}

}  // namespace

bool IsProductInstalled() {
  ScopedKey key;
  return RegistryOpenInstalledKey(kProductKey, nullptr, RegistryAccess::kFull, &key.handle) ==
         kRegistryOk;
}

void EnsureSettingsKeys() {
  EnsureKey(kSettingsKey);
  EnsureKey(kRecipientKey);
}

int LoadMailSetting(MailSetting index, char* buffer) {
  buffer[0] = '\0';
  const char* name = SettingName(index);
  ScopedKey key;
  if (name == nullptr || !key.Open(kSettingsKey)) return -1;
  if (RegistryGetString(key.handle, name, buffer, kSettingReadLimit) != kRegistryOk) {
    buffer[0] = '\0';
    return -1;
  }
  return static_cast<int>(std::strlen(buffer) + 1);
}

bool SaveMailSetting(MailSetting index, const char* text) {
  const char* name = SettingName(index);
  ScopedKey key;
  return name != nullptr && key.Open(kSettingsKey) &&
         RegistrySetString(key.handle, name, text) == kRegistryOk;
}

RegistryKey OpenRecipientKey() {
  RegistryKey key = nullptr;
  return RegistryOpenKey(kRecipientKey, RegistryAccess::kFull, &key) == kRegistryOk ? key : nullptr;
}

bool ReadRecipient(RegistryKey key, unsigned index, RecipientEntry* entry) {
  return RegistryEnumString(key, index, entry->name, sizeof entry->name, entry->address,
                            sizeof entry->address) == kRegistryOk;
}

bool HasRecipients() {
  ScopedKey key;
  RecipientEntry entry;
  return key.Open(kRecipientKey) && ReadRecipient(key.handle, 0, &entry);
}

const char* GetRecipientAddress(const char* name) {
  ScopedKey key;
  if (!key.Open(kRecipientKey) ||
      RegistryGetString(key.handle, name, sharedAddress, sizeof sharedAddress) != kRegistryOk) {
    sharedAddress[0] = '\0';
  }
  return sharedAddress;
}

void FillRecipientList(RecipientListView& list) {
  ScopedKey key;
  if (!key.Open(kRecipientKey)) return;
  RecipientEntry entry;
  for (unsigned index = 0; ReadRecipient(key.handle, index, &entry); ++index) {
    list.AddLine(entry.name);
  }
}

bool AddRecipient(RecipientListView& list, const char* name, const char* address) {
  if (!Accepted(list, StoreNew(name, address))) return false;
  AddSelectedLine(list, name);
  return true;
}

bool ChangeRecipient(RecipientListView& list, const char* oldName, const char* newName,
                     const char* address) {
  if (!Accepted(list, StoreChange(oldName, newName, address))) return false;
  if (std::strcmp(oldName, newName) != 0) {
    DeleteSelectedLine(list);
    AddSelectedLine(list, newName);
  }
  return true;
}

void DeleteRecipient(RecipientListView& list, const char* name) {
  bool gone = false;
  {
    ScopedKey key;
    gone = key.Open(kRecipientKey) && IsGone(RegistryDeleteValue(key.handle, name));
  }
  if (gone) DeleteSelectedLine(list);
}
