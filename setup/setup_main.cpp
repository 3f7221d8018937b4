// WinMain of setup: removes the root-enumerated mouse devices, installs the driver package that
// lies beside the program, removes the LMOUSE service key and the driver index, and offers a
// restart. Only a failed version query ends the run early; every other failure is passed over.
#include "bounded_string.h"
#include "package_directory.h"
#include "zunmek.h"

namespace {

// Names that setup, the driver package and the system agree on.
const char kRootDevicesKey[] = "Enum\\Root";
const char kFirstInstanceSuffix[] = "\\0000";
const char kClassValueName[] = "Class";
const char kMouseClass[] = "Mouse";
const char kInfFileName[] = "\\zunmouse.inf";
// The five bits by name (0x1F): SPINST_ALL has gained further bits in later SetupAPI versions.
const UINT kInstallFlags = SPINST_LOGCONFIG | SPINST_INIFILES | SPINST_REGISTRY | SPINST_INI2REG | SPINST_FILES;
const InfSection kPackageSections[] = {
    {"Setup", kInstallFlags, SP_COPY_NEWER | SP_COPY_NOSKIP},
    {"SetupCleanup", kInstallFlags, SP_COPY_NOSKIP},
};
const char kServiceKey[] = "System\\CurrentControlSet\\Services\\VxD\\LMOUSE";
const char kDriverIndexSuffix[] = "\\inf\\drvidx.bin";

// Runs the package INF beside the program file, with the package directory as source root.
void InstallDriverPackage(HINSTANCE instance) {
    char modulePath[MAX_PATH];
    DWORD moduleLength = GetModuleFileNameA(instance, modulePath, MAX_PATH);
    // 0 is a failure; a full buffer is a cut path, which may have no NUL and names another file.
    if (moduleLength == 0 || moduleLength >= MAX_PATH) return;

    char packageDirectory[MAX_PATH];
    if (!PackageDirectoryFrom(modulePath, packageDirectory)) return;

    char infPath[MAX_PATH];
    if (!CopyBytes(infPath, sizeof infPath, packageDirectory, StringLength(packageDirectory)) ||
        !AppendString(infPath, sizeof infPath, kInfFileName))
        return;
    InstallInfSections(infPath, packageDirectory, kPackageSections,
                       sizeof kPackageSections / sizeof kPackageSections[0]);
}

// Deletes the driver index in the inf folder of the Windows directory; its result is of no use.
void DeleteDriverIndex() {
    char windowsDirectory[MAX_PATH];
    UINT windowsLength = GetWindowsDirectoryA(windowsDirectory, MAX_PATH);
    // 0 is a failure; MAX_PATH or more is the size a longer directory needs, the buffer unfilled.
    if (windowsLength == 0 || windowsLength >= MAX_PATH) return;

    // The directory is used as reported: a root keeps its backslash, and the suffix adds another.
    char indexPath[MAX_PATH];
    if (!CopyBytes(indexPath, sizeof indexPath, windowsDirectory, windowsLength) ||
        !AppendString(indexPath, sizeof indexPath, kDriverIndexSuffix))
        return;
    DeleteFileA(indexPath);
}

}  // namespace

// The setup sequence; the previous instance, command line and show state are not used.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    OSVERSIONINFOA version;
    static_assert(sizeof version == 148, "the version record of the ANSI query");
    version.dwOSVersionInfoSize = sizeof version;
    // A system that cannot answer is left untouched; the answer itself serves for nothing.
    if (!GetVersionExA(&version)) return 1;

    SweepSubkeys(kRootDevicesKey, kFirstInstanceSuffix, kClassValueName, kMouseClass);
    InstallDriverPackage(instance);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kServiceKey);
    DeleteDriverIndex();
    ShowRestartPrompt(instance);
    return 0;
}
