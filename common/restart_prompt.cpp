// ShowRestartPrompt and RestartDlgProc: the closing dialog of both programs.
#include "zunmek.h"

INT_PTR CALLBACK RestartDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;  // focus goes to "Restart Now", the default button
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_RESTART_NOW:
        EndDialog(dialog, IDC_RESTART_NOW);
        break;
    case IDC_RESTART_LATER:
    case IDCANCEL:  // Escape, the close box and the system menu's Close mean "later"
        EndDialog(dialog, IDC_RESTART_LATER);
        break;
    default:
        break;
    }
    return TRUE;
}

void ShowRestartPrompt(HINSTANCE instance) {
    INT_PTR choice = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_RESTART), NULL, RestartDlgProc, 0);
    if (choice == IDC_RESTART_NOW) ExitWindowsEx(EWX_REBOOT, 0);
}
