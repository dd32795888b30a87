#include "app/HelloWorldApp.h"

#include <winsock2.h>
#include <commctrl.h>
#include <objbase.h>

#include <shlwapi.h>

#include "app/AppFolders.h"
#include "app/CommandLine.h"
#include "app/CrashDump.h"
#include "app/HelloWorldDlg.h"
#include "base/Log.h"
#include "base/Notifier.h"
#include "base/Window.h"
#include "resource.h"
#include "version.h"

#define OMBRA_WIDEN2(x) L##x
#define OMBRA_WIDEN(x) OMBRA_WIDEN2(x)

namespace {

// The log and the crash handler come first, so that whatever follows is on record.
void StartDiagnostics() {
    std::wstring strFolder = GetLogFolder();
    if (strFolder.empty()) return;
    if (!::PathFileExistsW(strFolder.c_str()) && !::CreateDirectoryW(strFolder.c_str(), nullptr))
        CreateFolderTree(strFolder);
    LogOpen(strFolder);
    LogLine(L"start: Ombra Skype Recorder %s, process %lu", OMBRA_WIDEN(OMBRA_VERSION_TEXT), ::GetCurrentProcessId());
    NoteCrashDumps(strFolder);
    if (!InstallCrashHandler(strFolder)) LogLine(L"crash dumps off: the system has no dump writer (dbghelp.dll)");
}

// Exit posts WM_QUIT, which the dialog's loop posts again as it ends; Enter and
// Escape end the dialog with their own result.
const wchar_t* DialogEndReason(INT_PTR nResult) {
    MSG msg;
    if (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) return L"Exit command";
    return nResult == IDOK ? L"Enter in the main window" : L"Escape or close in the main window";
}
}  // namespace

bool CHelloWorldApp::InitInstance() {
    StartDiagnostics();
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), 0xFF};
    ::InitCommonControlsEx(&icc);
    RegisterFrameworkClasses();

    std::wstring strBad;
    const int nCommand = ParseProcessCommandLine(strBad);
    if (nCommand == REMOTE_BAD) {
        NotifyMessageBox(nullptr, GetRemoteUsageText(strBad), L"Ombra Skype Recorder", MB_OK | MB_ICONWARNING);
        m_nExitCode = REMOTE_EXIT_NOT_TAKEN;
        m_pszExitReason = L"an unknown switch";
        return false;
    }

    WSADATA wsa{};
    if (::WSAStartup(MAKEWORD(1, 1), &wsa) != 0) {
        wchar_t szText[128] = {};
        ::LoadStringW(::GetModuleHandleW(nullptr), IDS_WINSOCK_INIT_FAILED, szText, 128);
        // Like every box of the program it carries the program's name as caption.
        NotifyMessageBox(nullptr, szText[0] ? szText : L"Windows sockets initialization failed.",
                         L"Ombra Skype Recorder", MB_OK);
        m_pszExitReason = L"Windows sockets failed";
        return false;
    }
    m_bWinsock = true;

    m_hMutex = ::CreateMutexW(nullptr, FALSE, APP_MUTEX_NAME);
    // Another instance runs: end quietly and leave it alone, or hand it the command.
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        m_pszExitReason = L"another instance runs";
        if (nCommand != REMOTE_NONE) m_nExitCode = ForwardRemoteCommand(nCommand);
        return false;
    }
    // A command with no recorder to take it starts none.
    if (nCommand != REMOTE_NONE) {
        m_nExitCode = REMOTE_EXIT_NOT_TAKEN;
        m_pszExitReason = L"a command with no recorder to take it";
        return false;
    }

    m_bCom = SUCCEEDED(::CoInitialize(nullptr));
    {
        CHelloWorldDlg dlg;
        m_pszExitReason = DialogEndReason(dlg.DoModal(nullptr));
    }
    return false;
}

int CHelloWorldApp::ExitInstance() {
    if (m_hMutex) {
        ::CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
    if (m_bCom) ::CoUninitialize();
    if (m_bWinsock) ::WSACleanup();
    LogLine(L"exit: %s", m_pszExitReason);
    LogClose();
    return m_nExitCode;
}
