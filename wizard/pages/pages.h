// The dialog procedures of the wizard's pages, and what they share.
#pragma once
#include <windows.h>

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DetectionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ChoicePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK MailSettingsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SendingPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Sets the sheet's Back, Next and Finish buttons for page (PSWIZB_* flags).
void SetWizardButtons(HWND page, DWORD buttons);
// Records page as the one on screen, for the worker threads.
void MarkActivePage(HWND page);

// Waits, at most timeoutMs, for a running detection to end after the sheet
// closed; true when none runs any more.
bool WaitForDetectionToEnd(int timeoutMs);
