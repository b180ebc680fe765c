// Shift_JIS texts and the UTF-16 of Windows' wide calls, converted with code
// page 932 named explicitly: the system's ANSI code page is Shift_JIS only on
// a Japanese Windows. Windows only.
#pragma once
#include <string>
#include <string_view>

// The UTF-16 form of a Shift_JIS text.
std::wstring WideFromShiftJis(std::string_view sjis);

// The Shift_JIS form of a UTF-16 text, each character that Shift_JIS cannot
// hold written as '?'. *unheld (when not null) gets the first such
// character, or 0 when there is none.
std::string ShiftJisFromWide(std::wstring_view wide, char32_t* unheld = nullptr);

// The registry's names and texts may hold any character: those that Shift_JIS
// cannot hold are written as "&#xHEX;", and a "&#x" of the text itself as
// "&#x26;#x", so that the Shift_JIS form names the same value again.
std::string RegistryTextFromWide(std::wstring_view wide);
std::wstring WideFromRegistryText(std::string_view text);
