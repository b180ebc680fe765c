// The product's key and the wizard's own settings below HKEY_LOCAL_MACHINE:
// three mail settings and the address book, one registry value per
// recipient. Every operation opens its key, does its work and closes it
// again, so the store is always the registry itself.
#pragma once
#include <cstddef>

#include "platform/registry.h"

constexpr const char* kProductKey = "SOFTWARE\\Tarvik\\Vantor";
constexpr const char* kSettingsKey = "SOFTWARE\\Tarvik\\Vantor Vntrlink\\5.5";
constexpr const char* kRecipientKey = "SOFTWARE\\Tarvik\\Vantor Vntrlink\\5.5\\addrList";

// A setting is read into this many bytes; a stored value that needs the last
// one (511 bytes and more, NUL included) reads as absent.
constexpr std::size_t kSettingRoom = 512;
// Bounds of a recipient's name and address as the enumeration reads them,
// NUL included; an entry beyond either ends the enumeration.
constexpr std::size_t kRecipientNameRoom = 256;
constexpr std::size_t kRecipientAddressRoom = 256;

enum MailSetting {
  kFromAddressSetting = 0,  // "fromaddr": the sender of every mail
  kMailServerSetting = 1,   // "mailserver": the SMTP server
  kMessageSetting = 2,      // "message": the text ahead of the links
};

// True when the product's key opens with every right: the wizard writes its
// settings beside it, which a user without those rights could not do.
bool IsProductInstalled();

// Creates the settings key and the recipient key where they are missing.
void EnsureSettingsKeys();

// The setting into buffer (kSettingRoom bytes): its byte count with the NUL,
// or -1 (and an empty buffer) when it is absent, unreadable or too long.
int LoadMailSetting(MailSetting index, char* buffer);
// Stored with its NUL: true, or false when the store did not take it (the
// old value stays).
bool SaveMailSetting(MailSetting index, const char* text);

struct RecipientEntry {
  char name[kRecipientNameRoom];
  char address[kRecipientAddressRoom];
};

// The recipient key for a walk over its entries, closed by the caller with
// RegistryCloseKey; null when it does not open.
RegistryKey OpenRecipientKey();
// Entry index of the open recipient key. False at the first index that does
// not hold a readable entry, which ends the walk.
bool ReadRecipient(RegistryKey key, unsigned index, RecipientEntry* entry);

// True when the address book's first entry can be read.
bool HasRecipients();

// The address of the recipient with that name, in one buffer shared by all
// calls; empty when it cannot be read. Page thread only.
const char* GetRecipientAddress(const char* name);

// Why an edit of the address book was refused.
enum class RecipientRefusal {
  kDuplicateName,  // the name belongs to another entry
  kNotSaved,       // the registry did not take the change
};

// The list of recipient names on the mail settings page, and the messages
// that tell the user why an edit was refused. Lines are numbered as the list
// numbers them; -1 means no line.
class RecipientListView {
 public:
  virtual int AddLine(const char* name) = 0;
  virtual void SelectLine(int index) = 0;
  virtual int SelectedLine() = 0;
  virtual void DeleteLine(int index) = 0;
  virtual void ShowRefusal(RecipientRefusal reason) = 0;

 protected:
  ~RecipientListView() = default;
};

// Adds every readable entry's name to the list, in enumeration order.
void FillRecipientList(RecipientListView& list);

// The edits of the recipient dialog and the Delete button. The list changes
// only after the registry took the change; a refused edit shows its reason,
// changes nothing and returns false, so the dialog stays open.
bool AddRecipient(RecipientListView& list, const char* name, const char* address);
// oldName is the entry being modified (the list's selected line). The same
// name rewrites only the address; a new name, which may differ from the old
// one only in letter case, replaces the entry and its line.
bool ChangeRecipient(RecipientListView& list, const char* oldName, const char* newName,
                     const char* address);
// Removes the entry and the selected line; the line stays when the entry
// could not be deleted, so that the list still shows who will be mailed.
void DeleteRecipient(RecipientListView& list, const char* name);
