// Shift_JIS texts and the UTF-16 of Windows' wide calls, converted with code
// page 932 named explicitly: the system's ANSI code page is Shift_JIS only on
// a Japanese Windows. Windows only.
#pragma once
#include <string>
#include <string_view>

// The UTF-16 form of a Shift_JIS text.
std::wstring WideFromShiftJis(std::string_view sjis);

// The Shift_JIS form of a UTF-16 text, each character that Shift_JIS cannot
// hold written as '?'.
std::string ShiftJisFromWide(std::wstring_view wide);
// Where the first character that Shift_JIS cannot hold starts (in UTF-16
// units), or npos.
std::size_t FindNonShiftJis(std::wstring_view wide);
// The character that starts at index (a surrogate pair counts as one).
char32_t CodePointAt(std::wstring_view wide, std::size_t index);

// The registry's names and texts may hold any character: those that Shift_JIS
// cannot hold are written as "&#xHEX;", and a "&#x" of the text itself as
// "&#x26;#x", so that the Shift_JIS form names the same value again.
std::string RegistryTextFromWide(std::wstring_view wide);
std::wstring WideFromRegistryText(std::string_view text);
// The length of the "&#xHEX;" at the start of text, or 0 when none is there.
std::size_t RegistryEscapeLength(std::string_view text);
