// hostwin's control interface for tests: fixtures, fault injection, the call log and what the
// stand-in functions recorded. Ordinary C++; the programs never include it.
#ifndef HOSTWIN_CONTROL_H
#define HOSTWIN_CONTROL_H

#include <windows.h>
#include <setupapi.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hostwin {

// Puts every stand-in back to a fresh machine: empty registry in Windows 9x delete mode, no faults,
// empty log, no INF files, no dialog templates, default kernel answers (see the setters).
void Reset();

// ---- Call log: one line per stand-in call, e.g. RegOpenKeyExA(HKLM, "Enum\Root", 0, 0xF003F) = 0
const std::vector<std::string>& CallLog();
// The log lines whose function name is one of `functions` (a line starts with its name and '(').
std::vector<std::string> CallLogOf(const std::vector<std::string>& functions);
void ClearCallLog();
// A string as the call log prints it: quoted, with '"' escaped and odd bytes as \xHH.
std::string LoggedString(const std::string& text);

// ---- Fault injection. A matching call fails with `code` instead of doing its work: registry
// functions return the code, the others return their failure value and set the last error.
// `argument` is compared, without regard to ASCII case, with the call's subject: the subkey path for
// RegOpenKeyExA and RegDeleteKeyA, the value name for RegQueryValueExA and RegDeleteValueA, the full
// path of the key handle for RegEnumKeyExA, RegEnumValueA and RegCloseKey, the file or INF path,
// the section name for SetupInstallFromInfSectionA, "" for the rest. An empty `argument` matches
// every call. `nth` > 0 fails only the nth matching call (counted from 1), 0 fails all of them.
void FailCall(const std::string& function, const std::string& argument, uint32_t code, int nth = 0);

// ---- Registry. Paths are relative to a predefined root, components separated by a backslash.
enum class DeleteMode { Windows9x, WindowsNT };
void SetDeleteMode(DeleteMode mode);
void AddKey(HKEY root, const std::string& path);
void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
              const std::vector<uint8_t>& data);
// A REG_SZ value stored with its terminating NUL, as Windows stores strings.
void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& text);
bool KeyExists(HKEY root, const std::string& path);
std::vector<std::string> SubkeyNames(HKEY root, const std::string& path);
std::vector<std::string> ValueNames(HKEY root, const std::string& path);
std::optional<std::vector<uint8_t>> ValueData(HKEY root, const std::string& path, const std::string& name);
// Registry keys, INF handles and queue contexts that are open, one description each.
std::vector<std::string> OpenHandles();

// ---- SetupAPI.
struct Notification {
    UINT code;
    UINT_PTR param1;
    UINT_PTR param2;
};
struct SectionRun {
    HWND owner;
    std::string infPath;            // the path the INF handle was opened with
    std::string section;
    UINT flags;
    HKEY relativeKeyRoot;
    std::optional<std::string> sourceRoot;  // nullopt for a null pointer
    UINT copyFlags;
    PSP_FILE_CALLBACK_A handler;
    PVOID context;
    HDEVINFO deviceInfoSet;
    PSP_DEVINFO_DATA deviceInfoData;
    bool succeeded;
    std::vector<UINT> handlerResults;  // what the handler returned for each notification
};
// An INF file at `path` (compared without regard to ASCII case) that holds `sections`. A run of a
// section sends `notifications` to the message handler, in order.
void AddInf(const std::string& path, const std::vector<std::string>& sections,
            const std::vector<Notification>& notifications = {});
const std::vector<SectionRun>& SectionRuns();
// What the stand-in SetupDefaultQueueCallbackA answers for these arguments: a value that depends on
// all four, so a caller that changes or swaps one gets another answer.
UINT DefaultCallbackAnswer(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2);

// ---- Dialogs and restart.
struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
struct DialogMessageResult {
    UINT message;
    WPARAM wParam;
    INT_PTR result;  // what the dialog procedure returned
};
// A dialog template `id` in the resources of `instance`.
void AddDialogTemplate(HINSTANCE instance, int id);
// The messages that DialogBoxParamA sends after WM_INITDIALOG, until the procedure calls EndDialog.
// When the script runs out first, DialogBoxParamA logs it and returns 0 (no such result exists).
void SetDialogScript(const std::vector<Message>& messages);
// Every message the last dialog's procedure received, WM_INITDIALOG first, with its result.
const std::vector<DialogMessageResult>& DialogMessages();
// Convenience scripts: a click on a button, and the IDCANCEL that Escape or the close box sends.
Message CommandMessage(WORD id, WORD notifyCode = 0);

// ---- Kernel.
HINSTANCE ProgramInstance();  // what GetModuleHandleA(NULL) returns
void SetVersionQueryFails(bool fails);
// Module path that GetModuleFileNameA reports for ProgramInstance(); `fails` makes it return 0.
void SetModulePath(const std::string& path);
void SetModulePathFails(bool fails);
void SetWindowsDirectory(const std::string& directory);
void SetWindowsDirectoryFails(bool fails);
void AddFile(const std::string& path);
bool FileExists(const std::string& path);
void SetCodePage(UINT codePage);  // 1252 (default) or 932
void SetCommandLine(const std::string& commandLine);
void SetStartupInfo(DWORD flags, WORD showWindow);

}  // namespace hostwin

#endif
