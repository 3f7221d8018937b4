// PurgeProblemRecords: deletes the mouse's problem records, the values whose names begin with its
// device identifiers, from the subkeys of the problem key.
#include "purge_problem_records.h"

#include <windows.h>

namespace {

const DWORD kNameBufferSize = 256;  // subkey and value names of up to 255 characters

// The mouse on the serial enumerator, then as a root device. They differ in their first byte, so
// no name begins with both.
const char* const kDeviceIdentifiers[] = {"SERENUM\\ZMK8001", "ROOT\\ZMK8001"};

// True when `name` begins with `identifier`, byte for byte. The name's NUL differs from every
// byte of the identifier, so a shorter name fails there and nothing behind it is read.
bool BeginsWith(const char* name, const char* identifier) {
    for (UINT i = 0; identifier[i] != '\0'; ++i)
        if (name[i] != identifier[i]) return false;
    return true;
}

// True for a value name that begins with either identifier: a problem record of the mouse.
bool IsProblemRecordOfTheMouse(const char* valueName) {
    for (UINT i = 0; i < sizeof kDeviceIdentifiers / sizeof kDeviceIdentifiers[0]; ++i)
        if (BeginsWith(valueName, kDeviceIdentifiers[i])) return true;
    return false;
}

// Deletes the mouse's records among the values of one open problem subkey. `nameBuffer`
// (kNameBufferSize bytes) receives each value name; only the names are asked for.
void DeleteMouseRecords(HKEY problemSubkey, char* nameBuffer) {
    DWORD valueIndex = 0;
    for (;;) {
        DWORD nameCapacity = kNameBufferSize;
        if (RegEnumValueA(problemSubkey, valueIndex, nameBuffer, &nameCapacity, NULL, NULL, NULL, NULL) !=
            ERROR_SUCCESS)
            return;  // the end of the list, or a name too long to receive: this subkey is done
        // A delete closes the gap: the next value moves into this index, so it is examined there.
        // A delete that fails leaves the value where it was, and the index moves past it.
        if (IsProblemRecordOfTheMouse(nameBuffer) && RegDeleteValueA(problemSubkey, nameBuffer) == ERROR_SUCCESS)
            continue;
        ++valueIndex;
    }
}

}  // namespace

// Deletes the mouse's problem records under HKLM\System\CurrentControlSet\Control\ASD\Prob.
void PurgeProblemRecords() {
    HKEY problemKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\ASD\\Prob", 0, KEY_ALL_ACCESS,
                      &problemKey) != ERROR_SUCCESS)
        return;

    // One buffer for subkey and value names: a subkey's name is not needed once it is open.
    char name[kNameBufferSize];
    FILETIME lastWriteTime;
    DWORD subkeyIndex = 0;
    for (;;) {
        DWORD nameCapacity = sizeof name;
        if (RegEnumKeyExA(problemKey, subkeyIndex, name, &nameCapacity, NULL, NULL, NULL, &lastWriteTime) !=
            ERROR_SUCCESS)
            break;  // the end of the list, or a name too long to receive: the sweep ends
        // No subkey is ever deleted, so the list holds still and each index is visited once.
        ++subkeyIndex;
        HKEY problemSubkey;
        if (RegOpenKeyExA(problemKey, name, 0, KEY_ALL_ACCESS, &problemSubkey) != ERROR_SUCCESS) continue;
        DeleteMouseRecords(problemSubkey, name);
        RegCloseKey(problemSubkey);
    }
    RegCloseKey(problemKey);
}
