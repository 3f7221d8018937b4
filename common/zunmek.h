// The routines that setup and ZunHV5Un both link, and the ids of their restart dialog.
// The resource scripts include this file too, so everything but the ids is hidden from rc.
#ifndef ZUNMEK_H
#define ZUNMEK_H

#define IDD_RESTART 101
#define IDC_RESTART_NOW 1000
#define IDC_RESTART_LATER 1001

#ifndef RC_INVOKED

#include <windows.h>
#include <setupapi.h>

// One install section of an INF, run with these SPINST_ and SP_COPY_ flags.
struct InfSection {
    const char* name;
    UINT installFlags;
    UINT copyFlags;
};

// Opens the INF at infPath, runs `sections` in order on that one handle and one default queue
// context, with sourceRoot (may be NULL) as the source of file copies, and closes it again.
// Silent: the caller is not told whether the INF was found or a section succeeded.
void InstallInfSections(const char* infPath, const char* sourceRoot, const InfSection* sections,
                        UINT sectionCount);

// File-queue callback handed to SetupAPI: every notification gets the default handling.
UINT CALLBACK QueueCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2);

// Deletes every direct subkey of HKLM\sweptKeyPath whose string value `valueName`, read from the
// subkey's name followed by `suffix`, equals matchText (ASCII letter case ignored).
void SweepSubkeys(const char* sweptKeyPath, const char* suffix, const char* valueName, const char* matchText);

// Shows IDD_RESTART from `instance` and asks Windows to restart on "Restart Now".
void ShowRestartPrompt(HINSTANCE instance);
INT_PTR CALLBACK RestartDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The ANSI code page whose lead bytes path handling recognises; the start-up code sets it from
// GetACP before WinMain runs.
extern UINT g_ansiCodePage;

#endif  // RC_INVOKED
#endif
