// Mail submission as today's providers take it: TLS from the first byte or
// after STARTTLS, and SMTP authentication. Without either, the dialogue is
// SendMailMessage's own, byte for byte.
#pragma once
#include <cstdint>

enum class SmtpSecurity {
  kNone = 0,
  kStartTls = 1,  // plain connection, then STARTTLS (RFC 3207)
  kTls = 2,       // TLS before the greeting
};

struct SmtpSubmission {
  const char* server = "";  // as SendMailMessage takes it
  // 0: the server text's port, else the security's usual one (25, 587, 465).
  std::uint16_t port = 0;
  SmtpSecurity security = SmtpSecurity::kNone;
  // Null or empty: no authentication. The password is UTF-8.
  const char* user = nullptr;
  const char* password = "";
  // The user chose no encryption with authentication, and was warned.
  bool passwordInClear = false;
};

// What became of one message, in words the user can act on.
enum class MailOutcome {
  kSent,
  kFailed,                 // refused or broken after the greeting
  kUnreachable,            // no connection, no greeting, or not 220
  kCertificateRejected,    // chain, dates or name of the server's certificate
  kEncryptionUnavailable,  // STARTTLS not offered or refused, or no TLS agreed
  kLoginRefused,           // the server refused the user name or password
  kNoLoginMethod,          // the server offers neither AUTH PLAIN nor LOGIN
  kPasswordNotInClear,     // the password would have gone unencrypted
};

// One message through the submission's server. The caller wipes the password.
MailOutcome SubmitMail(const SmtpSubmission& submission, const char* from, const char* to,
                       const char* cc, const char* subject, const char* body);
