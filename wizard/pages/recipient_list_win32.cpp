#include "wizard/pages/recipient_list_win32.h"

#include <cstddef>

#include "wizard/resources/resource.h"
#include "wizard/ui_text.h"

namespace {

constexpr std::size_t kRefusalTextRoom = 255;

}  // namespace

LRESULT RecipientListBox::Send(UINT message, WPARAM wParam, LPARAM lParam) {
  return SendDlgItemMessageW(page_, IDC_RECIPIENT_LIST, message, wParam, lParam);
}

int RecipientListBox::AddLine(const char* name) {
  return AddListName(page_, IDC_RECIPIENT_LIST, name);
}

void RecipientListBox::SelectLine(int index) {
  Send(LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int RecipientListBox::SelectedLine() {
  LRESULT index = Send(LB_GETCURSEL, 0, 0);
  return index >= 0 ? static_cast<int>(index) : -1;
}

void RecipientListBox::DeleteLine(int index) {
  Send(LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void RecipientListBox::ShowRefusal(RecipientRefusal reason) {
  int id =
      reason == RecipientRefusal::kDuplicateName ? IDS_DUPLICATE_NAME : IDS_RECIPIENT_NOT_SAVED;
  char text[kRefusalTextRoom];
  if (LoadTextInto(id, text, sizeof text) != 0) return;
  ShowTextBox(nullptr, text, nullptr, MB_OK);
}
