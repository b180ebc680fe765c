// Code page 932's codes past JIS row 94: the user-defined characters (leads
// 0xF0 to 0xF9) and the IBM extensions (leads 0xFA to 0xFC). Every IBM
// extension is also in the JIS rows, in NEC row 13, among the NEC-selected
// IBM extensions (rows 89 to 92) or in JIS X 0208 itself, and mail readers
// decode it there.
#include <cstdint>

#include "wizard/mail/jis.h"

namespace {

constexpr unsigned char kFirstLeadPastJis = 0xF0;
constexpr std::uint16_t kFirstIbmExtension = 0xFA40;
constexpr std::uint16_t kFirstIbmKanji = 0xFA5C;
constexpr std::uint16_t kLastIbmKanji = 0xFC4B;
// The NEC-selected kanji are the IBM kanji in the same order.
constexpr std::uint16_t kFirstNecSelectedKanji = 0xED40;

// The IBM extensions ahead of the kanji, 0xFA40 to 0xFA5B, as code page 932
// holds the same characters in the JIS rows.
constexpr std::uint16_t kIbmSymbolTwins[] = {
    0xEEEF, 0xEEF0, 0xEEF1, 0xEEF2, 0xEEF3, 0xEEF4, 0xEEF5, 0xEEF6, 0xEEF7, 0xEEF8,  // ⅰ to ⅹ
    0x8754, 0x8755, 0x8756, 0x8757, 0x8758, 0x8759, 0x875A, 0x875B, 0x875C, 0x875D,  // Ⅰ to Ⅹ
    0x81CA, 0xEEFA, 0xEEFB, 0xEEFC, 0x878A, 0x8782, 0x8784, 0x81E6,  // ￢ ￤ ＇ ＂ ㈱ № ℡ ∵
};
static_assert(sizeof kIbmSymbolTwins / sizeof kIbmSymbolTwins[0] ==
                  kFirstIbmKanji - kFirstIbmExtension,
              "one twin per symbol");

// A lead byte has 188 trail bytes: 0x40 to 0xFC without 0x7F.
constexpr int kTrailsPerLead = 188;
constexpr int kFirstTrail = 0x40;
constexpr int kNoTrail = 0x7F;

// The place of a double-byte code in the run of all codes, lead by lead.
int Ordinal(std::uint16_t code) {
  int trail = code & 0xFF;
  return (code >> 8) * kTrailsPerLead + trail - kFirstTrail - (trail > kNoTrail ? 1 : 0);
}

std::uint16_t CodeAt(int ordinal) {
  int trail = ordinal % kTrailsPerLead + kFirstTrail;
  if (trail >= kNoTrail) ++trail;
  return static_cast<std::uint16_t>((ordinal / kTrailsPerLead) << 8 | trail);
}

// The same character within the JIS rows; the geta mark for a user-defined
// character or a code that holds none.
std::uint16_t TwinInJisRows(std::uint16_t code) {
  if (code < kFirstIbmExtension || code > kLastIbmKanji) return kSjisGetaMark;
  if (code < kFirstIbmKanji) return kIbmSymbolTwins[code - kFirstIbmExtension];
  return CodeAt(Ordinal(code) - Ordinal(kFirstIbmKanji) + Ordinal(kFirstNecSelectedKanji));
}

}  // namespace

void Cp932PairToJis(unsigned char* c1, unsigned char* c2) {
  if (*c1 >= kFirstLeadPastJis) {
    std::uint16_t twin = TwinInJisRows(static_cast<std::uint16_t>(*c1 << 8 | *c2));
    *c1 = static_cast<unsigned char>(twin >> 8);
    *c2 = static_cast<unsigned char>(twin & 0xFF);
  }
  SjisPairToJis(c1, c2);
}
