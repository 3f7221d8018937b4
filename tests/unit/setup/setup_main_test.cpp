// setup's WinMain against hostwin: the sequence, its calls, and what each failure leaves running.
#include "hostwin_test.h"
#include "startup.h"
#include "zunmek.h"

#include <algorithm>
#include <optional>

namespace {

const HKEY HKLM = HKEY_LOCAL_MACHINE;
const std::string kRoot = "Enum\\Root";
const std::string kServiceKey = "System\\CurrentControlSet\\Services\\VxD\\LMOUSE";
const std::string kPackageInf = "C:\\Drivers\\Mouse\\zunmouse.inf";
const std::string kIndexFile = "C:\\WINDOWS\\inf\\drvidx.bin";
const std::vector<std::string> kSetupApi = {"SetupOpenInfFileA", "SetupInitDefaultQueueCallback",
                                            "SetupInstallFromInfSectionA", "SetupTermDefaultQueueCallback",
                                            "SetupCloseInfFile"};
const std::string kServiceDelete =
    "RegDeleteKeyA(HKLM, \"System\\CurrentControlSet\\Services\\VxD\\LMOUSE\")";
const std::string kPrompt = "DialogBoxParamA(0x400000, #101, NULL, dlgproc, 0)";

// A string as the call log prints it.
std::string Logged(const std::string& text) { return hostwin::LoggedString(text); }

// A directory part of exactly `length` bytes: a backslash, a folder name, a backslash.
std::string DirectoryPart(size_t length) { return "\\" + std::string(length - 2, 'd') + "\\"; }

void AddDevice(const std::string& device, const std::string& instance, const std::string& deviceClass) {
    hostwin::SetString(HKLM, kRoot + "\\" + device + "\\" + instance, "Class", deviceClass);
}

// Index of the first log line that starts with `prefix`, at or after `from`; nullopt if none.
std::optional<size_t> FindLine(const std::string& prefix, size_t from = 0) {
    const auto& log = hostwin::CallLog();
    for (size_t i = from; i < log.size(); ++i)
        if (log[i].compare(0, prefix.size(), prefix) == 0) return i;
    return std::nullopt;
}

class SetupTest : public HostwinTest {
protected:
    void SetUp() override {
        HostwinTest::SetUp();
        g_ansiCodePage = 1252;  // as the start-up code sets it on a western system
        hostwin::AddDialogTemplate(hostwin::ProgramInstance(), IDD_RESTART);
        hostwin::SetDialogScript({hostwin::CommandMessage(IDC_RESTART_LATER)});
    }
    void TearDown() override {
        g_ansiCodePage = 0;
        HostwinTest::TearDown();
    }

    // A machine with everything that setup removes or runs: a root mouse device, a keyboard,
    // the LMOUSE service key, the driver index and the package INF beside the program.
    void AddInstallation() {
        AddDevice("*PNP0F0C", "0000", "Mouse");
        AddDevice("*PNP0303", "0000", "Keyboard");
        hostwin::SetString(HKLM, kServiceKey, "StaticVxD", "zunmouse.vxd");
        hostwin::AddFile(kIndexFile);
        hostwin::AddInf(kPackageInf, {"Setup", "SetupCleanup"});
    }

    static int RunSetup(const char* commandLine = "", int showState = SW_SHOWDEFAULT) {
        std::string arguments = commandLine;
        return WinMain(hostwin::ProgramInstance(), nullptr, arguments.data(), showState);
    }

    // The steps that follow the INF: all of them ran, in order.
    static void ExpectClosingStepsRan() {
        std::optional<size_t> service = FindLine(kServiceDelete);
        std::optional<size_t> windows = service ? FindLine("GetWindowsDirectoryA(260)", *service) : std::nullopt;
        std::optional<size_t> prompt = windows ? FindLine(kPrompt, *windows) : std::nullopt;
        EXPECT_TRUE(service && windows && prompt) << JoinLines(hostwin::CallLog());
    }
};

TEST_F(SetupTest, FullSequenceCallsInOrder) {
    AddInstallation();
    hostwin::SetDialogScript({hostwin::CommandMessage(IDC_RESTART_NOW)});
    EXPECT_EQ(RunSetup(), 0);

    EXPECT_EQ(JoinLines(hostwin::CallLog()), JoinLines({
        "GetVersionExA(148) = 1",
        "RegOpenKeyExA(HKLM, \"Enum\\Root\", 0, 0xF003F) = 0",
        "RegEnumKeyExA(<HKLM\\Enum\\Root>, 0, 256, NULL, NULL, NULL, &ft) = 0 \"*PNP0F0C\"",
        "RegOpenKeyExA(<HKLM\\Enum\\Root>, \"*PNP0F0C\\0000\", 0, 0xF003F) = 0",
        "RegQueryValueExA(<HKLM\\Enum\\Root\\*PNP0F0C\\0000>, \"Class\", NULL, NULL, data, 256) = 0 (6 bytes)",
        "RegCloseKey(<HKLM\\Enum\\Root\\*PNP0F0C\\0000>) = 0",
        "RegDeleteKeyA(<HKLM\\Enum\\Root>, \"*PNP0F0C\") = 0",
        "RegEnumKeyExA(<HKLM\\Enum\\Root>, 0, 256, NULL, NULL, NULL, &ft) = 0 \"*PNP0303\"",
        "RegOpenKeyExA(<HKLM\\Enum\\Root>, \"*PNP0303\\0000\", 0, 0xF003F) = 0",
        "RegQueryValueExA(<HKLM\\Enum\\Root\\*PNP0303\\0000>, \"Class\", NULL, NULL, data, 256) = 0 (9 bytes)",
        "RegCloseKey(<HKLM\\Enum\\Root\\*PNP0303\\0000>) = 0",
        "RegEnumKeyExA(<HKLM\\Enum\\Root>, 1, 256, NULL, NULL, NULL, &ft) = 259",
        "RegCloseKey(<HKLM\\Enum\\Root>) = 0",
        "GetModuleFileNameA(0x400000, 260) = 26 \"C:\\Drivers\\Mouse\\setup.exe\"",
        "SetupOpenInfFileA(\"C:\\Drivers\\Mouse\\zunmouse.inf\", NULL, 0x2, NULL) = inf#1",
        "SetupInitDefaultQueueCallback(NULL) = ctx#2",
        "SetupInstallFromInfSectionA(NULL, inf#1, \"Setup\", 0x1F, NULL, \"C:\\Drivers\\Mouse\", 0x404, handler, "
        "ctx#2, NULL, NULL) = 1",
        "SetupInstallFromInfSectionA(NULL, inf#1, \"SetupCleanup\", 0x1F, NULL, \"C:\\Drivers\\Mouse\", 0x400, "
        "handler, ctx#2, NULL, NULL) = 1",
        "SetupTermDefaultQueueCallback(ctx#2)",
        "SetupCloseInfFile(inf#1)",
        "RegDeleteKeyA(HKLM, \"System\\CurrentControlSet\\Services\\VxD\\LMOUSE\") = 0",
        "GetWindowsDirectoryA(260) = 10 \"C:\\WINDOWS\"",
        "DeleteFileA(\"C:\\WINDOWS\\inf\\drvidx.bin\") = 1",
        "DialogBoxParamA(0x400000, #101, NULL, dlgproc, 0) = 1000",
        "EndDialog(dialog, 1000) = 1",
        "ExitWindowsEx(0x2, 0x0) = 1",
    }));
    // Read back: what the calls reported is what happened.
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kRoot), std::vector<std::string>{"*PNP0303"});
    EXPECT_FALSE(hostwin::KeyExists(HKLM, kServiceKey));
    EXPECT_TRUE(hostwin::KeyExists(HKLM, "System\\CurrentControlSet\\Services\\VxD"));
    EXPECT_FALSE(hostwin::FileExists(kIndexFile));
    for (const hostwin::SectionRun& run : hostwin::SectionRuns()) EXPECT_EQ(run.handler, &QueueCallback);
}

TEST_F(SetupTest, FailedVersionQueryEndsTheRunBeforeAnyChange) {
    AddInstallation();
    hostwin::SetVersionQueryFails(true);
    EXPECT_EQ(RunSetup(), 1);

    EXPECT_EQ(hostwin::CallLog(), std::vector<std::string>{"GetVersionExA(148) = 0"});
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kRoot), (std::vector<std::string>{"*PNP0F0C", "*PNP0303"}));
    EXPECT_TRUE(hostwin::KeyExists(HKLM, kServiceKey));
    EXPECT_TRUE(hostwin::FileExists(kIndexFile));
    EXPECT_TRUE(hostwin::DialogMessages().empty());
}

TEST_F(SetupTest, EveryFailureAfterTheVersionQueryIsPassedOver) {
    struct Case {
        const char* function;
        const char* argument;
        uint32_t code;
        size_t sectionRuns;  // how many of the two sections were still handed to SetupAPI
    };
    const Case cases[] = {
        {"RegOpenKeyExA", "Enum\\Root", ERROR_ACCESS_DENIED, 2},
        {"RegEnumKeyExA", "", ERROR_ACCESS_DENIED, 2},
        {"RegDeleteKeyA", "*PNP0F0C", ERROR_ACCESS_DENIED, 2},
        {"GetModuleFileNameA", "", ERROR_INVALID_HANDLE, 0},
        {"SetupOpenInfFileA", "", ERROR_ACCESS_DENIED, 0},
        {"SetupInitDefaultQueueCallback", "", ERROR_INVALID_PARAMETER, 0},
        {"SetupInstallFromInfSectionA", "Setup", ERROR_ACCESS_DENIED, 2},
        {"SetupInstallFromInfSectionA", "SetupCleanup", ERROR_ACCESS_DENIED, 2},
        {"RegDeleteKeyA", kServiceKey.c_str(), ERROR_ACCESS_DENIED, 2},
        {"GetWindowsDirectoryA", "", ERROR_INVALID_PARAMETER, 2},
        {"DeleteFileA", "", ERROR_ACCESS_DENIED, 2},
        {"DialogBoxParamA", "", ERROR_INVALID_PARAMETER, 2},
        {"ExitWindowsEx", "", ERROR_ACCESS_DENIED, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.function) + " " + c.argument);
        hostwin::Reset();
        SetUp();
        AddInstallation();
        hostwin::SetDialogScript({hostwin::CommandMessage(IDC_RESTART_NOW)});
        hostwin::FailCall(c.function, c.argument, c.code);

        EXPECT_EQ(RunSetup(), 0);
        EXPECT_EQ(hostwin::SectionRuns().size(), c.sectionRuns);
        ExpectClosingStepsRan();
        // An INF that was opened is closed again, after everything else of SetupAPI.
        std::vector<std::string> setupApi = hostwin::CallLogOf(kSetupApi);
        if (setupApi.size() > 1) {
            EXPECT_EQ(setupApi.back(), "SetupCloseInfFile(inf#1)");
        }
        EXPECT_EQ(hostwin::OpenHandles(), std::vector<std::string>{});
    }
}

TEST_F(SetupTest, ModulePathDecidesWhatReachesSetupApi) {
    struct Case {
        const char* name;
        UINT codePage;
        std::string modulePath;
        std::optional<std::string> packageDirectory;  // nullopt: no SetupAPI call at all
    };
    const std::string dir245 = DirectoryPart(245);
    const std::string dir246 = DirectoryPart(246);
    const Case cases[] = {
        {"a folder", 1252, "C:\\Drivers\\Mouse\\setup.exe", "C:\\Drivers\\Mouse"},
        {"the root of a drive", 1252, "A:\\setup.exe", "A:"},
        {"a share", 1252, "\\\\server\\share\\Drivers\\setup.exe", "\\\\server\\share\\Drivers"},
        {"forward slashes: the last one stays", 1252, "C:/Drivers/Mouse/setup.exe", "C:/Drivers/Mouse/"},
        {"mixed separators", 1252, "C:\\Drivers/Mouse\\setup.exe", "C:\\Drivers/Mouse"},
        {"a folder ending in a character with trail byte 0x5C", 932, "C:\\Drivers\\pkg\x95\x5C\\setup.exe",
         "C:\\Drivers\\pkg\x95\x5C"},
        {"such a character in the file name", 932, "C:\\Drivers\\Mouse\\set\x95\x5Cup.exe", "C:\\Drivers\\Mouse"},
        {"the same bytes in code page 1252", 1252, "C:\\Drivers\\Mouse\\set\x95\x5Cup.exe",
         "C:\\Drivers\\Mouse\\set\x95"},
        {"a 259-byte path ending in a lead byte", 932, "C:\\Drivers\\" + std::string(247, 'n') + "\x95",
         "C:\\Drivers"},
        {"a 259-byte path: not cut", 1252, "C:\\Drivers\\" + std::string(244, 'n') + ".exe", "C:\\Drivers"},
        {"a package directory of 246 bytes: the INF path just fits", 1252, "C:" + dir245 + "setup.exe",
         "C:" + dir245.substr(0, 244)},
        {"a package directory of 247 bytes: no room for the INF name", 1252, "C:" + dir246 + "setup.exe",
         std::nullopt},
        {"a directory part of 255 bytes: no room for the INF name", 1252, "C:" + DirectoryPart(255) + "s",
         std::nullopt},
        {"a directory part of 256 bytes: refused", 1252, "C:" + DirectoryPart(256) + "s", std::nullopt},
        {"a 260-byte path: cut by the query", 1252, "C:\\Drivers\\" + std::string(245, 'n') + ".exe",
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostwin::Reset();
        SetUp();
        g_ansiCodePage = c.codePage;
        hostwin::SetModulePath(c.modulePath);
        std::string infPath = c.packageDirectory.value_or("") + "\\zunmouse.inf";
        hostwin::AddInf(infPath, {"Setup", "SetupCleanup"});

        EXPECT_EQ(RunSetup(), 0);
        if (c.packageDirectory) {
            EXPECT_EQ(hostwin::CallLogOf({"SetupOpenInfFileA"}),
                      std::vector<std::string>{"SetupOpenInfFileA(" + Logged(infPath) + ", NULL, 0x2, NULL) = inf#1"});
            const auto& runs = hostwin::SectionRuns();
            ASSERT_EQ(runs.size(), 2u);
            for (const hostwin::SectionRun& run : runs) EXPECT_EQ(run.sourceRoot, c.packageDirectory) << run.section;
        } else {
            EXPECT_EQ(hostwin::CallLogOf(kSetupApi), std::vector<std::string>{});
        }
        ExpectClosingStepsRan();
    }
}

TEST_F(SetupTest, FailedModulePathQuerySkipsTheInfOnly) {
    AddInstallation();
    hostwin::SetModulePathFails(true);
    EXPECT_EQ(RunSetup(), 0);
    EXPECT_EQ(hostwin::CallLogOf({"GetModuleFileNameA"}), std::vector<std::string>{"GetModuleFileNameA(0x400000, 260) = 0"});
    EXPECT_EQ(hostwin::CallLogOf(kSetupApi), std::vector<std::string>{});
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kRoot), std::vector<std::string>{"*PNP0303"});
    EXPECT_FALSE(hostwin::KeyExists(HKLM, kServiceKey));
    EXPECT_FALSE(hostwin::FileExists(kIndexFile));
    ExpectClosingStepsRan();
}

TEST_F(SetupTest, CodePageComesFromTheStartupCode) {
    g_ansiCodePage = 0;
    hostwin::SetCodePage(932);
    hostwin::SetModulePath("C:\\Drivers\\Mouse\\set\x95\x5Cup.exe");
    hostwin::AddInf(kPackageInf, {"Setup", "SetupCleanup"});
    EXPECT_EQ(StartProgram(), 0);
    EXPECT_EQ(hostwin::CallLogOf({"SetupOpenInfFileA"}),
              std::vector<std::string>{"SetupOpenInfFileA(" + Logged(kPackageInf) + ", NULL, 0x2, NULL) = inf#1"});
}

TEST_F(SetupTest, WithoutThePackageInfEverythingElseStillRuns) {
    AddInstallation();
    hostwin::SetModulePath("D:\\Elsewhere\\setup.exe");
    EXPECT_EQ(RunSetup(), 0);

    EXPECT_EQ(hostwin::CallLogOf(kSetupApi),
              std::vector<std::string>{
                  "SetupOpenInfFileA(\"D:\\Elsewhere\\zunmouse.inf\", NULL, 0x2, NULL) = INVALID_HANDLE_VALUE"});
    // The sweep ran before the INF was looked for; the service key and index went after it.
    std::optional<size_t> sweepDelete = FindLine("RegDeleteKeyA(<HKLM\\Enum\\Root>, \"*PNP0F0C\") = 0");
    std::optional<size_t> open = FindLine("SetupOpenInfFileA(");
    ASSERT_TRUE(sweepDelete && open);
    EXPECT_LT(*sweepDelete, *open);
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kRoot), std::vector<std::string>{"*PNP0303"});
    EXPECT_FALSE(hostwin::KeyExists(HKLM, kServiceKey));
    EXPECT_FALSE(hostwin::FileExists(kIndexFile));
    EXPECT_TRUE(hostwin::SectionRuns().empty());
    ExpectClosingStepsRan();
}

TEST_F(SetupTest, NoServiceKeyAndNoIndexFileGoOnToThePrompt) {
    hostwin::AddInf(kPackageInf, {"Setup", "SetupCleanup"});
    EXPECT_EQ(RunSetup(), 0);
    EXPECT_EQ(hostwin::CallLogOf({"RegDeleteKeyA", "DeleteFileA"}),
              (std::vector<std::string>{kServiceDelete + " = 2", "DeleteFileA(\"C:\\WINDOWS\\inf\\drvidx.bin\") = 0"}));
    EXPECT_EQ(hostwin::SectionRuns().size(), 2u);
    ExpectClosingStepsRan();
}

TEST_F(SetupTest, WindowsDirectoryDecidesTheIndexDelete) {
    struct Case {
        const char* name;
        std::optional<std::string> windowsDirectory;  // nullopt: the query fails
        std::optional<std::string> indexPath;          // nullopt: no delete
    };
    const std::string dir244 = "C:\\" + std::string(241, 'w');
    const std::string dir245 = dir244 + "w";
    const std::string dir259 = "C:\\" + std::string(256, 'w');
    const Case cases[] = {
        {"C:\\WINDOWS", std::string("C:\\WINDOWS"), std::string("C:\\WINDOWS\\inf\\drvidx.bin")},
        {"the root of a drive, reported with its backslash", std::string("C:\\"),
         std::string("C:\\\\inf\\drvidx.bin")},
        {"244 bytes: the index path just fits", dir244, dir244 + "\\inf\\drvidx.bin"},
        {"245 bytes: no room for the suffix", dir245, std::nullopt},
        {"259 bytes: fills the buffer", dir259, std::nullopt},
        {"260 bytes: longer than the buffer", dir259 + "w", std::nullopt},
        {"the query fails", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostwin::Reset();
        SetUp();
        if (c.windowsDirectory) {
            hostwin::SetWindowsDirectory(*c.windowsDirectory);
        } else {
            hostwin::SetWindowsDirectoryFails(true);
        }
        if (c.indexPath) hostwin::AddFile(*c.indexPath);

        EXPECT_EQ(RunSetup(), 0);
        if (c.indexPath) {
            EXPECT_EQ(hostwin::CallLogOf({"DeleteFileA"}),
                      std::vector<std::string>{"DeleteFileA(" + Logged(*c.indexPath) + ") = 1"});
            EXPECT_FALSE(hostwin::FileExists(*c.indexPath));
        } else {
            EXPECT_EQ(hostwin::CallLogOf({"DeleteFileA"}), std::vector<std::string>{});
        }
        ExpectClosingStepsRan();
    }
}

TEST_F(SetupTest, PromptChoiceDecidesTheRestartNotTheExitCode) {
    struct Case {
        const char* name;
        std::vector<hostwin::Message> script;
        bool withTemplate;
        std::vector<std::string> lastCalls;
    };
    const Case cases[] = {
        {"Restart Now", {hostwin::CommandMessage(IDC_RESTART_NOW)}, true,
         {kPrompt + " = 1000", "EndDialog(dialog, 1000) = 1", "ExitWindowsEx(0x2, 0x0) = 1"}},
        {"Restart Later", {hostwin::CommandMessage(IDC_RESTART_LATER)}, true,
         {"DeleteFileA(\"C:\\WINDOWS\\inf\\drvidx.bin\") = 0", kPrompt + " = 1001", "EndDialog(dialog, 1001) = 1"}},
        {"Escape or the close box", {hostwin::CommandMessage(IDCANCEL)}, true,
         {"DeleteFileA(\"C:\\WINDOWS\\inf\\drvidx.bin\") = 0", kPrompt + " = 1001", "EndDialog(dialog, 1001) = 1"}},
        {"no dialog template", {hostwin::CommandMessage(IDC_RESTART_NOW)}, false,
         {"GetWindowsDirectoryA(260) = 10 \"C:\\WINDOWS\"", "DeleteFileA(\"C:\\WINDOWS\\inf\\drvidx.bin\") = 0",
          kPrompt + " = -1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostwin::Reset();
        if (c.withTemplate) hostwin::AddDialogTemplate(hostwin::ProgramInstance(), IDD_RESTART);
        hostwin::SetDialogScript(c.script);

        EXPECT_EQ(RunSetup(), 0);
        const auto& log = hostwin::CallLog();
        ASSERT_GE(log.size(), c.lastCalls.size());
        EXPECT_EQ(std::vector<std::string>(log.end() - c.lastCalls.size(), log.end()), c.lastCalls);
    }
}

TEST_F(SetupTest, ArgumentsAndShowStateAreIgnored) {
    AddInstallation();
    EXPECT_EQ(RunSetup(), 0);
    const std::vector<std::string> plain = hostwin::CallLog();

    hostwin::Reset();
    SetUp();
    AddInstallation();
    EXPECT_EQ(RunSetup("/uninstall C:\\Other\\setup.exe", SW_SHOWMINIMIZED), 0);
    EXPECT_EQ(JoinLines(hostwin::CallLog()), JoinLines(plain));
}

TEST_F(SetupTest, RootSweepRemovesMouseDevicesWithTheirInstances) {
    AddDevice("*PNP0F0C", "0000", "Mouse");
    AddDevice("*PNP0F0C", "0001", "Keyboard");
    AddDevice("ZMK8001", "0000", "MOUSE");
    AddDevice("*PNP0303", "0000", "Keyboard");
    AddDevice("*PNP0303", "0001", "Mouse");  // only the first instance decides
    hostwin::SetString(HKLM, kRoot + "\\*PNP0501\\0000", "Driver", "Mouse");  // no Class value
    EXPECT_EQ(RunSetup(), 0);

    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kRoot), (std::vector<std::string>{"*PNP0303", "*PNP0501"}));
    EXPECT_EQ(hostwin::SubkeyNames(HKLM, kRoot + "\\*PNP0303"), (std::vector<std::string>{"0000", "0001"}));
    EXPECT_FALSE(hostwin::KeyExists(HKLM, kRoot + "\\*PNP0F0C\\0001"));
}

}  // namespace
