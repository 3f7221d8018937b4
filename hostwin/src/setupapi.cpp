// hostwin: SetupAPI stand-in. INF files are registered by path with their sections; a section run
// records its eleven arguments and feeds the message handler the INF's test notifications.
#include "state.h"

namespace hostwin::detail {
namespace {

std::string InfName(uintptr_t handle) { return "inf#" + std::to_string(handle); }
std::string ContextName(PVOID context) {
    uintptr_t value = reinterpret_cast<uintptr_t>(context);
    if (!context) return "NULL";
    return M().openContexts.count(value) ? "ctx#" + std::to_string(value) : Hex(value);
}

const InfFile* FindInf(const std::string& path) {
    for (const InfFile& inf : M().infs)
        if (EqualNoCase(inf.path, path)) return &inf;
    return nullptr;
}

}  // namespace
}  // namespace hostwin::detail

using namespace hostwin::detail;

extern "C" {

HINF WINAPI SetupOpenInfFileA(PCSTR FileName, PCSTR InfClass, DWORD InfStyle, PUINT ErrorLine) {
    std::string call = "SetupOpenInfFileA(" + Quote(FileName) + ", " + Quote(InfClass) + ", " + Hex(InfStyle) +
                       ", " + (ErrorLine ? "&line" : "NULL") + ")";
    std::string path = FileName ? FileName : "";
    uint32_t fault = InjectedFault("SetupOpenInfFileA", path);
    const InfFile* inf = FindInf(path);
    if (fault || !inf || !(InfStyle & INF_STYLE_WIN4)) {
        SetLastError(fault ? fault : ERROR_FILE_NOT_FOUND);
        Log(call + " = INVALID_HANDLE_VALUE");
        return INVALID_HANDLE_VALUE;
    }
    uintptr_t handle = M().nextSetupHandle++;
    M().openInfs[handle] = path;  // as the caller spelled it, which section runs report
    Log(call + " = " + InfName(handle));
    return reinterpret_cast<HINF>(handle);
}

PVOID WINAPI SetupInitDefaultQueueCallback(HWND OwnerWindow) {
    std::string call = "SetupInitDefaultQueueCallback(" + (OwnerWindow ? Hex(reinterpret_cast<uintptr_t>(OwnerWindow)) : std::string("NULL")) + ")";
    if (uint32_t fault = InjectedFault("SetupInitDefaultQueueCallback", "")) {
        SetLastError(fault);
        Log(call + " = NULL");
        return nullptr;
    }
    uintptr_t context = M().nextSetupHandle++;
    M().openContexts.insert(context);
    Log(call + " = ctx#" + std::to_string(context));
    return reinterpret_cast<PVOID>(context);
}

BOOL WINAPI SetupInstallFromInfSectionA(HWND Owner, HINF InfHandle, PCSTR SectionName, UINT Flags,
                                        HKEY RelativeKeyRoot, PCSTR SourceRootPath, UINT CopyFlags,
                                        PSP_FILE_CALLBACK_A MsgHandler, PVOID Context, HDEVINFO DeviceInfoSet,
                                        PSP_DEVINFO_DATA DeviceInfoData) {
    uintptr_t handle = reinterpret_cast<uintptr_t>(InfHandle);
    auto open = M().openInfs.find(handle);
    std::string call = "SetupInstallFromInfSectionA(" + std::string(Owner ? "owner" : "NULL") + ", " +
                       (open != M().openInfs.end() ? InfName(handle) : Hex(handle)) + ", " + Quote(SectionName) +
                       ", " + Hex(Flags) + ", " + (RelativeKeyRoot ? "key" : "NULL") + ", " +
                       Quote(SourceRootPath) + ", " + Hex(CopyFlags) + ", " + (MsgHandler ? "handler" : "NULL") +
                       ", " + ContextName(Context) + ", " + (DeviceInfoSet ? "devinfo" : "NULL") + ", " +
                       (DeviceInfoData ? "devdata" : "NULL") + ")";
    hostwin::SectionRun run{Owner, open != M().openInfs.end() ? open->second : std::string(), SectionName ? SectionName : "",
                   Flags, RelativeKeyRoot, std::nullopt, CopyFlags, MsgHandler, Context, DeviceInfoSet,
                   DeviceInfoData, false, {}};
    if (SourceRootPath) run.sourceRoot = SourceRootPath;

    DWORD error = ERROR_SUCCESS;
    const InfFile* inf = open != M().openInfs.end() ? FindInf(open->second) : nullptr;
    if (uint32_t fault = InjectedFault("SetupInstallFromInfSectionA", run.section)) {
        error = fault;
    } else if (!inf) {
        error = ERROR_INVALID_HANDLE;
    } else {
        bool found = false;
        for (const std::string& section : inf->sections) found = found || EqualNoCase(section, run.section);
        if (!found) error = static_cast<DWORD>(ERROR_SECTION_NOT_FOUND);
    }
    // The log line goes before the handler's calls, as the call starts before it calls back.
    size_t logLine = M().log.size();
    Log(call);
    if (error == ERROR_SUCCESS && MsgHandler) {
        for (const hostwin::Notification& n : inf->notifications)
            run.handlerResults.push_back(MsgHandler(Context, n.code, n.param1, n.param2));
    }
    run.succeeded = error == ERROR_SUCCESS;
    M().sectionRuns.push_back(run);
    M().log[logLine] += run.succeeded ? " = 1" : " = 0";
    if (!run.succeeded) SetLastError(error);
    return run.succeeded ? TRUE : FALSE;
}

UINT WINAPI SetupDefaultQueueCallbackA(PVOID Context, UINT Notification, UINT_PTR Param1, UINT_PTR Param2) {
    UINT answer = hostwin::DefaultCallbackAnswer(Context, Notification, Param1, Param2);
    Log("SetupDefaultQueueCallbackA(" + ContextName(Context) + ", " + Hex(Notification) + ", " + Hex(Param1) + ", " +
        Hex(Param2) + ") = " + Hex(answer));
    return answer;
}

VOID WINAPI SetupTermDefaultQueueCallback(PVOID Context) {
    std::string name = ContextName(Context);
    bool wasOpen = M().openContexts.erase(reinterpret_cast<uintptr_t>(Context)) == 1;
    Log("SetupTermDefaultQueueCallback(" + name + ")" + (wasOpen ? "" : " (not an open context)"));
}

VOID WINAPI SetupCloseInfFile(HINF InfHandle) {
    uintptr_t handle = reinterpret_cast<uintptr_t>(InfHandle);
    bool wasOpen = M().openInfs.erase(handle) == 1;
    Log("SetupCloseInfFile(" + (wasOpen ? InfName(handle) : Hex(handle)) + ")" + (wasOpen ? "" : " (not an open INF)"));
}

}  // extern "C"

namespace hostwin {

void AddInf(const std::string& path, const std::vector<std::string>& sections,
            const std::vector<Notification>& notifications) {
    M().infs.push_back(InfFile{path, sections, notifications});
}

const std::vector<SectionRun>& SectionRuns() { return M().sectionRuns; }

UINT DefaultCallbackAnswer(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2) {
    uint64_t h = reinterpret_cast<uintptr_t>(context) * 0x9E3779B97F4A7C15ull;
    h = (h ^ notification) * 0xBF58476D1CE4E5B9ull;
    h = (h ^ param1) * 0x94D049BB133111EBull;
    h = (h ^ (param2 + 0x1234567)) * 0x9E3779B97F4A7C15ull;
    return static_cast<UINT>(h >> 32);
}

}  // namespace hostwin
