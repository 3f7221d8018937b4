// Fixed-buffer string helpers: they report, rather than overrun, a buffer that is too small.
#ifndef ZUNMEK_BOUNDED_STRING_H
#define ZUNMEK_BOUNDED_STRING_H

#include <windows.h>

// Length of a NUL-terminated string, in bytes.
UINT StringLength(const char* text);

// Appends `text` to the NUL-terminated string in `buffer` (`capacity` bytes in all). Returns
// false and leaves the buffer as it was when the result and its NUL would not fit.
bool AppendString(char* buffer, UINT capacity, const char* text);

// Copies `length` bytes of `text` into `buffer` and terminates it; false (buffer untouched) when
// they and the NUL do not fit.
bool CopyBytes(char* buffer, UINT capacity, const char* text, UINT length);

#endif
