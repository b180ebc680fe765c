// The wizard's mail core: one SMTP transaction per recipient list, and the
// conversion of the wizard's Shift_JIS texts into an ISO-2022-JP message.
// Plain C types so that other parts and outside checks can call it. Every
// returned text comes from malloc and is released by the caller with free;
// a null result means memory ran out or the input was absent.
#pragma once
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Mails one message through the server text ("[scheme://]host[:port][/...]").
// 0: accepted; 1: a step after the greeting failed; -1: no connection, no
// greeting, or a greeting other than 220.
int SendMailMessage(const char* server, const char* from, const char* to, const char* cc,
                    const char* subject, const char* body);

char* SjisToJis(const char* sjis);
// Each JIS run of an ISO-2022-JP text becomes one base64 encoded word.
char* EncodeWords(const char* jis);
char* EncodeHeaderText(const char* sjis);
char* Base64Encode(const unsigned char* bytes, size_t count);
// A period added before every line that begins with one.
char* DotStuff(const char* body);
// "Date: Sun, 6 Dec 2026 13:45:07 +0900", with the PC's offset from UTC.
char* FormatDateHeader(void);

#ifdef __cplusplus
}
#endif
