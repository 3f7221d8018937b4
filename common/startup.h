// The start-up code's helpers, apart so that they can be tested on their own.
#ifndef ZUNMEK_STARTUP_H
#define ZUNMEK_STARTUP_H

#include <windows.h>

// The command line after the program name: a quoted or unquoted first word, then its blanks.
char* SkipProgramName(char* commandLine);

// The show state the program was started with; SW_SHOWDEFAULT when the starter gave none.
int ShowStateFrom(const STARTUPINFOA& startupInfo);

// Everything the entry point does before ExitProcess: returns WinMain's result.
int StartProgram();

#endif
