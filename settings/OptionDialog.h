#ifndef KESTRUNE_OPTIONDIALOG_H
#define KESTRUNE_OPTIONDIALOG_H

#include <windows.h>

// Runs the options dialog of the module's template over the host's window: 1 after OK, 2
// after Cancel, else what DialogBoxParamA answers when it fails (0 for a parent window that is
// not valid, -1 otherwise). A failure to save is shown under errorCaption.
INT_PTR ShowOptionDialog(HINSTANCE module, HWND parent, const char* errorCaption);

INT_PTR CALLBACK OptionDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void InitOptionDialog(HWND dialog);
bool SaveOptionDialog(HWND dialog);
void UpdateOptionControls(HWND dialog);

#endif
