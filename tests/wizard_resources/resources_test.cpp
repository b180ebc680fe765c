// pathcaster's resources, linked into this test and read back through the
// same Win32 calls the wizard makes. Expected texts are the Shift_JIS bytes
// a Japanese system shows (code page 932), written as escapes so that they
// do not come from the UTF-8 resource source.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "resource.h"

namespace {

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

INT_PTR CALLBACK QuietDialog(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}

std::string WindowText(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// Under Common Controls 6 a class may carry a version prefix ("6.0...!Button").
std::string BaseClassName(HWND window) {
  char name[128] = {};
  GetClassNameA(window, name, sizeof name);
  const char* bang = std::strrchr(name, '!');
  return bang ? bang + 1 : name;
}

// A control of a template: its id (IDC_STATIC for the captions the code
// never addresses), window class, style bits that must be set and clear, and
// its caption (nullptr where the template gives none to check).
struct ExpectedControl {
  int id;
  const char* className;
  DWORD styleSet;
  DWORD styleClear;
  const char* caption;
};

constexpr DWORD kNotPushButton = BS_TYPEMASK & ~BS_DEFPUSHBUTTON;

struct ExpectedDialog {
  int id;
  bool page;
  std::vector<ExpectedControl> controls;
};

const std::vector<ExpectedDialog>& Dialogs() {
  static const std::vector<ExpectedDialog> dialogs = {
      {IDD_WELCOME, true, {
          // このホストＰＣのＩＰアドレスを検出し、Vantorへのリンクを電子メールを使って指定した相手へ送信します。
          {IDC_STATIC, "Static", 0, 0,
           "\x82\xb1\x82\xcc\x83z\x83X\x83g\x82o\x82" "b\x82\xcc\x82h\x82o\x83" "A\x83h\x83\x8c\x83X"
           "\x82\xf0\x8c\x9f\x8fo\x82\xb5\x81" "AVantor\x82\xd6\x82\xcc\x83\x8a\x83\x93\x83N\x82\xf0\x93"
           "d\x8eq\x83\x81\x81[\x83\x8b\x82\xf0\x8eg\x82\xc1\x82\xc4\x8ew\x92\xe8\x82\xb5\x82\xbd\x91\x8a"
           "\x8e\xe8\x82\xd6\x91\x97\x90M\x82\xb5\x82\xdc\x82\xb7\x81" "B"},
      }},
      {IDD_DETECTION, true, {
          // 「再検出」を選択すると再度現在有効なホストネームを検出します。
          {IDC_STATIC, "Static", 0, 0,
           "\x81u\x8d\xc4\x8c\x9f\x8fo\x81v\x82\xf0\x91I\x91\xf0\x82\xb7\x82\xe9\x82\xc6\x8d\xc4\x93x"
           "\x8c\xbb\x8d\xdd\x97L\x8c\xf8\x82\xc8\x83z\x83X\x83g\x83l\x81[\x83\x80\x82\xf0\x8c\x9f\x8fo"
           "\x82\xb5\x82\xdc\x82\xb7\x81" "B"},
          {IDC_REPORT, "Edit", ES_MULTILINE | WS_VSCROLL, ES_READONLY, nullptr},
          {IDC_DETECT_BUTTON, "Button", 0, kNotPushButton, "\x8d\xc4\x8c\x9f\x8fo(&R)"},  // 再検出(&R)
          {IDC_DETECT_STATUS, "Static", 0, 0, ""},
      }},
      {IDD_CHOICE, true, {
          // 検出されたものと異なるホストネーム（IPアドレス）を使用したい場合は以下に入力してください。
          {IDC_STATIC, "Static", 0, 0,
           "\x8c\x9f\x8fo\x82\xb3\x82\xea\x82\xbd\x82\xe0\x82\xcc\x82\xc6\x88\xd9\x82\xc8\x82\xe9\x83z"
           "\x83X\x83g\x83l\x81[\x83\x80\x81iIP\x83" "A\x83h\x83\x8c\x83X\x81j\x82\xf0\x8eg\x97p\x82\xb5"
           "\x82\xbd\x82\xa2\x8f\xea\x8d\x87\x82\xcd\x88\xc8\x89\xba\x82\xc9\x93\xfc\x97\xcd\x82\xb5\x82"
           "\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81" "B"},
          // リンクとともに送信するメッセージを入力してください
          {IDC_STATIC, "Static", 0, 0,
           "\x83\x8a\x83\x93\x83N\x82\xc6\x82\xc6\x82\xe0\x82\xc9\x91\x97\x90M\x82\xb7\x82\xe9\x83\x81"
           "\x83" "b\x83Z\x81[\x83W\x82\xf0\x93\xfc\x97\xcd\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2"},
          {IDC_TYPED_HOST, "Edit", 0, ES_MULTILINE, nullptr},
          {IDC_CANDIDATE_LIST, "ListBox", LBS_SORT | WS_VSCROLL, LBS_NOTIFY, nullptr},
          {IDC_SEND, "Button", 0, kNotPushButton, "\x91\x97\x90M(&S)"},  // 送信(&S)
          {IDC_MESSAGE, "Edit", 0, ES_MULTILINE, nullptr},
          {IDC_COPY, "Button", 0, kNotPushButton, "\x83R\x83s\x81[(&C)"},  // コピー(&C)
          {IDC_SEND_HINT, "Static", 0, 0, ""},
          // ”コピー”をクリックすると送信する内容をクリップボードにコピーします。
          {IDC_COPY_HINT, "Static", 0, 0,
           "\x81h\x83R\x83s\x81[\x81h\x82\xf0\x83N\x83\x8a\x83" "b\x83N\x82\xb7\x82\xe9\x82\xc6\x91\x97"
           "\x90M\x82\xb7\x82\xe9\x93\xe0\x97" "e\x82\xf0\x83N\x83\x8a\x83" "b\x83v\x83{\x81[\x83h\x82\xc9"
           "\x83R\x83s\x81[\x82\xb5\x82\xdc\x82\xb7\x81" "B"},
          {IDC_NEXT_HINT, "Static", 0, 0, ""},
      }},
      {IDD_MAIL_SETTINGS, true, {
          // あなたのメールアドレス
          {IDC_STATIC, "Static", 0, 0, "\x82\xa0\x82\xc8\x82\xbd\x82\xcc\x83\x81\x81[\x83\x8b\x83" "A\x83h\x83\x8c\x83X"},
          {IDC_SENDER_ADDRESS, "Edit", 0, ES_MULTILINE, nullptr},
          // あなたのメールサーバー（SMTP）
          {IDC_STATIC, "Static", 0, 0, "\x82\xa0\x82\xc8\x82\xbd\x82\xcc\x83\x81\x81[\x83\x8b\x83T\x81[\x83o\x81[\x81iSMTP\x81j"},
          {IDC_MAIL_SERVER, "Edit", 0, ES_MULTILINE, nullptr},
          // 宛先のメールアドレス
          {IDC_STATIC, "Static", 0, 0, "\x88\xb6\x90\xe6\x82\xcc\x83\x81\x81[\x83\x8b\x83" "A\x83h\x83\x8c\x83X"},
          {IDC_RECIPIENT_LIST, "ListBox", LBS_SORT | LBS_NOTIFY | WS_VSCROLL, 0, nullptr},
          {IDC_ADD_RECIPIENT, "Button", 0, kNotPushButton, "\x92\xc7\x89\xc1(&A)"},       // 追加(&A)
          {IDC_MODIFY_RECIPIENT, "Button", 0, kNotPushButton, "\x8f" "C\x90\xb3(&M)"},    // 修正(&M)
          {IDC_DELETE_RECIPIENT, "Button", 0, kNotPushButton, "\x8d\xed\x8f\x9c(&D)"},    // 削除(&D)
          // ”次へ”をクリックするとメールが送信されます。
          {IDC_STATIC, "Static", 0, 0,
           "\x81h\x8e\x9f\x82\xd6\x81h\x82\xf0\x83N\x83\x8a\x83" "b\x83N\x82\xb7\x82\xe9\x82\xc6\x83\x81"
           "\x81[\x83\x8b\x82\xaa\x91\x97\x90M\x82\xb3\x82\xea\x82\xdc\x82\xb7\x81" "B"},
      }},
      {IDD_SENDING, true, {
          {IDC_SEND_STATE, "Static", 0, 0, "\x91\x97\x90M\x92\x86\x81" "D\x81" "D\x81" "D"},  // 送信中．．．
          {IDC_CLOSING_HINT, "Static", 0, 0, ""},
          {IDC_ABORT_SEND, "Button", 0, kNotPushButton, "\x91\x97\x90M\x92\x86\x8e~(&A)"},  // 送信中止(&A)
      }},
      {IDD_RECIPIENT, false, {
          {IDC_STATIC, "Static", 0, 0, "\x96\xbc\x91O\x81" "F"},  // 名前：
          {IDC_RECIPIENT_NAME, "Edit", 0, ES_MULTILINE, nullptr},
          // メールアドレス：
          {IDC_STATIC, "Static", 0, 0, "\x83\x81\x81[\x83\x8b\x83" "A\x83h\x83\x8c\x83X\x81" "F"},
          {IDC_RECIPIENT_ADDRESS, "Edit", 0, ES_MULTILINE, nullptr},
          {IDOK, "Button", BS_DEFPUSHBUTTON, kNotPushButton, "OK"},
          {IDCANCEL, "Button", 0, kNotPushButton, "\xb7\xac\xdd\xbe\xd9"},  // ｷｬﾝｾﾙ
      }},
  };
  return dialogs;
}

// The captions the code never addresses are found by their text.
HWND FindStaticByText(HWND dialog, const std::string& caption) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (BaseClassName(child) == "Static" && WindowText(child) == caption) return child;
  }
  return nullptr;
}

void ExpectControl(HWND dialog, const ExpectedControl& expected) {
  HWND control = expected.id == IDC_STATIC ? FindStaticByText(dialog, expected.caption)
                                            : GetDlgItem(dialog, expected.id);
  ASSERT_NE(control, nullptr) << "control " << expected.id
                              << (expected.caption ? expected.caption : "");
  EXPECT_EQ(BaseClassName(control), expected.className);
  if (BaseClassName(control) == "ListBox") {
    // A list shows (and styles) its scroll bar only once it holds more lines than fit.
    for (int line = 0; line < 50; ++line) {
      SendMessageA(control, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("line"));
    }
  }
  const DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
  EXPECT_EQ(style & expected.styleSet, expected.styleSet);
  EXPECT_EQ(style & expected.styleClear, 0u);
  if (expected.caption) {
    EXPECT_EQ(WindowText(control), expected.caption);
  }
}

// ＭＳ Ｐゴシック at 9 points.
void ExpectTemplateFont(HWND dialog) {
  LOGFONTW font = {};
  ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)),
                         sizeof font, &font));
  EXPECT_EQ(std::wstring(font.lfFaceName), L"\xff2d\xff33 \xff30\x30b4\x30b7\x30c3\x30af");
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(font.lfHeight, -MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72));
  ReleaseDC(nullptr, screen);
}

TEST(DialogTemplates, CreateWithTheirFontControlsAndCaptions) {
  // Pages are child templates: the property sheet is their parent.
  HWND sheet = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr,
                               Module(), nullptr);
  ASSERT_NE(sheet, nullptr);
  for (const ExpectedDialog& expected : Dialogs()) {
    SCOPED_TRACE("dialog " + std::to_string(expected.id));
    HWND dialog = CreateDialogParamA(Module(), MAKEINTRESOURCEA(expected.id),
                                     expected.page ? sheet : nullptr, QuietDialog, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();
    const DWORD style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
    if (expected.page) {
      EXPECT_EQ(style & (WS_CHILD | WS_POPUP), static_cast<DWORD>(WS_CHILD));
    } else {
      EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU),
                static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU));
      EXPECT_EQ(SendMessageA(dialog, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
    }
    ExpectTemplateFont(dialog);
    for (const ExpectedControl& control : expected.controls) ExpectControl(dialog, control);
    DestroyWindow(dialog);
  }
  DestroyWindow(sheet);
}

std::string LoadText(int id) {
  char text[512] = {};
  const int length = LoadStringA(Module(), id, text, sizeof text);
  return std::string(text, length > 0 ? length : 0);
}

TEST(StringTable, EveryTextLoadsAndFitsTheBufferItIsLoadedInto) {
  // The smallest buffer each text is read into, terminator included.
  struct Fit { int id; size_t buffer; };
  const Fit fits[] = {
      {IDS_REDETECT, 31}, {IDS_CANCEL_DETECT, 63}, {IDS_DETECT_DONE, 63},
      {IDS_DETECT_CANCELLED, 63}, {IDS_SEND_FAILED, 255}, {IDS_TITLE_DETECTION, 256},
      {IDS_TITLE_CHOICE, 256}, {IDS_TITLE_DONE, 256}, {IDS_ACCESS_HINT_HEAD, 127},
      {IDS_ACCESS_HINT_TAIL, 127}, {IDS_TITLE_MAIL, 256}, {IDS_LINK_PREFIX, 15},
      {IDS_DETECTING, 63}, {IDS_TITLE_ADD_RECIPIENT, 256}, {IDS_TITLE_MODIFY_RECIPIENT, 256},
      {IDS_DUPLICATE_NAME, 255}, {IDS_COPY_DONE, 255}, {IDS_COPY_FAILED, 255},
      {IDS_CONFIRM_SEND, 256}, {IDS_ADDRESS_NOTE, 15}, {IDS_SOME_SENDS_FAILED, 127},
      {IDS_SEND_COMPLETE, 127}, {IDS_SEND_CAPTION, 63}, {IDS_ABORT_SEND_CAPTION, 63},
      {IDS_SENDING, 127}, {IDS_WIZARD_TITLE, 63}, {IDS_SEND_HINT, 63},
      {IDS_SETTINGS_NEEDED, 63}, {IDS_SETTINGS_CHANGE, 63}, {IDS_NOT_INSTALLED, 256},
      {IDS_NOT_SENT, 127}, {IDS_RECIPIENT_NOT_SAVED, 255}, {IDS_SETTING_NOT_KEPT, 255},
  };
  for (const Fit& fit : fits) {
    const std::string text = LoadText(fit.id);
    EXPECT_FALSE(text.empty()) << "string " << fit.id;
    EXPECT_LT(text.size(), fit.buffer) << "string " << fit.id;
  }
}

TEST(StringTable, TextsAreTheirShiftJisBytes) {
  // Escapes in a table entry, half-width katakana, the ideographic space
  // between ASCII and kana, and a printf format.
  EXPECT_EQ(LoadText(IDS_LINK_PREFIX), "\r\nhttp://");
  EXPECT_EQ(LoadText(IDS_ADDRESS_NOTE), "(=> http://");
  EXPECT_EQ(LoadText(IDS_WIZARD_TITLE), "VNTRLINK");
  // ”送信”をｸﾘｯｸするとﾒｰﾙを送信します。
  EXPECT_EQ(LoadText(IDS_SEND_HINT),
            "\x81h\x91\x97\x90M\x81h\x82\xf0\xb8\xd8\xaf\xb8\x82\xb7\x82\xe9\x82\xc6\xd2\xb0\xd9\x82"
            "\xf0\x91\x97\x90M\x82\xb5\x82\xdc\x82\xb7\x81" "B");
  // このVantor　ホストPCにアクセスするためには、送信されたメールを受信しリンクをクリックするかhttp://
  EXPECT_EQ(LoadText(IDS_ACCESS_HINT_HEAD),
            "\x82\xb1\x82\xccVantor\x81@\x83z\x83X\x83gPC\x82\xc9\x83" "A\x83N\x83Z\x83X\x82\xb7\x82"
            "\xe9\x82\xbd\x82\xdf\x82\xc9\x82\xcd\x81" "A\x91\x97\x90M\x82\xb3\x82\xea\x82\xbd\x83\x81"
            "\x81[\x83\x8b\x82\xf0\x8e\xf3\x90M\x82\xb5\x83\x8a\x83\x93\x83N\x82\xf0\x83N\x83\x8a\x83"
            "b\x83N\x82\xb7\x82\xe9\x82\xa9http://");
  // %sへのメール送信に失敗しました。
  EXPECT_EQ(LoadText(IDS_SEND_FAILED),
            "%s\x82\xd6\x82\xcc\x83\x81\x81[\x83\x8b\x91\x97\x90M\x82\xc9\x8e\xb8\x94s\x82\xb5\x82"
            "\xdc\x82\xb5\x82\xbd\x81" "B");
}

SIZE BitmapSize(int id) {
  HBITMAP bitmap = static_cast<HBITMAP>(
      LoadImageA(Module(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  BITMAP info = {};
  if (!bitmap || !GetObjectA(bitmap, sizeof info, &info)) return {0, 0};
  DeleteObject(bitmap);
  return {info.bmWidth, info.bmHeight};
}

TEST(Images, BitmapsAndIconHaveTheirWizard97Sizes) {
  const SIZE header = BitmapSize(IDB_HEADER);
  EXPECT_EQ(header.cx, 49);
  EXPECT_EQ(header.cy, 49);
  const SIZE watermark = BitmapSize(IDB_WATERMARK);
  EXPECT_EQ(watermark.cx, 164);
  EXPECT_EQ(watermark.cy, 314);

  // The icon group lists one 32-bit image for each size.
  HRSRC group = FindResourceA(Module(), MAKEINTRESOURCEA(IDI_WIZARD), MAKEINTRESOURCEA(14));
  ASSERT_NE(group, nullptr);
  const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(Module(), group)));
  WORD count = 0;
  std::memcpy(&count, directory + 4, sizeof count);
  std::set<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    const BYTE* entry = directory + 6 + 14 * i;  // width, height, colours, 0, planes, bits, ...
    WORD bits = 0;
    std::memcpy(&bits, entry + 6, sizeof bits);
    EXPECT_EQ(entry[0], entry[1]);
    EXPECT_EQ(bits, 32);
    sizes.insert(entry[0]);
  }
  EXPECT_EQ(sizes, (std::set<int>{16, 32, 48}));
  for (int size : sizes) {
    HICON icon = static_cast<HICON>(
        LoadImageA(Module(), MAKEINTRESOURCEA(IDI_WIZARD), IMAGE_ICON, size, size, 0));
    EXPECT_NE(icon, nullptr) << size;
    if (icon) DestroyIcon(icon);
  }
}

TEST(Manifest, SelectsCommonControlsSixAndAsksForElevation) {
  // Only Common Controls 6 buttons know their ideal size.
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  ASSERT_TRUE(InitCommonControlsEx(&controls));
  HWND button = CreateWindowExA(0, "Button", "OK", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                Module(), nullptr);
  ASSERT_NE(button, nullptr);
  SIZE ideal = {0, 0};
  EXPECT_TRUE(SendMessageA(button, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
  DestroyWindow(button);

  HANDLE context = nullptr;
  ASSERT_TRUE(GetCurrentActCtx(&context));
  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel = {};
  SIZE_T written = 0;
  ASSERT_TRUE(QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &runLevel,
                           sizeof runLevel, &written));
  ReleaseActCtx(context);
  EXPECT_EQ(runLevel.RunLevel, ACTCTX_RUN_LEVEL_REQUIRE_ADMIN);
  EXPECT_EQ(runLevel.UiAccess, 0u);
}

struct VersionInfo {
  VS_FIXEDFILEINFO fixed;
  std::string originalFilename;
};

bool ReadVersionInfo(const std::string& path, const char* languageBlock, VersionInfo* out) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return false;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\", &value, &length) || length < sizeof out->fixed) return false;
  std::memcpy(&out->fixed, value, sizeof out->fixed);
  const std::string name = std::string("\\StringFileInfo\\") + languageBlock + "\\OriginalFilename";
  if (!VerQueryValueA(data.data(), name.c_str(), &value, &length)) return false;
  out->originalFilename = static_cast<const char*>(value);
  return true;
}

std::string OwnPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

std::string BinaryDirectory() {
  const std::string path = OwnPath();
  return path.substr(0, path.find_last_of("\\/") + 1);
}

TEST(VersionResource, EachBinaryCarriesTheProjectVersionAndItsOwnName) {
  struct Binary { std::string path; const char* languageBlock; const char* originalFilename; };
  const Binary binaries[] = {
      {OwnPath(), "041104b0", "pathcaster.exe"},  // linked with the wizard's resources
      {BinaryDirectory() + "vntrmap.exe", "040904b0", "vntrmap.exe"},
      {BinaryDirectory() + "seghub.dll", "040904b0", "seghub.dll"},
  };
  for (const Binary& binary : binaries) {
    SCOPED_TRACE(binary.path);
    VersionInfo info = {};
    ASSERT_TRUE(ReadVersionInfo(binary.path, binary.languageBlock, &info));
    EXPECT_EQ(info.fixed.dwFileVersionMS, MAKELONG(VNTR_EXPECTED_MINOR, VNTR_EXPECTED_MAJOR));
    EXPECT_EQ(info.fixed.dwFileVersionLS, MAKELONG(0, VNTR_EXPECTED_PATCH));
    EXPECT_EQ(info.fixed.dwProductVersionMS, info.fixed.dwFileVersionMS);
    EXPECT_EQ(info.originalFilename, binary.originalFilename);
  }
}

}  // namespace
