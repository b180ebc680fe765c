// The dialog procedures of the wizard's pages, and what they share.
#pragma once
#include <windows.h>

#include <cstddef>

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DetectionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ChoicePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK MailSettingsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SendingPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Refills list 1006 of the choice page from the host candidate table.
void FillHostCandidateList(HWND choicePage);

// The recipient dialog, modal over the sheet of mailSettingsPage, whose list
// it keeps in step: add mode for a null name, else modify mode for the entry
// of that name. Returns 1 when an edit was stored, 0 when cancelled.
INT_PTR CALLBACK RecipientDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR OpenRecipientDialog(HWND mailSettingsPage, const char* name);

// The mail server dialog (port, encryption, authentication), modal over the
// sheet of mailSettingsPage, whose server text decides what an unset
// encryption shows. Returns 1 when the settings were stored, 0 when
// cancelled.
INT_PTR CALLBACK SubmissionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR OpenSubmissionDialog(HWND mailSettingsPage);

// The close command of a modal dialog's window menu ends the dialog as
// Cancel does (result 0); the menu's other commands are left to the system.
INT_PTR EndDialogOnClose(HWND dialog, WPARAM command);

// The answer to a PSN_WIZNEXT that keeps the sheet on page.
INT_PTR StayOnPage(HWND page);
// Sets the sheet's Back, Next and Finish buttons for page (PSWIZB_* flags).
void SetWizardButtons(HWND page, DWORD buttons);
// Records page as the one on screen, for the worker threads.
void MarkActivePage(HWND page);
// A page that the sheet has left still hears from its controls as they lose
// the focus; only the page on screen may set the sheet's buttons.
bool IsPageOnScreen(HWND page);

// Control id of page shows string textId, loaded into room bytes.
void SetItemFromTable(HWND page, int id, int textId, std::size_t room);
void EnableItem(HWND page, int id, bool enabled);
// "Send now?" with Yes and No, owned by page; the button pressed.
int AskToSend(HWND page);
// Tells the user that a setting could not be stored and that what they typed
// is used all the same.
void ShowSettingNotKept(HWND page);

// Waits, at most timeoutMs, for a running detection to end after the sheet
// closed; true when none runs any more.
bool WaitForDetectionToEnd(int timeoutMs);
