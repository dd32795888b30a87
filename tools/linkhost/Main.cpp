// linkhost: runs the Skype link on its own and reports what it learns.
//
//   linkhost [--out FILE] [--timeout SECONDS]
//       Creates a notify window, starts the Skype client and waits for the
//       attach, the current user and the friends list with full names, prints
//       them and exits: 0 done, 1 time-out, 2 Skype refused the attach.
//   linkhost --copydata HWND TEXT
//       Sends TEXT (UTF-8 with its NUL) by WM_COPYDATA from a window of this
//       process to the window HWND (hexadecimal) and prints the answer, so a
//       test can talk to an API window from a process that is not Skype.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "base/StringUtil.h"
#include "skype/SkypeClient.h"

namespace {

struct HostState {
    FILE* pOut = stdout;
    bool bAttached = false;
    bool bUserKnown = false;
    bool bDone = false;
    int nExit = 1;
    CSkypeClient* pClient = nullptr;  // set once the notify window exists
};
HostState g_state;

void Report(const std::wstring& strLine) {
    std::string strUtf8 = WideToUtf8(strLine);
    fprintf(g_state.pOut, "%s\n", strUtf8.c_str());
    fflush(g_state.pOut);
}

void ReportFriends() {
    CContactList* pContacts = g_state.pClient->GetContacts();
    int nCount = pContacts->GetCount();
    Report(FormatW(L"friends: %d", nCount));
    for (int i = 0; i < nCount; ++i) {
        CContactInfo info = pContacts->At(i);
        Report(L"friend: " + info.m_strHandle + L" (" + info.m_strFullName + L")");
    }
}

LRESULT CALLBACK NotifyWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    CSkypeClient* pClient = g_state.pClient;
    if (!pClient) return ::DefWindowProcW(hwnd, uMsg, wParam, lParam);
    switch (uMsg) {
        case WM_SKYPE_ATTACHED:
            g_state.bAttached = true;
            Report(L"attached");
            return 0;
        case WM_SKYPE_REFUSED:
            Report(L"refused");
            g_state.nExit = 2;
            g_state.bDone = true;
            return 0;
        case WM_SKYPE_CURRENT_USER:
            // Skype tells it unasked after the attach and again as our answer.
            if (!g_state.bUserKnown) Report(L"current user: " + pClient->GetCurrentUserHandle());
            g_state.bUserKnown = true;
            return 0;
        case WM_SKYPE_CONTACTS_CHANGED:
            // The full names have settled: one second after the last of them.
            if (g_state.bAttached && g_state.bUserKnown) {
                ReportFriends();
                g_state.nExit = 0;
                g_state.bDone = true;
            }
            return 0;
        default:
            return ::DefWindowProcW(hwnd, uMsg, wParam, lParam);
    }
}

int RunHost(DWORD dwTimeoutMs) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = NotifyWndProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OmbraLinkHostNotify";
    if (!::RegisterClassW(&wc)) return 3;
    HWND hwndNotify = ::CreateWindowExW(0, wc.lpszClassName, L"linkhost", 0, 0, 0, 0, 0, nullptr,
                                        nullptr, wc.hInstance, nullptr);
    if (!hwndNotify) return 3;
    CSkypeClient* pClient = CSkypeClient::GetInstance(hwndNotify);
    g_state.pClient = pClient;
    if (!pClient->IsStarted()) {
        Report(L"start failed");
        return 3;
    }
    DWORD dwStart = ::GetTickCount();
    while (!g_state.bDone) {
        DWORD dwElapsed = ::GetTickCount() - dwStart;
        if (dwElapsed >= dwTimeoutMs) {
            Report(L"timeout");
            break;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, dwTimeoutMs - dwElapsed, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    CSkypeClient::DestroyInstance();
    g_state.pClient = nullptr;
    ::DestroyWindow(hwndNotify);
    return g_state.nExit;
}

int SendCopyData(const wchar_t* pszWindow, const wchar_t* pszText) {
    HWND hwndTo = reinterpret_cast<HWND>((INT_PTR)wcstoull(pszWindow, nullptr, 16));
    HWND hwndFrom = ::CreateWindowExW(0, L"STATIC", L"linkhost", 0, 0, 0, 0, 0, nullptr, nullptr,
                                      ::GetModuleHandleW(nullptr), nullptr);
    std::string strUtf8 = WideToUtf8(pszText);
    COPYDATASTRUCT cds{};
    cds.cbData = (DWORD)strUtf8.size() + 1;
    cds.lpData = strUtf8.data();
    DWORD_PTR dwResult = 0;
    LRESULT lSent = ::SendMessageTimeoutW(hwndTo, WM_COPYDATA, (WPARAM)hwndFrom, (LPARAM)&cds,
                                          SMTO_NORMAL, 5000, &dwResult);
    fprintf(g_state.pOut, "copydata: sent=%d result=%d\n", lSent ? 1 : 0, (int)dwResult);
    fflush(g_state.pOut);
    if (hwndFrom) ::DestroyWindow(hwndFrom);
    return lSent ? 0 : 1;
}

void Usage() {
    fprintf(stderr,
            "usage: linkhost [--out FILE] [--timeout SECONDS]\n"
            "       linkhost [--out FILE] --copydata HWND TEXT\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD dwTimeoutMs = 10000;
    const wchar_t* pszCopyTo = nullptr;
    const wchar_t* pszCopyText = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::wstring strArg = argv[i];
        if (strArg == L"--out" && i + 1 < argc) {
            FILE* pFile = _wfopen(argv[++i], L"wb");  // plain \n lines for the Linux side
            if (!pFile) {
                fprintf(stderr, "linkhost: cannot write %ls\n", argv[i]);
                return 4;
            }
            g_state.pOut = pFile;
        } else if (strArg == L"--timeout" && i + 1 < argc) {
            double dSeconds = _wtof(argv[++i]);
            if (dSeconds <= 0 || dSeconds > 3600) {
                Usage();
                return 4;
            }
            dwTimeoutMs = (DWORD)(dSeconds * 1000);
        } else if (strArg == L"--copydata" && i + 2 < argc) {
            pszCopyTo = argv[++i];
            pszCopyText = argv[++i];
        } else {
            Usage();
            return 4;
        }
    }
    int nExit = pszCopyTo ? SendCopyData(pszCopyTo, pszCopyText) : RunHost(dwTimeoutMs);
    if (g_state.pOut != stdout) fclose(g_state.pOut);
    return nExit;
}
