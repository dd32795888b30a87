#include "app/CommandLine.h"

#include <shellapi.h>
#include <wctype.h>

#include "ids_main.h"

namespace {

const wchar_t MAIN_TITLE[] = L"Ombra Skype Recorder";
const wchar_t REMOTE_MESSAGE_NAME[] = L"Ombra_RemoteCommand";
// A recorder that is still starting has its mutex before its window.
const DWORD REMOTE_FIND_MS = 5000;
// Starting a recording opens its file and the encoder: well within this.
const UINT REMOTE_SEND_TIMEOUT_MS = 10000;
// Exit finishes a running recording before the process ends.
const DWORD REMOTE_EXIT_WAIT_MS = 60000;

struct SwitchName {
    const wchar_t* pszName;
    int nCommand;
};
const SwitchName REMOTE_SWITCHES[] = {
    {L"record", REMOTE_RECORD}, {L"stop", REMOTE_STOP}, {L"pause", REMOTE_PAUSE},
    {L"show", REMOTE_SHOW},     {L"exit", REMOTE_EXIT},
};

int CommandOfSwitch(const std::wstring& strArg) {
    if (strArg.size() < 2 || (strArg[0] != L'/' && strArg[0] != L'-')) return REMOTE_BAD;
    std::wstring strName = strArg.substr(1);
    for (wchar_t& c : strName) c = (wchar_t)towlower(c);
    for (const SwitchName& s : REMOTE_SWITCHES)
        if (strName == s.pszName) return s.nCommand;
    return REMOTE_BAD;
}

// Message boxes carry the same caption; the main window is the one with the record button.
HWND FindMainWindow() {
    for (HWND h = ::FindWindowExW(nullptr, nullptr, L"#32770", MAIN_TITLE); h;
         h = ::FindWindowExW(nullptr, h, L"#32770", MAIN_TITLE)) {
        if (::GetDlgItem(h, IDC_MAIN_RECORD)) return h;
    }
    return nullptr;
}

HWND WaitForMainWindow(DWORD dwMs) {
    const DWORD dwStart = ::GetTickCount();
    for (;;) {
        if (HWND h = FindMainWindow()) return h;
        if (::GetTickCount() - dwStart >= dwMs) return nullptr;
        ::Sleep(50);
    }
}

}  // namespace

int ParseRemoteCommand(const std::vector<std::wstring>& args, std::wstring& strBad) {
    int nCommand = REMOTE_NONE;
    for (const std::wstring& strArg : args) {
        int n = CommandOfSwitch(strArg);
        // One command per start: a second one would be carried out in no clear order.
        if (n == REMOTE_BAD || nCommand != REMOTE_NONE) {
            strBad = strArg;
            return REMOTE_BAD;
        }
        nCommand = n;
    }
    return nCommand;
}

int ParseProcessCommandLine(std::wstring& strBad) {
    int nArgs = 0;
    LPWSTR* ppArgs = ::CommandLineToArgvW(::GetCommandLineW(), &nArgs);
    if (!ppArgs) return REMOTE_NONE;
    std::vector<std::wstring> args;
    for (int i = 1; i < nArgs; ++i) args.emplace_back(ppArgs[i]);
    ::LocalFree(ppArgs);
    return ParseRemoteCommand(args, strBad);
}

std::wstring GetRemoteUsageText(const std::wstring& strBad) {
    // A second command is a known switch too: it is the number that is wrong there.
    const wchar_t* pszWhat = CommandOfSwitch(strBad) == REMOTE_BAD ? L"Unknown command line switch: "
                                                                    : L"One command at a time, not also ";
    return pszWhat + strBad +
           L"\n\nUsage: ombra.exe [/record | /stop | /pause | /show | /exit]\n\n"
           L"Given while the recorder runs:\n"
           L"/record\tstarts recording the current call\n"
           L"/stop\tstops the recording\n"
           L"/pause\tpauses or resumes the recording\n"
           L"/show\tbrings the main window up\n"
           L"/exit\tends the recorder\n\n"
           L"The exit code is 0 when the recorder took the command, 1 otherwise.";
}

UINT GetRemoteCommandMessage() {
    static const UINT s_uMessage = ::RegisterWindowMessageW(REMOTE_MESSAGE_NAME);
    return s_uMessage;
}

int ForwardRemoteCommand(int nCommand) {
    HWND hMain = WaitForMainWindow(REMOTE_FIND_MS);
    if (!hMain) return REMOTE_EXIT_NOT_TAKEN;
    DWORD dwPid = 0;
    ::GetWindowThreadProcessId(hMain, &dwPid);
    // Opened before the command: after /exit the process id could be anyone's.
    HANDLE hProcess = nCommand == REMOTE_EXIT ? ::OpenProcess(SYNCHRONIZE, FALSE, dwPid) : nullptr;
    // Windows lets only the foreground process hand the foreground on.
    if (nCommand == REMOTE_SHOW) ::AllowSetForegroundWindow(dwPid);
    DWORD_PTR nAnswer = 0;
    bool bSent = ::SendMessageTimeoutW(hMain, GetRemoteCommandMessage(), (WPARAM)nCommand, 0,
                                       SMTO_ABORTIFHUNG | SMTO_NORMAL, REMOTE_SEND_TIMEOUT_MS, &nAnswer) != 0;
    bool bTaken = bSent && nAnswer == (DWORD_PTR)REMOTE_TAKEN;
    if (hProcess) {
        if (bTaken) bTaken = ::WaitForSingleObject(hProcess, REMOTE_EXIT_WAIT_MS) == WAIT_OBJECT_0;
        ::CloseHandle(hProcess);
    }
    return bTaken ? REMOTE_EXIT_TAKEN : REMOTE_EXIT_NOT_TAKEN;
}

LRESULT RunRemoteCommand(int nCommand, IRemoteTarget& target) {
    switch (nCommand) {
    case REMOTE_RECORD:
        // As the button: disabled without a call; a running recording is /stop's.
        if (!target.IsRecordButtonEnabled() || target.IsRecordingActive()) return REMOTE_REFUSED;
        target.ClickRecord();
        return target.IsRecordingRunning() ? REMOTE_TAKEN : REMOTE_REFUSED;
    case REMOTE_STOP:
        if (!target.IsRecordingRunning()) return REMOTE_REFUSED;
        target.ClickRecord();
        return REMOTE_TAKEN;
    case REMOTE_PAUSE:
        if (!target.IsRecordingRunning()) return REMOTE_REFUSED;
        target.ClickPause();
        return REMOTE_TAKEN;
    case REMOTE_SHOW: target.ShowMainWindow(); return REMOTE_TAKEN;
    case REMOTE_EXIT: target.ExitProgram(); return REMOTE_TAKEN;
    default: return REMOTE_REFUSED;
    }
}
