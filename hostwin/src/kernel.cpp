// hostwin: kernel stand-ins: version query, module path, Windows directory, files, code pages,
// command line and start-up info, each with the documented results for short buffers and failure.
#include "state.h"

#include <cstdlib>
#include <cstring>

using namespace hostwin::detail;

namespace {
HINSTANCE const kProgramInstance = reinterpret_cast<HINSTANCE>(0x400000);
std::string g_commandLineBuffer;
}

extern "C" {

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    std::string call = "GetVersionExA(" + (info ? std::to_string(info->dwOSVersionInfoSize) : std::string("NULL")) + ")";
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        Log(call + " = 0");
        return FALSE;
    }
    if (uint32_t fault = InjectedFault("GetVersionExA", ""); fault || M().versionFails) {
        SetLastError(fault ? fault : ERROR_INVALID_PARAMETER);
        Log(call + " = 0");
        return FALSE;
    }
    info->dwMajorVersion = 4;   // Windows 98 Second Edition
    info->dwMinorVersion = 10;
    info->dwBuildNumber = 0x040A08AE;
    info->dwPlatformId = 1;     // VER_PLATFORM_WIN32_WINDOWS
    std::memcpy(info->szCSDVersion, " A", 3);
    Log(call + " = 1");
    return TRUE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    HMODULE result = lpModuleName ? nullptr : kProgramInstance;
    Log("GetModuleHandleA(" + Quote(lpModuleName) + ") = " + Hex(reinterpret_cast<uintptr_t>(result)));
    return result;
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    std::string call = "GetModuleFileNameA(" + Hex(reinterpret_cast<uintptr_t>(hModule)) + ", " + std::to_string(nSize) + ")";
    uint32_t fault = InjectedFault("GetModuleFileNameA", "");
    if (fault || M().modulePathFails || (hModule && hModule != kProgramInstance) || nSize == 0) {
        SetLastError(fault ? fault : ERROR_INVALID_HANDLE);
        Log(call + " = 0");
        return 0;
    }
    const std::string& path = M().modulePath;
    if (path.size() + 1 > nSize) {
        // A path that does not fit is cut to nSize bytes with no NUL, and nSize is returned (as
        // Windows XP does; the callers must treat a full buffer as a cut path).
        std::memcpy(lpFilename, path.data(), nSize);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        Log(call + " = " + std::to_string(nSize) + " (cut)");
        return nSize;
    }
    std::memcpy(lpFilename, path.c_str(), path.size() + 1);
    Log(call + " = " + std::to_string(path.size()) + " " + Quote(lpFilename));
    return static_cast<DWORD>(path.size());
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    std::string call = "GetWindowsDirectoryA(" + std::to_string(uSize) + ")";
    if (uint32_t fault = InjectedFault("GetWindowsDirectoryA", ""); fault || M().windowsDirectoryFails) {
        SetLastError(fault ? fault : ERROR_INVALID_PARAMETER);
        Log(call + " = 0");
        return 0;
    }
    const std::string& dir = M().windowsDirectory;
    if (dir.size() + 1 > uSize) {
        // Too small: the buffer is left alone and the size needed, NUL included, is returned.
        Log(call + " = " + std::to_string(dir.size() + 1) + " (buffer too small)");
        return static_cast<UINT>(dir.size() + 1);
    }
    std::memcpy(lpBuffer, dir.c_str(), dir.size() + 1);
    Log(call + " = " + std::to_string(dir.size()) + " " + Quote(lpBuffer));
    return static_cast<UINT>(dir.size());
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    std::string call = "DeleteFileA(" + Quote(lpFileName) + ")";
    std::string path = lpFileName ? lpFileName : "";
    uint32_t fault = InjectedFault("DeleteFileA", path);
    if (fault || M().files.erase(Lower(path)) == 0) {
        SetLastError(fault ? fault : ERROR_FILE_NOT_FOUND);
        Log(call + " = 0");
        return FALSE;
    }
    Log(call + " = 1");
    return TRUE;
}

UINT WINAPI GetACP(void) {
    Log("GetACP() = " + std::to_string(M().codePage));
    return M().codePage;
}

// Not logged: a pure query that the path split asks for every byte.
BOOL WINAPI IsDBCSLeadByteEx(UINT CodePage, BYTE TestChar) {
    if (CodePage == 932) return (TestChar >= 0x81 && TestChar <= 0x9F) || (TestChar >= 0xE0 && TestChar <= 0xFC);
    if (CodePage == 1252) return FALSE;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

LPSTR WINAPI GetCommandLineA(void) {
    g_commandLineBuffer = M().commandLine;
    Log("GetCommandLineA() = " + Quote(g_commandLineBuffer.c_str()));
    return g_commandLineBuffer.data();
}

VOID WINAPI GetStartupInfoA(LPSTARTUPINFOA info) {
    Log("GetStartupInfoA()");
    std::memset(info, 0, sizeof *info);
    info->cb = sizeof *info;
    info->dwFlags = M().startupFlags;
    info->wShowWindow = M().startupShow;
}

VOID WINAPI ExitProcess(UINT uExitCode) { std::exit(static_cast<int>(uExitCode)); }

}  // extern "C"

namespace hostwin {

HINSTANCE ProgramInstance() { return kProgramInstance; }
void SetVersionQueryFails(bool fails) { M().versionFails = fails; }
void SetModulePath(const std::string& path) { M().modulePath = path; }
void SetModulePathFails(bool fails) { M().modulePathFails = fails; }
void SetWindowsDirectory(const std::string& directory) { M().windowsDirectory = directory; }
void SetWindowsDirectoryFails(bool fails) { M().windowsDirectoryFails = fails; }
void AddFile(const std::string& path) { M().files.insert(Lower(path)); }
bool FileExists(const std::string& path) { return M().files.count(Lower(path)) == 1; }
void SetCodePage(UINT codePage) { M().codePage = codePage; }
void SetCommandLine(const std::string& commandLine) { M().commandLine = commandLine; }
void SetStartupInfo(DWORD flags, WORD showWindow) {
    M().startupFlags = flags;
    M().startupShow = showWindow;
}

}  // namespace hostwin
