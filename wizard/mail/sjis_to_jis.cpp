#include <cstdint>
#include <cstdlib>

#include "wizard/mail/jis.h"
#include "wizard/mail/mail.h"

namespace {

constexpr unsigned char kEsc = 27;
constexpr unsigned char kLastAsciiByte = 0x7F;

// Shift_JIS codes of the full-width forms of the half-width katakana 0xA0 to
// 0xDF: plain, with the voiced mark, with the semi-voiced mark.
constexpr std::uint16_t kFullWidthKana[64][3] = {
    {0x8140, 0x8140, 0x8140}, {0x8142, 0x8142, 0x8142}, {0x8175, 0x8175, 0x8175}, {0x8176, 0x8176, 0x8176},
    {0x8141, 0x8141, 0x8141}, {0x8145, 0x8145, 0x8145}, {0x8392, 0x8392, 0x8392}, {0x8340, 0x8340, 0x8340},
    {0x8342, 0x8342, 0x8342}, {0x8344, 0x8344, 0x8344}, {0x8346, 0x8346, 0x8346}, {0x8348, 0x8348, 0x8348},
    {0x8383, 0x8383, 0x8383}, {0x8385, 0x8385, 0x8385}, {0x8387, 0x8387, 0x8387}, {0x8362, 0x8362, 0x8362},
    {0x815B, 0x815B, 0x815B}, {0x8341, 0x8341, 0x8341}, {0x8343, 0x8343, 0x8343}, {0x8345, 0x8394, 0x8345},
    {0x8347, 0x8347, 0x8347}, {0x8349, 0x8349, 0x8349}, {0x834A, 0x834B, 0x834A}, {0x834C, 0x834D, 0x834C},
    {0x834E, 0x834F, 0x834E}, {0x8350, 0x8351, 0x8350}, {0x8352, 0x8353, 0x8352}, {0x8354, 0x8355, 0x8354},
    {0x8356, 0x8357, 0x8356}, {0x8358, 0x8359, 0x8358}, {0x835A, 0x835B, 0x835A}, {0x835C, 0x835D, 0x835C},
    {0x835E, 0x835F, 0x835E}, {0x8360, 0x8361, 0x8360}, {0x8363, 0x8364, 0x8363}, {0x8365, 0x8366, 0x8365},
    {0x8367, 0x8368, 0x8367}, {0x8369, 0x8369, 0x8369}, {0x836A, 0x836A, 0x836A}, {0x836B, 0x836B, 0x836B},
    {0x836C, 0x836C, 0x836C}, {0x836D, 0x836D, 0x836D}, {0x836E, 0x836F, 0x8370}, {0x8371, 0x8372, 0x8373},
    {0x8374, 0x8375, 0x8376}, {0x8377, 0x8378, 0x8379}, {0x837A, 0x837B, 0x837C}, {0x837D, 0x837D, 0x837D},
    {0x837E, 0x837E, 0x837E}, {0x8380, 0x8380, 0x8380}, {0x8381, 0x8381, 0x8381}, {0x8382, 0x8382, 0x8382},
    {0x8384, 0x8384, 0x8384}, {0x8386, 0x8386, 0x8386}, {0x8388, 0x8388, 0x8388}, {0x8389, 0x8389, 0x8389},
    {0x838A, 0x838A, 0x838A}, {0x838B, 0x838B, 0x838B}, {0x838C, 0x838C, 0x838C}, {0x838D, 0x838D, 0x838D},
    {0x838F, 0x838F, 0x838F}, {0x8393, 0x8393, 0x8393}, {0x814A, 0x814A, 0x814A}, {0x814B, 0x814B, 0x814B},
};

constexpr unsigned char kVoicedMark = 0xDE;
constexpr unsigned char kSemiVoicedMark = 0xDF;

bool IsLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// The second byte of a double-byte character is never a control byte, a
// symbol below "@", DEL or above 0xFC.
bool IsTrailByte(unsigned char c) {
  return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

bool IsHalfWidthKana(unsigned char c) {
  return c >= 0xA0 && c <= 0xDF;
}

unsigned char* WriteEscape(unsigned char* out, unsigned char first, unsigned char second) {
  *out++ = kEsc;
  *out++ = first;
  *out++ = second;
  return out;
}

unsigned char* EnterJis(unsigned char* out, bool* jis) {
  if (!*jis) out = WriteEscape(out, '$', 'B');
  *jis = true;
  return out;
}

unsigned char* WriteCharacter(unsigned char* out, unsigned char c1, unsigned char c2) {
  Cp932PairToJis(&c1, &c2);
  *out++ = c1;
  *out++ = c2;
  return out;
}

}  // namespace

void SjisPairToJis(unsigned char* c1, unsigned char* c2) {
  unsigned char lead = *c1;
  unsigned char trail = *c2;
  lead = static_cast<unsigned char>(lead <= 0x9F ? lead - 0x71 : lead - 0xB1);
  lead = static_cast<unsigned char>(2 * lead + 1);
  if (trail > 0x7F) trail = static_cast<unsigned char>(trail - 1);
  if (trail >= 0x9E) {
    lead = static_cast<unsigned char>(lead + 1);
    trail = static_cast<unsigned char>(trail - 0x7D);
  } else {
    trail = static_cast<unsigned char>(trail - 0x1F);
  }
  *c1 = lead;
  *c2 = trail;
}

void HalfWidthKanaToJis(const unsigned char** in, unsigned char** out) {
  const unsigned char* k = *in;
  const std::uint16_t* forms = kFullWidthKana[k[0] - 0xA0];
  int column = 0;
  if (k[1] == kVoicedMark && forms[1] != forms[0]) {
    column = 1;
  } else if (k[1] == kSemiVoicedMark && forms[2] != forms[0]) {
    column = 2;
  }
  *in = k + (column == 0 ? 1 : 2);
  unsigned char c1 = static_cast<unsigned char>(forms[column] >> 8);
  unsigned char c2 = static_cast<unsigned char>(forms[column] & 0xFF);
  SjisPairToJis(&c1, &c2);
  unsigned char* o = *out;
  o[0] = c1;
  o[1] = c2;
  *out = o + 2;
}

char* SjisToJis(const char* sjis) {
  if (sjis == nullptr) return nullptr;
  std::size_t length = 0;
  while (sjis[length] != '\0') ++length;
  // Eight bytes per input byte covers a half-width katakana entered from and
  // left to ASCII (three, two and three bytes).
  if (length > (SIZE_MAX - 1) / 8) return nullptr;
  auto* result = static_cast<unsigned char*>(std::malloc(8 * length + 1));
  if (result == nullptr) return nullptr;
  const auto* in = reinterpret_cast<const unsigned char*>(sjis);
  unsigned char* out = result;
  bool jis = false;
  while (*in != '\0') {
    unsigned char c = *in;
    if (IsLeadByte(c)) {
      // A lead byte without its trail byte (a character cut off, or at the
      // end of the text) is dropped and the next byte read on its own: taken
      // as a pair it could turn into a NUL, CR or LF.
      if (!IsTrailByte(in[1])) {
        ++in;
        continue;
      }
      out = WriteCharacter(EnterJis(out, &jis), c, in[1]);
      in += 2;
    } else if (IsHalfWidthKana(c)) {
      out = EnterJis(out, &jis);
      HalfWidthKanaToJis(&in, &out);
    } else if (c > kLastAsciiByte) {
      // 0x80 and 0xFD to 0xFF begin no character, and a 7-bit mail cannot
      // carry the byte itself.
      out = WriteCharacter(EnterJis(out, &jis), kSjisGetaMark >> 8, kSjisGetaMark & 0xFF);
      ++in;
    } else {
      if (jis) out = WriteEscape(out, '(', 'B');
      jis = false;
      *out++ = c;
      ++in;
    }
  }
  if (jis) out = WriteEscape(out, '(', 'B');
  *out = '\0';
  return reinterpret_cast<char*>(result);
}
