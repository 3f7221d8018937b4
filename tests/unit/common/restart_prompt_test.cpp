#include "hostwin_test.h"
#include "zunmek.h"

namespace {

using hostwin::CommandMessage;
using hostwin::Message;

const UINT WM_CLOSE_MESSAGE = 0x0010;
const UINT WM_PAINT_MESSAGE = 0x000F;

class RestartPromptTest : public HostwinTest {
protected:
    void SetUp() override {
        HostwinTest::SetUp();
        hostwin::AddDialogTemplate(hostwin::ProgramInstance(), IDD_RESTART);
    }
    std::vector<std::string> Restarts() { return hostwin::CallLogOf({"ExitWindowsEx"}); }
};

TEST_F(RestartPromptTest, EachWayOfEndingTheDialog) {
    struct Case {
        const char* name;
        std::vector<Message> script;
        INT_PTR result;
        bool restart;
    };
    const Case cases[] = {
        {"Restart Now", {CommandMessage(IDC_RESTART_NOW)}, 1000, true},
        {"Restart Now with a notification code in the high word", {CommandMessage(IDC_RESTART_NOW, 1)}, 1000, true},
        {"Restart Later", {CommandMessage(IDC_RESTART_LATER)}, 1001, false},
        {"Escape or the close box", {CommandMessage(IDCANCEL)}, 1001, false},
        {"other ids keep it open",
         {CommandMessage(IDOK), CommandMessage(0xFFFF), CommandMessage(0), CommandMessage(1002),
          Message{WM_COMMAND, MAKEWPARAM(5, IDC_RESTART_NOW), 0},  // the id is the low word alone
          CommandMessage(IDC_RESTART_LATER)},
         1001, false},
        {"other messages are left to the system", {Message{WM_CLOSE_MESSAGE, 0, 0}, Message{WM_PAINT_MESSAGE, 0, 0},
                                                   CommandMessage(IDC_RESTART_NOW)},
         1000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostwin::ClearCallLog();
        hostwin::SetDialogScript(c.script);
        ShowRestartPrompt(hostwin::ProgramInstance());

        std::vector<std::string> dialogs = hostwin::CallLogOf({"DialogBoxParamA"});
        ASSERT_EQ(dialogs.size(), 1u);
        EXPECT_EQ(dialogs[0], "DialogBoxParamA(0x400000, #101, NULL, dlgproc, 0) = " + std::to_string(c.result));
        EXPECT_EQ(hostwin::CallLogOf({"EndDialog"}),
                  std::vector<std::string>{"EndDialog(dialog, " + std::to_string(c.result) + ") = 1"});
        EXPECT_EQ(Restarts(), c.restart ? std::vector<std::string>{"ExitWindowsEx(0x2, 0x0) = 1"}
                                        : std::vector<std::string>{});
        // Every message reached the procedure; it claims WM_INITDIALOG and WM_COMMAND only.
        const auto& messages = hostwin::DialogMessages();
        ASSERT_EQ(messages.size(), c.script.size() + 1);
        for (const hostwin::DialogMessageResult& m : messages) {
            bool handled = m.message == WM_INITDIALOG || m.message == WM_COMMAND;
            EXPECT_EQ(m.result, handled ? TRUE : FALSE) << "message " << m.message;
        }
    }
}

TEST_F(RestartPromptTest, MissingTemplateGivesNoDialogAndNoRestart) {
    hostwin::Reset();  // no template in the program's resources
    hostwin::SetDialogScript({CommandMessage(IDC_RESTART_NOW)});
    ShowRestartPrompt(hostwin::ProgramInstance());
    EXPECT_EQ(hostwin::CallLog(), std::vector<std::string>{"DialogBoxParamA(0x400000, #101, NULL, dlgproc, 0) = -1"});
    EXPECT_TRUE(hostwin::DialogMessages().empty());
}

TEST_F(RestartPromptTest, FailedRestartRequestIsNotRetried) {
    hostwin::FailCall("ExitWindowsEx", "", ERROR_ACCESS_DENIED);
    hostwin::SetDialogScript({CommandMessage(IDC_RESTART_NOW)});
    ShowRestartPrompt(hostwin::ProgramInstance());
    EXPECT_EQ(Restarts(), std::vector<std::string>{"ExitWindowsEx(0x2, 0x0) = 0"});
}

TEST_F(RestartPromptTest, ProcedureIgnoresLParamAndHighWord) {
    HWND dialog = reinterpret_cast<HWND>(0x1234);
    // Outside DialogBoxParamA, EndDialog refuses the window; the procedure still claims the command.
    EXPECT_EQ(RestartDlgProc(dialog, WM_INITDIALOG, 0xDEAD, 0xBEEF), TRUE);
    EXPECT_EQ(RestartDlgProc(dialog, WM_COMMAND, MAKEWPARAM(IDC_RESTART_LATER, 0xFFFF), 0x5678), TRUE);
    EXPECT_EQ(hostwin::CallLogOf({"EndDialog"}), std::vector<std::string>{"EndDialog(other, 1001) = 0"});
    EXPECT_EQ(RestartDlgProc(dialog, 0x0200, IDC_RESTART_NOW, 0), FALSE);  // WM_MOUSEMOVE
}

}  // namespace
