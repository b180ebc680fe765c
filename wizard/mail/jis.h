// Shift_JIS to ISO-2022-JP, one character at a time.
#pragma once
#include <cstdint>

// 〓, put where a character cannot be carried.
constexpr std::uint16_t kSjisGetaMark = 0x81AC;

// Turns a Shift_JIS lead and trail byte into the JIS X 0208 row and cell in
// place, in 8-bit arithmetic, without checking either byte.
void SjisPairToJis(unsigned char* c1, unsigned char* c2);

// The same for a character of code page 932, which mail readers decode only
// within the JIS rows: an IBM extension becomes the same character there,
// and a user-defined character (or a code without one) past those rows
// becomes the geta mark.
void Cp932PairToJis(unsigned char* c1, unsigned char* c2);

// Writes the full-width JIS character for the half-width katakana at *in,
// taking a following voiced or semi-voiced mark into it when that character
// has such a form. Advances *in past one or two bytes and *out past two.
void HalfWidthKanaToJis(const unsigned char** in, unsigned char** out);
