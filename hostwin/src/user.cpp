// hostwin: dialog and restart stand-ins. DialogBoxParamA runs the dialog procedure with
// WM_INITDIALOG and then a scripted list of messages until the procedure calls EndDialog.
#include "state.h"

using namespace hostwin::detail;

namespace {
HWND const kDialogWindow = reinterpret_cast<HWND>(0xD1A0);
}

extern "C" {

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam) {
    std::string templateName = IS_INTRESOURCE(lpTemplateName)
                                   ? "#" + std::to_string(reinterpret_cast<uintptr_t>(lpTemplateName))
                                   : Quote(lpTemplateName);
    std::string call = "DialogBoxParamA(" + Hex(reinterpret_cast<uintptr_t>(hInstance)) + ", " + templateName + ", " +
                       (hWndParent ? "parent" : "NULL") + ", " + (lpDialogFunc ? "dlgproc" : "NULL") + ", " +
                       std::to_string(dwInitParam) + ")";
    M().dialogMessages.clear();
    bool known = IS_INTRESOURCE(lpTemplateName) &&
                 M().templates.count({hInstance, static_cast<int>(reinterpret_cast<uintptr_t>(lpTemplateName))});
    if (uint32_t fault = InjectedFault("DialogBoxParamA", "")) {
        SetLastError(fault);
        known = false;
    } else if (!known) {
        SetLastError(1814);  // ERROR_RESOURCE_NAME_NOT_FOUND
    }
    if (!known || !lpDialogFunc) {
        Log(call + " = -1");
        return -1;
    }
    size_t logLine = M().log.size();
    Log(call);
    M().activeDialog = kDialogWindow;
    M().dialogEnded = false;
    auto send = [&](UINT message, WPARAM wParam, LPARAM lParam) {
        INT_PTR result = lpDialogFunc(kDialogWindow, message, wParam, lParam);
        M().dialogMessages.push_back(hostwin::DialogMessageResult{message, wParam, result});
    };
    send(WM_INITDIALOG, 0, dwInitParam);
    for (size_t i = 0; i < M().dialogScript.size() && !M().dialogEnded; ++i)
        send(M().dialogScript[i].message, M().dialogScript[i].wParam, M().dialogScript[i].lParam);
    M().activeDialog = nullptr;
    if (!M().dialogEnded) {
        M().log[logLine] += " = 0 (script ran out with the dialog still open)";
        return 0;
    }
    M().log[logLine] += " = " + std::to_string(M().dialogResult);
    return M().dialogResult;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    std::string call = "EndDialog(" + std::string(hDlg == kDialogWindow ? "dialog" : "other") + ", " +
                       std::to_string(nResult) + ")";
    if (hDlg != M().activeDialog || hDlg == nullptr) {
        Log(call + " = 0");
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    M().dialogEnded = true;
    M().dialogResult = nResult;
    Log(call + " = 1");
    return TRUE;
}

BOOL WINAPI ExitWindowsEx(UINT uFlags, DWORD dwReason) {
    std::string call = "ExitWindowsEx(" + Hex(uFlags) + ", " + Hex(dwReason) + ")";
    if (uint32_t fault = InjectedFault("ExitWindowsEx", "")) {
        SetLastError(fault);
        Log(call + " = 0");
        return FALSE;
    }
    Log(call + " = 1");
    return TRUE;
}

}  // extern "C"

namespace hostwin {

void AddDialogTemplate(HINSTANCE instance, int id) { M().templates.insert({instance, id}); }
void SetDialogScript(const std::vector<Message>& messages) { M().dialogScript = messages; }
const std::vector<DialogMessageResult>& DialogMessages() { return M().dialogMessages; }
Message CommandMessage(WORD id, WORD notifyCode) { return Message{WM_COMMAND, MAKEWPARAM(id, notifyCode), 0}; }

}  // namespace hostwin
