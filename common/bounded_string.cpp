// Fixed-buffer string helpers.
#include "bounded_string.h"

UINT StringLength(const char* text) {
    UINT length = 0;
    while (text[length] != '\0') ++length;
    return length;
}

bool CopyBytes(char* buffer, UINT capacity, const char* text, UINT length) {
    if (length >= capacity) return false;
    for (UINT i = 0; i < length; ++i) buffer[i] = text[i];
    buffer[length] = '\0';
    return true;
}

bool AppendString(char* buffer, UINT capacity, const char* text) {
    UINT used = 0;
    while (used < capacity && buffer[used] != '\0') ++used;
    if (used == capacity) return false;  // no terminated string in the buffer to append to
    return CopyBytes(buffer + used, capacity - used, text, StringLength(text));
}
