// Every text that enters or leaves a window, a message box or the string
// table passes through here. The program holds its texts in Shift_JIS; the
// windows take the text form chosen in ui_text.cpp alone (today the ANSI
// calls of a Japanese system, whose code page is Shift_JIS), so that no page
// knows which code page the windows speak.
#pragma once
#include <windows.h>

#include <cstddef>

// The window-side form of a Shift_JIS text, and back.
const char* ToWindowText(const char* sjis);
void FromWindowText(const char* windowText, char* sjis, std::size_t size);

void SetItemText(HWND dialog, int id, const char* sjis);
// The control's text, cut to size bytes with its terminator.
void GetItemText(HWND dialog, int id, char* sjis, std::size_t size);
// The control's text in UTF-8, cut to size bytes with its terminator, for
// a password: the copies made on the way are wiped.
void GetItemTextAsUtf8(HWND dialog, int id, char* utf8, std::size_t size);
void ReplaceItemSelection(HWND dialog, int id, const char* sjis);
int ShowTextBox(HWND owner, const char* sjis, const char* captionSjis, UINT style);
HWND FindTopWindowByTitle(const char* sjis);

// The module whose string table the pages read; saved at start-up.
void SetTextModule(HINSTANCE module);
HINSTANCE TextModule();

// String id into size bytes (empty when the entry is missing); 0 or -1.
int LoadTextInto(int id, char* sjis, std::size_t size);

// The string-table text id in one shared 256-byte buffer, valid until the
// next call; empty when the entry is missing. Page thread only.
const char* LoadText(int id);

// A message box from the string table: text id (formatted with the
// arguments) and caption id; nothing is shown when either is missing.
int ShowStringMessage(HWND owner, int textId, int captionId, UINT style, ...);
