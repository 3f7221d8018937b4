// PackageDirectoryFrom: splits setup's module path into drive part and directory part.
#include "package_directory.h"

#include "bounded_string.h"
#include "zunmek.h"

namespace {

// Both slashes separate path components.
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Length of the directory part of `rest`: up to and including its last separator, 0 when it has
// none. A double-byte character is stepped over whole, as its trail byte may be 0x5C.
UINT DirectoryPartLength(const char* rest) {
    UINT directoryLength = 0;
    UINT i = 0;
    while (rest[i] != '\0') {
        if (IsDBCSLeadByteEx(g_ansiCodePage, static_cast<BYTE>(rest[i]))) {
            if (rest[i + 1] == '\0') break;  // a lead byte at the very end: no trail byte to take
            i += 2;
        } else {
            if (IsSeparator(rest[i])) directoryLength = i + 1;
            ++i;
        }
    }
    return directoryLength;
}

}  // namespace

bool PackageDirectoryFrom(const char* modulePath, char* packageDirectory) {
    // Drive part: the first two bytes when the second is a colon.
    UINT driveLength = (modulePath[0] != '\0' && modulePath[1] == ':') ? 2 : 0;
    UINT directoryLength = DirectoryPartLength(modulePath + driveLength);
    if (directoryLength > kMaxDirectoryPart) return false;

    // Drive and directory parts stand together at the start of the module path. Exactly one
    // trailing backslash goes (a root keeps its drive letter and colon); a final '/' stays.
    UINT length = driveLength + directoryLength;
    if (length > 0 && modulePath[length - 1] == '\\') --length;
    return CopyBytes(packageDirectory, MAX_PATH, modulePath, length);
}
