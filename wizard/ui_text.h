// Every text that enters or leaves a window, a message box or the string
// table passes through here. The program holds its texts in Shift_JIS; the
// windows are Unicode windows, and the texts cross over with code page 932
// named explicitly, so that the pages show and read Japanese whatever the
// system's code page. No page knows which form the windows speak.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

// The window-side form of a Shift_JIS text, and back: cut to size bytes with
// its terminator, never inside a character; a character that Shift_JIS
// cannot hold arrives as '?'.
std::wstring ToWindowText(const char* sjis);
void FromWindowText(const wchar_t* windowText, char* sjis, std::size_t size);

void SetItemText(HWND dialog, int id, const char* sjis);
// The control's text, cut to size bytes with its terminator.
void GetItemText(HWND dialog, int id, char* sjis, std::size_t size);
bool ItemHasText(HWND dialog, int id);
// The control's text in UTF-8, cut to size bytes with its terminator, for
// a password: the copies made on the way are wiped.
void GetItemTextAsUtf8(HWND dialog, int id, char* utf8, std::size_t size);
void ReplaceItemSelection(HWND dialog, int id, const char* sjis);
void SetWindowTitle(HWND window, const char* sjis);
// Adds a line to list box id: its index, or -1 when it was not added.
int AddListLine(HWND dialog, int id, const char* sjis);
int ShowTextBox(HWND owner, const char* sjis, const char* captionSjis, UINT style);
HWND FindTopWindowByTitle(const char* sjis);

// The names of the address book's entries may hold any character: in the
// form the registry layer gives them, where a character that Shift_JIS cannot
// hold is written "&#xHEX;", they still name the same entry. These show
// them as themselves and read them back in that form.
void SetItemName(HWND dialog, int id, const char* name);
void GetItemName(HWND dialog, int id, char* name, std::size_t size);
int AddListName(HWND dialog, int id, const char* name);
// Line of list box id; false when there is none or it does not fit size.
bool GetListName(HWND dialog, int id, int line, char* name, std::size_t size);

// True when every character of control id's text can travel in a mail;
// otherwise the user is told which one cannot, and it is selected for them
// to correct.
bool ItemTextCanBeMailed(HWND dialog, int id);

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
