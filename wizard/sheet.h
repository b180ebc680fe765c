// The wizard: one modal Wizard97 property sheet of five pages.
#pragma once
#include <windows.h>

// Runs the sheet modally; returns when the wizard has been closed.
INT_PTR RunWizardSheet(HWND parent);

// Gives the sheet window a system menu before it is created.
int CALLBACK WizardSheetCallback(HWND sheet, UINT message, LPARAM parameter);
