// Shift_JIS to ISO-2022-JP, one character at a time.
#pragma once

// Turns a Shift_JIS lead and trail byte into the JIS X 0208 row and cell in
// place, in 8-bit arithmetic, without checking either byte.
void SjisPairToJis(unsigned char* c1, unsigned char* c2);

// Writes the full-width JIS character for the half-width katakana at *in,
// taking a following voiced or semi-voiced mark into it when that character
// has such a form. Advances *in past one or two bytes and *out past two.
void HalfWidthKanaToJis(const unsigned char** in, unsigned char** out);
