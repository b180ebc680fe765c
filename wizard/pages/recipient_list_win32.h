// The recipient list of the mail settings page (list box 1015) as the
// address book's view, with its refusal messages.
#pragma once
#include <windows.h>

#include "wizard/core/settings_store.h"

class RecipientListBox final : public RecipientListView {
 public:
  // page is the mail settings page, which holds the list.
  explicit RecipientListBox(HWND page) : page_(page) {}

  int AddLine(const char* name) override;
  void SelectLine(int index) override;
  int SelectedLine() override;
  void DeleteLine(int index) override;
  // A box without owner, with the system's own caption and an OK button.
  void ShowRefusal(RecipientRefusal reason) override;

 private:
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam);

  HWND page_;
};
