#include "wizard/core/submission_settings.h"

#include <cstring>

#include "platform/registry.h"

namespace {

constexpr const char* kPortValue = "smtpport";
constexpr const char* kSecurityValue = "smtpsecurity";
constexpr const char* kAuthValue = "smtpauth";
constexpr const char* kUserValue = "smtpuser";
constexpr const char* kPasswordValue = "smtppassword";
constexpr unsigned long kHighestPort = 65535;
constexpr char kImplicitTlsScheme[] = "smtps://";

// One key open per operation, as for every setting of the wizard.
class SettingsKey {
 public:
  SettingsKey() { RegistryOpenKey(kSettingsKey, RegistryAccess::kFull, &handle_); }
  SettingsKey(const SettingsKey&) = delete;
  SettingsKey& operator=(const SettingsKey&) = delete;
  ~SettingsKey() { RegistryCloseKey(handle_); }
  RegistryKey Get() const { return handle_; }

 private:
  RegistryKey handle_ = nullptr;
};

bool ReadNumber(RegistryKey key, const char* name, unsigned long highest, unsigned long* value) {
  unsigned long read = 0;
  if (RegistryGetDword(key, name, &read) != kRegistryOk || read > highest) return false;
  *value = read;
  return true;
}

bool StartsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix) {
    char c = *text >= 'A' && *text <= 'Z' ? static_cast<char>(*text - 'A' + 'a') : *text;
    if (c != *prefix) return false;
  }
  return true;
}

}  // namespace

void LoadSubmissionSettings(SubmissionSettings* settings) {
  *settings = SubmissionSettings{};
  SettingsKey key;
  if (key.Get() == nullptr) return;
  ReadNumber(key.Get(), kPortValue, kHighestPort, &settings->port);
  unsigned long security = 0;
  settings->securityChosen = ReadNumber(key.Get(), kSecurityValue,
                                        static_cast<unsigned long>(SmtpSecurity::kTls), &security);
  settings->security = static_cast<SmtpSecurity>(security);
  unsigned long authenticate = 0;
  settings->authenticate = ReadNumber(key.Get(), kAuthValue, 1, &authenticate) && authenticate;
  if (RegistryGetString(key.Get(), kUserValue, settings->user, kSettingRoom - 1) != kRegistryOk) {
    settings->user[0] = '\0';
  }
  settings->passwordStored = RegistryQueryValue(key.Get(), kPasswordValue) == kRegistryOk;
}

bool SaveSubmissionSettings(const SubmissionSettings& settings, const char* newPassword) {
  SettingsKey key;
  if (key.Get() == nullptr) return false;
  bool saved =
      RegistrySetDword(key.Get(), kPortValue, settings.port) == kRegistryOk &&
      RegistrySetDword(key.Get(), kSecurityValue, static_cast<unsigned long>(settings.security)) ==
          kRegistryOk &&
      RegistrySetDword(key.Get(), kAuthValue, settings.authenticate ? 1 : 0) == kRegistryOk &&
      RegistrySetString(key.Get(), kUserValue, settings.user) == kRegistryOk;
  if (saved && newPassword != nullptr) {
    saved = RegistrySetSecret(key.Get(), kPasswordValue, newPassword, std::strlen(newPassword)) ==
            kRegistryOk;
  }
  return saved;
}

void LoadSmtpPassword(char* password) {
  SettingsKey key;
  std::size_t stored = 0;
  if (key.Get() == nullptr || RegistryGetSecret(key.Get(), kPasswordValue, password,
                                                kSmtpPasswordRoom - 1, &stored) != kRegistryOk) {
    stored = 0;
  }
  password[stored] = '\0';
}

SmtpSecurity EffectiveSecurity(const SubmissionSettings& settings, const char* serverText) {
  if (settings.securityChosen) return settings.security;
  bool implicitTls = StartsWithNoCase(serverText, kImplicitTlsScheme);
  return implicitTls ? SmtpSecurity::kTls : SmtpSecurity::kNone;
}

SmtpSubmission SubmissionFor(const SubmissionSettings& settings, const char* serverText,
                             const char* password) {
  SmtpSubmission submission;
  submission.server = serverText;
  submission.port = static_cast<std::uint16_t>(settings.port);
  submission.security = EffectiveSecurity(settings, serverText);
  if (settings.authenticate) {
    submission.user = settings.user;
    submission.password = password;
  }
  // Only an explicit choice of no encryption lets the password go in clear;
  // the dialog warned about it.
  submission.passwordInClear = settings.securityChosen && settings.security == SmtpSecurity::kNone;
  return submission;
}
