// Start-up code of both programs, which link no C runtime: WinMainCRTStartup is the entry point.
#include "startup.h"
#include "zunmek.h"

UINT g_ansiCodePage;

char* SkipProgramName(char* commandLine) {
    char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

int ShowStateFrom(const STARTUPINFOA& startupInfo) {
    return (startupInfo.dwFlags & STARTF_USESHOWWINDOW) ? startupInfo.wShowWindow : SW_SHOWDEFAULT;
}

int StartProgram() {
    g_ansiCodePage = GetACP();
    STARTUPINFOA startupInfo;
    startupInfo.cb = sizeof startupInfo;
    GetStartupInfoA(&startupInfo);
    return WinMain(GetModuleHandleA(NULL), NULL, SkipProgramName(GetCommandLineA()), ShowStateFrom(startupInfo));
}

extern "C" void WinMainCRTStartup(void) {
    ExitProcess(static_cast<UINT>(StartProgram()));
}
