// SweepSubkeys: deletes the direct subkeys of a key whose named string value equals a text,
// without regard to the case of ASCII letters.
#include "zunmek.h"
#include "bounded_string.h"

namespace {

const DWORD kNameBufferSize = 256;  // registry names and string data of up to 255 characters

BYTE FoldAsciiLetter(BYTE c) { return (c >= 'A' && c <= 'Z') ? static_cast<BYTE>(c + 0x20) : c; }

// True when the `size` bytes returned by the query hold `text` and then a NUL, ASCII letters
// compared without regard to case. Nothing past the returned bytes is read: data without a NUL
// in them never matches.
bool EqualsIgnoringAsciiCase(const BYTE* data, DWORD size, const char* text) {
    for (DWORD i = 0; i < size; ++i) {
        BYTE wanted = FoldAsciiLetter(static_cast<BYTE>(text[i]));
        if (FoldAsciiLetter(data[i]) != wanted) return false;
        if (wanted == '\0') return true;
    }
    return false;
}

// Reads `valueName` from the key `subkeyName` + `suffix` below the swept key and compares it with
// matchText. The value key is closed before the caller may delete the subkey that holds it.
bool SubkeyValueMatches(HKEY sweptKey, const char* subkeyName, const char* suffix, const char* valueName,
                        const char* matchText) {
    char valueKeyPath[kNameBufferSize];
    // A name too long to take the suffix is passed over, as if its value key could not be opened.
    if (!CopyBytes(valueKeyPath, sizeof valueKeyPath, subkeyName, StringLength(subkeyName)) ||
        !AppendString(valueKeyPath, sizeof valueKeyPath, suffix))
        return false;

    HKEY valueKey;
    if (RegOpenKeyExA(sweptKey, valueKeyPath, 0, KEY_ALL_ACCESS, &valueKey) != ERROR_SUCCESS) return false;
    BYTE valueData[kNameBufferSize];
    DWORD dataSize = sizeof valueData;
    LONG queryResult = RegQueryValueExA(valueKey, valueName, NULL, NULL, valueData, &dataSize);
    RegCloseKey(valueKey);
    return queryResult == ERROR_SUCCESS && EqualsIgnoringAsciiCase(valueData, dataSize, matchText);
}

}  // namespace

void SweepSubkeys(const char* sweptKeyPath, const char* suffix, const char* valueName, const char* matchText) {
    HKEY sweptKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sweptKeyPath, 0, KEY_ALL_ACCESS, &sweptKey) != ERROR_SUCCESS) return;

    char subkeyName[kNameBufferSize];
    FILETIME lastWriteTime;
    DWORD index = 0;
    for (;;) {
        DWORD nameCapacity = sizeof subkeyName;
        if (RegEnumKeyExA(sweptKey, index, subkeyName, &nameCapacity, NULL, NULL, NULL, &lastWriteTime) !=
            ERROR_SUCCESS)
            break;  // the end of the list, or a name too long to receive: either way the sweep ends
        ++index;
        if (!SubkeyValueMatches(sweptKey, subkeyName, suffix, valueName, matchText)) continue;
        // A delete renumbers the subkeys behind it, differently on each platform: starting again
        // at 0 finds every match. A delete that fails leaves the index past the subkey, so the
        // sweep is not caught on it and always ends.
        if (RegDeleteKeyA(sweptKey, subkeyName) == ERROR_SUCCESS) index = 0;
    }
    RegCloseKey(sweptKey);
}
