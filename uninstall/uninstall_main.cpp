// ZunHV5Un's entry routine: removes what the mouse's drivers left in the registry, runs the
// installed INF's "Uninstall" section and offers a restart.
#include "zunmek.h"
#include "bounded_string.h"
#include "purge_problem_records.h"

namespace {

// The installed copy of the package INF, below the Windows directory.
const char kInstalledInfSuffix[] = "\\inf\\other\\zunmekzunmouse.inf";

// The five bits named, not SPINST_ALL: current headers give that further bits.
const UINT kInfInstallFlags = SPINST_LOGCONFIG | SPINST_INIFILES | SPINST_REGISTRY | SPINST_INI2REG | SPINST_FILES;
const InfSection kUninstallSections[] = {{"Uninstall", kInfInstallFlags, 0}};

}  // namespace

// Runs the uninstall sequence; every step runs whatever became of the one before. Exit code 0.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    PurgeProblemRecords();
    SweepSubkeys("System\\CurrentControlSet\\Services\\class\\mouse", "", "MouseDriver", "zunmouse.vxd");

    // The directory is used as reported: a root directory keeps its backslash, and the path then
    // has two in a row. A failed query (0) or one that did not fit (the size it needs) leaves the
    // buffer unfilled; a directory with no room for the suffix cannot name the INF either.
    char infPath[MAX_PATH];
    UINT directoryLength = GetWindowsDirectoryA(infPath, sizeof infPath);
    if (directoryLength != 0 && directoryLength < sizeof infPath &&
        AppendString(infPath, sizeof infPath, kInstalledInfSuffix))
        InstallInfSections(infPath, NULL, kUninstallSections, sizeof kUninstallSections / sizeof kUninstallSections[0]);

    ShowRestartPrompt(instance);
    return 0;
}
