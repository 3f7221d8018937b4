// The start-up code: what it hands WinMain, and that WinMain's result ends the process.
#include "hostwin_test.h"
#include "startup.h"
#include "zunmek.h"

extern "C" void WinMainCRTStartup(void);

namespace {

// What one call of WinMain received, and the code page set for it at that moment.
struct WinMainCall {
    HINSTANCE instance;
    HINSTANCE previous;
    std::string commandLine;
    int showState;
    UINT codePage;
};
std::vector<WinMainCall> g_winMainCalls;
int g_winMainResult = 0;

}  // namespace

// This test program's WinMain: records its arguments and returns what the test chose.
extern "C" int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showState) {
    g_winMainCalls.push_back(WinMainCall{instance, previous, commandLine ? commandLine : "<NULL>", showState,
                                         g_ansiCodePage});
    return g_winMainResult;
}

namespace {

class StartupTest : public HostwinTest {
protected:
    void SetUp() override {
        HostwinTest::SetUp();
        g_winMainCalls.clear();
        g_winMainResult = 0;
        g_ansiCodePage = 0;  // no code page yet: the start-up code must set it
    }
    // Runs the start-up code and returns the one WinMain call it made.
    WinMainCall Start() {
        StartProgram();
        EXPECT_EQ(g_winMainCalls.size(), 1u);
        return g_winMainCalls.empty() ? WinMainCall{} : g_winMainCalls.back();
    }
};

TEST_F(StartupTest, HandsWinMainTheCommandLineAfterTheProgramName) {
    struct Case {
        const char* commandLine;
        const char* arguments;
    };
    const Case cases[] = {
        {"\"C:\\Program Files\\Zunmek\\setup.exe\" /s", "/s"},
        {"\"C:\\Program Files\\Zunmek\\setup.exe\"", ""},
        {"\"C:\\Program Files\\Zunmek\\setup.exe\"   ", ""},
        {"\"C:\\Program Files\\setup.exe\"arg", "arg"},              // no blank after the closing quote
        {"\"C:\\Program Files\\setup.exe a b", ""},                 // no closing quote: all of it is the name
        {"\"\" a", "a"},                                           // an empty quoted name
        {"setup.exe", ""},
        {"C:\\Zunmek\\setup.exe a b", "a b"},
        {"setup.exe   ", ""},
        {"setup.exe\targ", "arg"},                                 // a tab ends an unquoted name too
        {"setup.exe \t \t arg  x ", "arg  x "},                    // only the blanks before the arguments go
        {"setup.exe \"quoted arg\"", "\"quoted arg\""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        g_winMainCalls.clear();
        hostwin::SetCommandLine(c.commandLine);
        EXPECT_EQ(Start().commandLine, c.arguments);
    }
}

TEST_F(StartupTest, HandsWinMainTheModuleHandleAndNoPreviousInstance) {
    WinMainCall call = Start();
    EXPECT_EQ(call.instance, hostwin::ProgramInstance());
    EXPECT_EQ(call.previous, nullptr);
    EXPECT_EQ(hostwin::CallLogOf({"GetModuleHandleA"}), std::vector<std::string>{"GetModuleHandleA(NULL) = 0x400000"});
}

TEST_F(StartupTest, HandsWinMainTheShowStateFromTheStartupInfo) {
    const DWORD kUseStdHandles = 0x100;  // STARTF_USESTDHANDLES: another flag, not about showing
    struct Case {
        const char* name;
        DWORD flags;
        WORD showWindow;
        int showState;
    };
    const Case cases[] = {
        {"none given", 0, 0, SW_SHOWDEFAULT},
        {"none given, a stray show value", 0, SW_SHOWMINIMIZED, SW_SHOWDEFAULT},
        {"another flag only", kUseStdHandles, SW_SHOWMINIMIZED, SW_SHOWDEFAULT},
        {"minimised", STARTF_USESHOWWINDOW, SW_SHOWMINIMIZED, SW_SHOWMINIMIZED},
        {"normal, with another flag", STARTF_USESHOWWINDOW | kUseStdHandles, SW_SHOWNORMAL, SW_SHOWNORMAL},
        {"hidden (0)", STARTF_USESHOWWINDOW, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_winMainCalls.clear();
        hostwin::SetStartupInfo(c.flags, c.showWindow);
        EXPECT_EQ(Start().showState, c.showState);
    }
}

TEST_F(StartupTest, SetsTheAnsiCodePageBeforeWinMainRuns) {
    for (UINT codePage : {932u, 1252u}) {
        SCOPED_TRACE(codePage);
        g_winMainCalls.clear();
        g_ansiCodePage = 0;
        hostwin::SetCodePage(codePage);
        EXPECT_EQ(Start().codePage, codePage);
    }
}

TEST_F(StartupTest, ReturnsWinMainsResult) {
    for (int result : {0, 1, 7}) {
        g_winMainResult = result;
        EXPECT_EQ(StartProgram(), result);
    }
}

TEST_F(StartupTest, EntryPointEndsTheProcessWithWinMainsResult) {
    g_winMainResult = 1;
    EXPECT_EXIT(WinMainCRTStartup(), ::testing::ExitedWithCode(1), "");
    g_winMainResult = 0;
    EXPECT_EXIT(WinMainCRTStartup(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
