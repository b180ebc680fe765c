// How the wizard reaches its mail server: port, encryption and SMTP
// authentication, stored beside the mail settings in the wizard's key so
// that an administrator can set them for many PCs. Absent values mean the
// plain dialogue of old.
#pragma once
#include <cstddef>

#include "wizard/mail/submission.h"
#include "wizard/core/settings_store.h"

// UTF-8 bytes of the password, NUL included.
constexpr std::size_t kSmtpPasswordRoom = 512;

struct SubmissionSettings {
  unsigned long port = 0;       // smtpport: 0 for the usual one
  bool securityChosen = false;  // smtpsecurity is stored
  SmtpSecurity security = SmtpSecurity::kNone;
  bool authenticate = false;     // smtpauth
  char user[kSettingRoom] = {};  // smtpuser
  bool passwordStored = false;   // smtppassword
};

// Values of another type or out of range read as absent.
void LoadSubmissionSettings(SubmissionSettings* settings);
// Stores every value but the password, and the password too when newPassword
// is not null. False when the key did not take them all.
bool SaveSubmissionSettings(const SubmissionSettings& settings, const char* newPassword);
// The stored password into kSmtpPasswordRoom bytes, which the caller wipes;
// an empty text when none can be read.
void LoadSmtpPassword(char* password);

// The stored choice, else SSL/TLS for a server text that begins "smtps://",
// else none.
SmtpSecurity EffectiveSecurity(const SubmissionSettings& settings, const char* serverText);
// What one delivery hands the mail core; password is the caller's buffer.
SmtpSubmission SubmissionFor(const SubmissionSettings& settings, const char* serverText,
                             const char* password);
