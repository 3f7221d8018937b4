// The package directory: the folder that holds setup, taken from setup's own module path.
#ifndef ZUNMEK_PACKAGE_DIRECTORY_H
#define ZUNMEK_PACKAGE_DIRECTORY_H

#include <windows.h>

// The longest directory part that is taken whole; a longer one is refused, not cut, since a cut
// directory names another folder.
const UINT kMaxDirectoryPart = 255;

// Writes to packageDirectory (MAX_PATH bytes) the drive part and the directory part of the
// NUL-terminated modulePath, less one trailing backslash. A lead byte of g_ansiCodePage takes the
// byte after it along, so that byte is never a separator. Returns false, and writes nothing, when
// the directory part is longer than kMaxDirectoryPart bytes.
bool PackageDirectoryFrom(const char* modulePath, char* packageDirectory);

#endif
