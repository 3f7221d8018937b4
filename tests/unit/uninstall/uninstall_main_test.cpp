#include "hostwin_test.h"
#include "startup.h"
#include "zunmek.h"

namespace {

using hostwin::CommandMessage;
using Names = std::vector<std::string>;

const HKEY HKLM = HKEY_LOCAL_MACHINE;
const std::string kProb = "System\\CurrentControlSet\\Control\\ASD\\Prob";
const std::string kMouseClass = "System\\CurrentControlSet\\Services\\class\\mouse";
const std::string kInstalledInf = "C:\\WINDOWS\\inf\\other\\zunmekzunmouse.inf";
const std::vector<std::string> kSetupApi = {"SetupOpenInfFileA", "SetupInitDefaultQueueCallback",
                                            "SetupInstallFromInfSectionA", "SetupTermDefaultQueueCallback",
                                            "SetupCloseInfFile"};

class UninstallTest : public HostwinTest {
protected:
    void SetUp() override {
        HostwinTest::SetUp();
        PrepareMachine();
    }
    // The program's resources and a user who answers "Restart Later".
    static void PrepareMachine() {
        hostwin::AddDialogTemplate(hostwin::ProgramInstance(), IDD_RESTART);
        hostwin::SetDialogScript({CommandMessage(IDC_RESTART_LATER)});
    }
    // What an installation leaves behind: a problem record, a mouse class key, the installed INF.
    static void InstallTraces(const std::string& infPath = kInstalledInf) {
        hostwin::SetValue(HKLM, kProb + "\\Dev", "ROOT\\ZMK8001\\0000", REG_BINARY, {0x28, 0, 0, 0});
        hostwin::SetValue(HKLM, kProb + "\\Dev", "Other", REG_BINARY, {0x0A, 0, 0, 0});
        hostwin::SetString(HKLM, kMouseClass + "\\0000", "MouseDriver", "zunmouse.vxd");
        hostwin::SetString(HKLM, kMouseClass + "\\0001", "MouseDriver", "other.vxd");
        hostwin::AddInf(infPath, {"Uninstall"});
    }
    static int Run() { return WinMain(hostwin::ProgramInstance(), NULL, const_cast<char*>(""), SW_SHOWDEFAULT); }
};

TEST_F(UninstallTest, StepsInOrder) {
    InstallTraces();
    EXPECT_EQ(Run(), 0);

    const std::string prob = "<HKLM\\" + kProb;
    const std::string mouse = "<HKLM\\" + kMouseClass;
    const std::string nameOnly = ", 256, NULL, NULL, NULL, NULL) = ";
    EXPECT_EQ(JoinLines(hostwin::CallLog()),
              JoinLines({
                  // Problem records.
                  "RegOpenKeyExA(HKLM, \"System\\CurrentControlSet\\Control\\ASD\\Prob\", 0, 0xF003F) = 0",
                  "RegEnumKeyExA(" + prob + ">, 0, 256, NULL, NULL, NULL, &ft) = 0 \"Dev\"",
                  "RegOpenKeyExA(" + prob + ">, \"Dev\", 0, 0xF003F) = 0",
                  "RegEnumValueA(" + prob + "\\Dev>, 0" + nameOnly + "0 \"ROOT\\ZMK8001\\0000\"",
                  "RegDeleteValueA(" + prob + "\\Dev>, \"ROOT\\ZMK8001\\0000\") = 0",
                  "RegEnumValueA(" + prob + "\\Dev>, 0" + nameOnly + "0 \"Other\"",
                  "RegEnumValueA(" + prob + "\\Dev>, 1" + nameOnly + "259",
                  "RegCloseKey(" + prob + "\\Dev>) = 0",
                  "RegEnumKeyExA(" + prob + ">, 1, 256, NULL, NULL, NULL, &ft) = 259",
                  "RegCloseKey(" + prob + ">) = 0",
                  // Mouse class keys.
                  "RegOpenKeyExA(HKLM, \"System\\CurrentControlSet\\Services\\class\\mouse\", 0, 0xF003F) = 0",
                  "RegEnumKeyExA(" + mouse + ">, 0, 256, NULL, NULL, NULL, &ft) = 0 \"0000\"",
                  "RegOpenKeyExA(" + mouse + ">, \"0000\", 0, 0xF003F) = 0",
                  "RegQueryValueExA(" + mouse + "\\0000>, \"MouseDriver\", NULL, NULL, data, 256) = 0 (13 bytes)",
                  "RegCloseKey(" + mouse + "\\0000>) = 0",
                  "RegDeleteKeyA(" + mouse + ">, \"0000\") = 0",
                  "RegEnumKeyExA(" + mouse + ">, 0, 256, NULL, NULL, NULL, &ft) = 0 \"0001\"",
                  "RegOpenKeyExA(" + mouse + ">, \"0001\", 0, 0xF003F) = 0",
                  "RegQueryValueExA(" + mouse + "\\0001>, \"MouseDriver\", NULL, NULL, data, 256) = 0 (10 bytes)",
                  "RegCloseKey(" + mouse + "\\0001>) = 0",
                  "RegEnumKeyExA(" + mouse + ">, 1, 256, NULL, NULL, NULL, &ft) = 259",
                  "RegCloseKey(" + mouse + ">) = 0",
                  // The installed INF.
                  "GetWindowsDirectoryA(260) = 10 \"C:\\WINDOWS\"",
                  "SetupOpenInfFileA(\"C:\\WINDOWS\\inf\\other\\zunmekzunmouse.inf\", NULL, 0x2, NULL) = inf#1",
                  "SetupInitDefaultQueueCallback(NULL) = ctx#2",
                  "SetupInstallFromInfSectionA(NULL, inf#1, \"Uninstall\", 0x1F, NULL, NULL, 0x0, handler, ctx#2, "
                  "NULL, NULL) = 1",
                  "SetupTermDefaultQueueCallback(ctx#2)",
                  "SetupCloseInfFile(inf#1)",
                  // The prompt.
                  "DialogBoxParamA(0x400000, #101, NULL, dlgproc, 0) = 1001",
                  "EndDialog(dialog, 1001) = 1",
              }));
    EXPECT_EQ(hostwin::ValueNames(HKLM, kProb + "\\Dev"), Names{"Other"});
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kMouseClass), Names{"0001"});
    ASSERT_EQ(hostwin::SectionRuns().size(), 1u);
    const hostwin::SectionRun& run = hostwin::SectionRuns()[0];
    EXPECT_EQ(run.sourceRoot, std::nullopt);
    EXPECT_EQ(run.flags, 0x1Fu);
    EXPECT_EQ(run.copyFlags, 0u);
    EXPECT_EQ(run.handler, &QueueCallback);
}

TEST_F(UninstallTest, SystemWithoutAnyTraceOfTheInstallation) {
    hostwin::SetValue(HKLM, kProb + "\\Dev", "SERENUM\\PNP0F0C", REG_BINARY, {1});
    hostwin::SetString(HKLM, kMouseClass + "\\0000", "MouseDriver", "msmouse.vxd");
    hostwin::AddInf("C:\\WINDOWS\\inf\\msmouse.inf", {"Uninstall"});
    EXPECT_EQ(Run(), 0);

    EXPECT_EQ(hostwin::ValueNames(HKLM, kProb + "\\Dev"), Names{"SERENUM\\PNP0F0C"});
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kMouseClass), Names{"0000"});
    EXPECT_TRUE(hostwin::CallLogOf({"RegDeleteValueA", "RegDeleteKeyA"}).empty());
    EXPECT_EQ(hostwin::CallLogOf(kSetupApi),
              Names{"SetupOpenInfFileA(\"C:\\WINDOWS\\inf\\other\\zunmekzunmouse.inf\", NULL, 0x2, NULL) = "
                    "INVALID_HANDLE_VALUE"});
    EXPECT_EQ(hostwin::CallLogOf({"DialogBoxParamA"}), Names{"DialogBoxParamA(0x400000, #101, NULL, dlgproc, 0) = 1001"});
}

TEST_F(UninstallTest, EmptyMachineStillShowsThePrompt) {
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(JoinLines(hostwin::CallLog()),
              JoinLines({
                  "RegOpenKeyExA(HKLM, \"System\\CurrentControlSet\\Control\\ASD\\Prob\", 0, 0xF003F) = 2",
                  "RegOpenKeyExA(HKLM, \"System\\CurrentControlSet\\Services\\class\\mouse\", 0, 0xF003F) = 2",
                  "GetWindowsDirectoryA(260) = 10 \"C:\\WINDOWS\"",
                  "SetupOpenInfFileA(\"C:\\WINDOWS\\inf\\other\\zunmekzunmouse.inf\", NULL, 0x2, NULL) = "
                  "INVALID_HANDLE_VALUE",
                  "DialogBoxParamA(0x400000, #101, NULL, dlgproc, 0) = 1001",
                  "EndDialog(dialog, 1001) = 1",
              }));
}

TEST_F(UninstallTest, RegistryTracesWhileTheInstalledInfIsGone) {
    InstallTraces("C:\\WINDOWS\\inf\\zunmouse.inf");  // not where the installation leaves it
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(hostwin::ValueNames(HKLM, kProb + "\\Dev"), Names{"Other"});
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kMouseClass), Names{"0001"});
    EXPECT_EQ(hostwin::CallLogOf(kSetupApi).size(), 1u);
    EXPECT_TRUE(hostwin::SectionRuns().empty());
    EXPECT_EQ(hostwin::CallLogOf({"DialogBoxParamA"}).size(), 1u);
}

TEST_F(UninstallTest, InstalledInfPathFromTheWindowsDirectory) {
    const std::string suffix = "\\inf\\other\\zunmekzunmouse.inf";
    const std::string longest = "C:\\" + std::string(227, 'W');  // 230 bytes: the path takes all 260
    struct Case {
        const char* name;
        std::string directory;
        bool queryFails;
        std::string infPath;  // empty: no SetupAPI call at all
    };
    const Case cases[] = {
        {"C:\\WINDOWS", "C:\\WINDOWS", false, kInstalledInf},
        {"another drive and name", "D:\\Win98", false, "D:\\Win98\\inf\\other\\zunmekzunmouse.inf"},
        {"root of a drive, reported with its backslash", "C:\\", false, "C:\\\\inf\\other\\zunmekzunmouse.inf"},
        {"230 bytes", longest, false, longest + suffix},
        {"231 bytes: no room for the suffix", longest + "X", false, ""},
        {"259 bytes: fills the buffer", "C:\\" + std::string(256, 'W'), false, ""},
        {"260 bytes: more than the buffer holds", "C:\\" + std::string(257, 'W'), false, ""},
        {"the query fails", "C:\\WINDOWS", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostwin::Reset();
        PrepareMachine();
        hostwin::SetWindowsDirectory(c.directory);
        hostwin::SetWindowsDirectoryFails(c.queryFails);
        if (!c.infPath.empty()) hostwin::AddInf(c.infPath, {"Uninstall"});
        EXPECT_EQ(Run(), 0);

        EXPECT_EQ(hostwin::CallLogOf({"GetWindowsDirectoryA"}).size(), 1u);
        if (c.infPath.empty()) {
            EXPECT_EQ(hostwin::CallLogOf(kSetupApi), Names{});
        } else {
            ASSERT_EQ(hostwin::SectionRuns().size(), 1u);
            // Case matters here: the stand-in finds an INF without regard to case.
            EXPECT_EQ(hostwin::CallLogOf({"SetupOpenInfFileA"}).at(0).find("SetupOpenInfFileA(\"" + c.infPath + "\","), 0u);
            EXPECT_EQ(hostwin::SectionRuns()[0].infPath, c.infPath);
            EXPECT_EQ(hostwin::SectionRuns()[0].section, "Uninstall");
        }
        EXPECT_EQ(hostwin::CallLogOf({"DialogBoxParamA"}).size(), 1u);
    }
}

TEST_F(UninstallTest, ExitCodeIsZeroWhateverTheUserAndTheSystemDo) {
    struct Case {
        const char* name;
        std::vector<hostwin::Message> script;
        bool failingSection;
        bool templateMissing;
        Names restarts;
    };
    const Names restart = {"ExitWindowsEx(0x2, 0x0) = 1"};
    const Case cases[] = {
        {"Restart Now", {CommandMessage(IDC_RESTART_NOW)}, false, false, restart},
        {"Restart Later", {CommandMessage(IDC_RESTART_LATER)}, false, false, {}},
        {"Escape or the close box", {CommandMessage(IDCANCEL)}, false, false, {}},
        {"the Uninstall section fails", {CommandMessage(IDC_RESTART_NOW)}, true, false, restart},
        {"no dialog template", {CommandMessage(IDC_RESTART_NOW)}, false, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostwin::Reset();
        if (!c.templateMissing) hostwin::AddDialogTemplate(hostwin::ProgramInstance(), IDD_RESTART);
        hostwin::SetDialogScript(c.script);
        InstallTraces();
        if (c.failingSection) hostwin::FailCall("SetupInstallFromInfSectionA", "Uninstall", ERROR_ACCESS_DENIED);
        EXPECT_EQ(Run(), 0);
        EXPECT_EQ(hostwin::CallLogOf({"ExitWindowsEx"}), c.restarts);
        EXPECT_EQ(hostwin::CallLogOf({"SetupInstallFromInfSectionA"}).size(), 1u);
    }
}

TEST_F(UninstallTest, PromptComesFromTheModuleHandleWinMainReceives) {
    HINSTANCE other = reinterpret_cast<HINSTANCE>(0x10000000);
    hostwin::AddDialogTemplate(other, IDD_RESTART);
    EXPECT_EQ(WinMain(other, NULL, const_cast<char*>(""), SW_SHOWDEFAULT), 0);
    EXPECT_EQ(hostwin::CallLogOf({"DialogBoxParamA"}), Names{"DialogBoxParamA(0x10000000, #101, NULL, dlgproc, 0) = 1001"});
}

TEST_F(UninstallTest, CommandLineAndShowStateAreIgnored) {
    InstallTraces();
    Run();
    const Names plain = hostwin::CallLog();

    hostwin::Reset();
    PrepareMachine();
    InstallTraces();
    char arguments[] = "/uninstall \"C:\\Program Files\" /q";
    EXPECT_EQ(WinMain(hostwin::ProgramInstance(), hostwin::ProgramInstance(), arguments, SW_SHOWMINIMIZED), 0);
    EXPECT_EQ(JoinLines(hostwin::CallLog()), JoinLines(plain));
}

TEST_F(UninstallTest, StartedThroughTheEntryPoint) {
    InstallTraces();
    hostwin::SetCommandLine("\"C:\\WINDOWS\\ZunHV5Un.exe\" /extra");
    hostwin::SetDialogScript({CommandMessage(IDC_RESTART_NOW)});
    EXPECT_EQ(StartProgram(), 0);
    EXPECT_EQ(hostwin::ValueNames(HKLM, kProb + "\\Dev"), Names{"Other"});
    EXPECT_EQ(hostwin::SectionRuns().size(), 1u);
    EXPECT_EQ(hostwin::CallLogOf({"ExitWindowsEx"}), Names{"ExitWindowsEx(0x2, 0x0) = 1"});
}

}  // namespace
