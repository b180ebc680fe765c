// wizdriver: drives a wizard sheet of another process through its real
// windows, for end-to-end tests. Reads one command per line on standard input
// and answers each with one line: "ok [RESULT]" or "error REASON". Texts are
// read as the windows hold them (UTF-16) and written in UTF-8, with "\", CR
// and LF escaped as \\, \r and \n, so that every answer stays one line.
//
//   sheet SECONDS TITLE    wait for a property sheet with that title; later
//                          commands act on it
//   box SECONDS CAPTION    wait for a dialog with that caption that is not a
//                          sheet (a message box, owned or not)
//   box-text               the message of that box
//   box-press ID           press button ID of that box (1: OK)
//   box-title              the box's title
//   box-item ID            the text of control ID of the box
//   box-type ID TEXT       put TEXT into control ID of the box, as typing does
//   box-enabled ID         1 when control ID of the box is enabled
//   box-shown ID           1 when control ID of the box is shown
//   box-click ID           click button ID of the box (a check box or radio
//                          button changes as a user's click changes it)
//   box-close              close the box as its window menu's Close does
//   box-rect               the box's window rectangle
//   page                   the dialog id of the sheet's current page
//   text ID                the text of control ID of the current page
//   type ID TEXT           put TEXT into control ID of the current page, as
//                          typing does (the edit notifies its page)
//   enabled ID             1 when control ID of the current page is enabled
//   click ID               click button ID of the current page
//   post ID                click button ID of the current page without waiting
//                          for the page: for buttons that open a modal window
//   post-next ID           post that click and Next right behind it, both
//                          queued before the page handles the first
//   select ID LINE         select line LINE of list ID as a click does
//   lines ID               list ID: the selected line (-1: none), then each
//                          line, separated by tabs
//   press BUTTON           press back, next, finish or cancel of the sheet
//   buttons                the sheet's buttons that are shown and enabled
//   foreground             the title of the foreground window
//   count TITLE            how many shown top-level windows carry that title
//   rect                   the sheet's window rectangle: left top right bottom
//   close                  close the sheet as its close box does
//   clipboard              the clipboard's text (CF_UNICODETEXT)
//   quit                   end the driver
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <charconv>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <io.h>

namespace {

constexpr UINT kReplyLimitMs = 5000;
constexpr DWORD kPollMs = 50;
// The id of a message box's text, the same on Windows and Wine.
constexpr int kMessageBoxTextId = 0xFFFF;

struct Driver {
  HWND sheet = nullptr;
  HWND box = nullptr;
  HWND parent = nullptr;  // the current page or the box, for control commands
};

using Handler = std::string (*)(Driver&, std::string_view argument);

std::string Ok(const std::string& result = "") { return result.empty() ? "ok" : "ok " + result; }
std::string Error(const std::string& reason) { return "error " + reason; }

std::wstring Wide(std::string_view utf8) {
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                   nullptr, 0);
  std::wstring wide(length, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                      length);
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                   nullptr, 0, nullptr, nullptr);
  std::string utf8(length, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(),
                      length, nullptr, nullptr);
  return utf8;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

// A window of another process answers WM_GETTEXT on its own thread.
std::wstring WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kReplyLimitMs,
                           &length)) {
    return L"";
  }
  std::vector<wchar_t> text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, kReplyLimitMs, &copied);
  return std::wstring(text.data(), copied);
}

std::string TextOf(HWND window) { return Escaped(Utf8(WindowText(window))); }

LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kReplyLimitMs,
                           &result)) {
    return 0;
  }
  return static_cast<LRESULT>(result);
}

bool IsDialog(HWND window) {
  wchar_t className[16] = L"";
  GetClassNameW(window, className, 16);
  return std::wstring_view(className) == L"#32770";
}

// Only dialogs are asked: other classes may read the sheet's message number
// as one of their own.
bool IsSheet(HWND window) {
  return IsDialog(window) && Ask(window, PSM_GETCURRENTPAGEHWND) != 0;
}

struct Search {
  std::wstring title;
  bool (*accepts)(HWND);
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  if (!IsWindowVisible(window)) return TRUE;
  wchar_t title[256] = L"";
  GetWindowTextW(window, title, 256);
  if (search->title == title && search->accepts(window)) search->found.push_back(window);
  return TRUE;
}

std::vector<HWND> TopWindows(std::string_view title, bool (*accepts)(HWND)) {
  Search search{Wide(title), accepts, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool AnyWindow(HWND) { return true; }
bool IsMessageBox(HWND window) { return IsDialog(window) && !IsSheet(window); }

bool ParseInt(std::string_view text, int* value) {
  auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return failure == std::errc() && end == text.data() + text.size();
}

// Splits "SECONDS REST" into its number and the rest.
bool SplitSeconds(std::string_view argument, int* seconds, std::string_view* rest) {
  std::size_t space = argument.find(' ');
  if (space == std::string_view::npos) return false;
  *rest = argument.substr(space + 1);
  return ParseInt(argument.substr(0, space), seconds);
}

// Polls for exactly one matching window until the time runs out.
HWND WaitForWindow(std::string_view argument, bool (*accepts)(HWND), std::string* reason) {
  int seconds = 0;
  std::string_view title;
  if (!SplitSeconds(argument, &seconds, &title)) {
    *reason = "usage: SECONDS TITLE";
    return nullptr;
  }
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  for (;;) {
    std::vector<HWND> found = TopWindows(title, accepts);
    if (found.size() == 1) return found[0];
    if (GetTickCount64() >= deadline) {
      *reason = found.empty() ? "not found" : std::to_string(found.size()) + " found";
      return nullptr;
    }
    Sleep(kPollMs);
  }
}

HWND CurrentPage(const Driver& driver) {
  return reinterpret_cast<HWND>(Ask(driver.sheet, PSM_GETCURRENTPAGEHWND));
}

// A control as a user meets it: there, shown, and enabled.
HWND UsableControl(HWND parent, int id, std::string* reason) {
  HWND control = parent ? GetDlgItem(parent, id) : nullptr;
  if (control == nullptr) {
    *reason = "no control";
  } else if (!IsWindowVisible(control)) {
    *reason = "hidden";
  } else if (!IsWindowEnabled(control)) {
    *reason = "disabled";
  } else {
    return control;
  }
  return nullptr;
}

std::string WaitForSheet(Driver& driver, std::string_view argument) {
  std::string reason;
  driver.sheet = WaitForWindow(argument, IsSheet, &reason);
  return driver.sheet ? Ok() : Error(reason);
}

std::string WaitForBox(Driver& driver, std::string_view argument) {
  std::string reason;
  driver.box = WaitForWindow(argument, IsMessageBox, &reason);
  return driver.box ? Ok() : Error(reason);
}

std::string BoxText(Driver& driver, std::string_view) {
  HWND text = GetDlgItem(driver.box, kMessageBoxTextId);
  return text ? Ok(TextOf(text)) : Error("no box text");
}

std::string PressBoxButton(Driver& driver, std::string_view argument) {
  int id = 0;
  if (!ParseInt(argument, &id)) return Error("usage: ID");
  std::string reason;
  HWND button = UsableControl(driver.box, id, &reason);
  if (button == nullptr) return Error(reason);
  // Posted: the box ends its modal loop and its process may end with it.
  PostMessageW(driver.box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
  return Ok();
}

std::string PageId(Driver& driver, std::string_view) {
  HWND page = CurrentPage(driver);
  if (page == nullptr) return Error("no page");
  LRESULT index = Ask(driver.sheet, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page));
  return Ok(std::to_string(Ask(driver.sheet, PSM_INDEXTOID, index)));
}

// "ID" or "ID REST": the control of the page or box that the command acts on.
HWND ParentControl(const Driver& driver, std::string_view argument, std::string_view* rest) {
  std::size_t space = argument.find(' ');
  *rest = space == std::string_view::npos ? "" : argument.substr(space + 1);
  int id = 0;
  return ParseInt(argument.substr(0, space), &id) ? GetDlgItem(driver.parent, id) : nullptr;
}

std::string ControlText(Driver& driver, std::string_view argument) {
  std::string_view rest;
  HWND control = ParentControl(driver, argument, &rest);
  return control ? Ok(TextOf(control)) : Error("no control");
}

// WM_SETTEXT makes an edit send EN_CHANGE to its parent, as typing does.
std::string TypeText(Driver& driver, std::string_view argument) {
  std::string_view text;
  HWND control = ParentControl(driver, argument, &text);
  if (control == nullptr) return Error("no control");
  std::wstring wide = Wide(text);
  Ask(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  return Ok();
}

std::string ControlShown(Driver& driver, std::string_view argument) {
  std::string_view rest;
  HWND control = ParentControl(driver, argument, &rest);
  if (control == nullptr) return Error("no control");
  return Ok(IsWindowVisible(control) ? "1" : "0");
}

std::string ControlEnabled(Driver& driver, std::string_view argument) {
  std::string_view rest;
  HWND control = ParentControl(driver, argument, &rest);
  if (control == nullptr) return Error("no control");
  return Ok(IsWindowEnabled(control) ? "1" : "0");
}

// Sent, the click returns when the page has handled it; posted, it returns
// at once, for a button whose page then waits in a modal window.
std::string Click(Driver& driver, std::string_view argument, bool posted) {
  int id = 0;
  if (!ParseInt(argument, &id)) return Error("usage: ID");
  std::string reason;
  HWND button = UsableControl(driver.parent, id, &reason);
  if (button == nullptr) return Error(reason);
  if (posted) {
    PostMessageW(driver.parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
  } else {
    Ask(button, BM_CLICK);
  }
  return Ok();
}

std::string ClickControl(Driver& driver, std::string_view argument) {
  return Click(driver, argument, false);
}

std::string PostClick(Driver& driver, std::string_view argument) {
  return Click(driver, argument, true);
}

// A user quicker than the page.
std::string PostClickThenNext(Driver& driver, std::string_view argument) {
  std::string clicked = PostClick(driver, argument);
  if (clicked == Ok()) PostMessageW(driver.sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
  return clicked;
}

std::string SelectLine(Driver& driver, std::string_view argument) {
  std::string_view rest;
  HWND list = ParentControl(driver, argument, &rest);
  int line = 0;
  if (list == nullptr || !ParseInt(rest, &line)) return Error("usage: ID LINE");
  if (Ask(list, LB_SETCURSEL, line) != line) return Error("no such line");
  Ask(driver.parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE),
      reinterpret_cast<LPARAM>(list));
  return Ok();
}

std::string ListLines(Driver& driver, std::string_view argument) {
  std::string_view rest;
  HWND list = ParentControl(driver, argument, &rest);
  if (list == nullptr) return Error("no control");
  std::string out = std::to_string(Ask(list, LB_GETCURSEL));
  LRESULT count = Ask(list, LB_GETCOUNT);
  for (LRESULT line = 0; line < count; ++line) {
    std::wstring text(Ask(list, LB_GETTEXTLEN, line) + 1, L'\0');
    text.resize(Ask(list, LB_GETTEXT, line, reinterpret_cast<LPARAM>(text.data())));
    out += '\t' + Escaped(Utf8(text));
  }
  return Ok(out);
}

std::string Rectangle(HWND window) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return Error("no window");
  char text[64];
  std::snprintf(text, sizeof text, "%ld %ld %ld %ld", rect.left, rect.top, rect.right,
                rect.bottom);
  return Ok(text);
}

std::string SheetRectangle(Driver& driver, std::string_view) { return Rectangle(driver.sheet); }
std::string BoxRectangle(Driver& driver, std::string_view) { return Rectangle(driver.box); }
std::string BoxTitle(Driver& driver, std::string_view) { return Ok(TextOf(driver.box)); }

std::string CloseBox(Driver& driver, std::string_view) {
  PostMessageW(driver.box, WM_SYSCOMMAND, SC_CLOSE, 0);
  return Ok();
}

// The text as a Unicode program pastes it.
std::string ClipboardText(Driver&, std::string_view) {
  if (!OpenClipboard(nullptr)) return Error("clipboard busy");
  std::string text;
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  const wchar_t* locked = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
  if (locked != nullptr) {
    text = Escaped(Utf8(locked));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return locked ? Ok(text) : Error("no text");
}

struct SheetButton {
  const char* name;
  int controlId;
  int pressCode;
};

// The sheet's own button ids (Back, Next, Finish) and Cancel.
constexpr SheetButton kSheetButtons[] = {
    {"back", 0x3023, PSBTN_BACK},
    {"next", 0x3024, PSBTN_NEXT},
    {"finish", 0x3025, PSBTN_FINISH},
    {"cancel", IDCANCEL, PSBTN_CANCEL},
};

std::string PressSheetButton(Driver& driver, std::string_view argument) {
  for (const SheetButton& button : kSheetButtons) {
    if (argument != button.name) continue;
    std::string reason;
    if (UsableControl(driver.sheet, button.controlId, &reason) == nullptr) return Error(reason);
    // Posted: the sheet's own loop notices a finished or cancelled sheet only
    // after a posted message, and Next may open a modal question.
    PostMessageW(driver.sheet, PSM_PRESSBUTTON, button.pressCode, 0);
    return Ok();
  }
  return Error("usage: back|next|finish|cancel");
}

std::string UsableSheetButtons(Driver& driver, std::string_view) {
  std::string names;
  for (const SheetButton& button : kSheetButtons) {
    std::string reason;
    if (UsableControl(driver.sheet, button.controlId, &reason) == nullptr) continue;
    names += names.empty() ? button.name : std::string(" ") + button.name;
  }
  return Ok(names);
}

std::string ForegroundTitle(Driver&, std::string_view) {
  HWND window = GetForegroundWindow();
  return window ? Ok(TextOf(window)) : Error("no foreground window");
}

std::string CountWindows(Driver&, std::string_view argument) {
  return Ok(std::to_string(TopWindows(argument, AnyWindow).size()));
}

std::string CloseSheet(Driver& driver, std::string_view) {
  PostMessageW(driver.sheet, WM_SYSCOMMAND, SC_CLOSE, 0);
  return Ok();
}

// What a command acts on: nothing given, the sheet, the sheet's current page
// (which becomes the parent of the controls it names), or the box.
enum class Scope { kNone, kSheet, kPage, kBox };

struct Command {
  const char* name;
  Handler run;
  Scope scope;
};

constexpr Command kCommands[] = {
    {"sheet", WaitForSheet, Scope::kNone},
    {"box", WaitForBox, Scope::kNone},
    {"box-text", BoxText, Scope::kBox},
    {"box-press", PressBoxButton, Scope::kBox},
    {"box-title", BoxTitle, Scope::kBox},
    {"box-item", ControlText, Scope::kBox},
    {"box-type", TypeText, Scope::kBox},
    {"box-enabled", ControlEnabled, Scope::kBox},
    {"box-shown", ControlShown, Scope::kBox},
    {"box-click", ClickControl, Scope::kBox},
    {"box-close", CloseBox, Scope::kBox},
    {"box-rect", BoxRectangle, Scope::kBox},
    {"page", PageId, Scope::kSheet},
    {"text", ControlText, Scope::kPage},
    {"type", TypeText, Scope::kPage},
    {"enabled", ControlEnabled, Scope::kPage},
    {"click", ClickControl, Scope::kPage},
    {"post", PostClick, Scope::kPage},
    {"post-next", PostClickThenNext, Scope::kPage},
    {"select", SelectLine, Scope::kPage},
    {"lines", ListLines, Scope::kPage},
    {"press", PressSheetButton, Scope::kSheet},
    {"buttons", UsableSheetButtons, Scope::kSheet},
    {"foreground", ForegroundTitle, Scope::kNone},
    {"count", CountWindows, Scope::kNone},
    {"rect", SheetRectangle, Scope::kSheet},
    {"close", CloseSheet, Scope::kSheet},
    {"clipboard", ClipboardText, Scope::kNone},
};

std::string Run(Driver& driver, std::string_view line) {
  std::size_t space = line.find(' ');
  std::string_view name = line.substr(0, space);
  std::string_view argument = space == std::string_view::npos ? "" : line.substr(space + 1);
  for (const Command& command : kCommands) {
    if (name != command.name) continue;
    bool onSheet = command.scope == Scope::kSheet || command.scope == Scope::kPage;
    if (onSheet && !IsWindow(driver.sheet)) return Error("no sheet");
    if (command.scope == Scope::kBox && !IsWindow(driver.box)) return Error("no box");
    driver.parent = command.scope == Scope::kPage ? CurrentPage(driver) : driver.box;
    return command.run(driver, argument);
  }
  return Error("unknown command");
}

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);
  Driver driver;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "quit") break;
    std::cout << Run(driver, line) << '\n' << std::flush;
  }
  return 0;
}
