// hostwin internals shared by the stand-in files: the simulated machine and the helpers that log
// calls and apply injected faults.
#ifndef HOSTWIN_STATE_H
#define HOSTWIN_STATE_H

#include <hostwin/control.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace hostwin::detail {

struct RegValue {
    std::string name;
    DWORD type;
    std::vector<uint8_t> data;
};

struct RegKey {
    std::string name;
    std::vector<std::shared_ptr<RegKey>> subkeys;  // in enumeration order
    std::vector<RegValue> values;                  // in enumeration order
    bool deleted = false;
};

struct OpenKey {
    std::shared_ptr<RegKey> key;
    std::string path;  // e.g. HKLM\Enum\Root
};

struct FaultRule {
    std::string function;
    std::string argument;
    uint32_t code;
    int nth;
    int seen = 0;
};

struct InfFile {
    std::string path;
    std::vector<std::string> sections;
    std::vector<hostwin::Notification> notifications;
};

struct Machine {
    // registry
    std::map<uintptr_t, std::shared_ptr<RegKey>> roots;
    std::map<uintptr_t, OpenKey> openKeys;
    uintptr_t nextKeyHandle = 0x1000;
    DeleteMode deleteMode = DeleteMode::Windows9x;
    // calls
    std::vector<std::string> log;
    std::vector<FaultRule> faults;
    DWORD lastError = 0;
    // SetupAPI
    std::vector<InfFile> infs;
    std::map<uintptr_t, std::string> openInfs;  // handle -> path
    std::set<uintptr_t> openContexts;
    uintptr_t nextSetupHandle = 1;
    std::vector<SectionRun> sectionRuns;
    // dialogs
    std::set<std::pair<HINSTANCE, int>> templates;
    std::vector<Message> dialogScript;
    std::vector<DialogMessageResult> dialogMessages;
    HWND activeDialog = nullptr;
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
    // kernel
    bool versionFails = false;
    std::string modulePath = "C:\\Drivers\\Mouse\\setup.exe";
    bool modulePathFails = false;
    std::string windowsDirectory = "C:\\WINDOWS";
    bool windowsDirectoryFails = false;
    std::set<std::string> files;  // lower-cased paths
    UINT codePage = 1252;
    std::string commandLine = "setup.exe";
    DWORD startupFlags = 0;
    WORD startupShow = 0;
};

Machine& M();
void Log(const std::string& line);
// The code of the first fault rule that matches this call, or 0 when it should run normally.
uint32_t InjectedFault(const char* function, const std::string& argument);
std::string Quote(const char* text);  // "text" with C escapes for odd bytes, or NULL
std::string Hex(uint64_t value);      // 0x1F
std::string Lower(const std::string& text);
bool EqualNoCase(const std::string& a, const std::string& b);

}  // namespace hostwin::detail

#endif
