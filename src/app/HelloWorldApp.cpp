#include "app/HelloWorldApp.h"

#include <winsock2.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/CommandLine.h"
#include "app/HelloWorldDlg.h"
#include "base/Notifier.h"
#include "base/Window.h"
#include "resource.h"

bool CHelloWorldApp::InitInstance() {
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), 0xFF};
    ::InitCommonControlsEx(&icc);
    RegisterFrameworkClasses();

    std::wstring strBad;
    const int nCommand = ParseProcessCommandLine(strBad);
    if (nCommand == REMOTE_BAD) {
        NotifyMessageBox(nullptr, GetRemoteUsageText(strBad), L"Ombra Skype Recorder", MB_OK | MB_ICONWARNING);
        m_nExitCode = REMOTE_EXIT_NOT_TAKEN;
        return false;
    }

    WSADATA wsa{};
    if (::WSAStartup(MAKEWORD(1, 1), &wsa) != 0) {
        wchar_t szText[128] = {};
        ::LoadStringW(::GetModuleHandleW(nullptr), IDS_WINSOCK_INIT_FAILED, szText, 128);
        // Like every box of the program it carries the program's name as caption.
        NotifyMessageBox(nullptr, szText[0] ? szText : L"Windows sockets initialization failed.",
                         L"Ombra Skype Recorder", MB_OK);
        return false;
    }
    m_bWinsock = true;

    m_hMutex = ::CreateMutexW(nullptr, FALSE, APP_MUTEX_NAME);
    // Another instance runs: end quietly and leave it alone, or hand it the command.
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        if (nCommand != REMOTE_NONE) m_nExitCode = ForwardRemoteCommand(nCommand);
        return false;
    }
    // A command with no recorder to take it starts none.
    if (nCommand != REMOTE_NONE) {
        m_nExitCode = REMOTE_EXIT_NOT_TAKEN;
        return false;
    }

    m_bCom = SUCCEEDED(::CoInitialize(nullptr));
    {
        CHelloWorldDlg dlg;
        dlg.DoModal(nullptr);
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
    return m_nExitCode;
}
