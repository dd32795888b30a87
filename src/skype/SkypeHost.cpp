#include "skype/SkypeHost.h"

#include <ctime>

#include "skype/SkypeClient.h"

std::map<UINT_PTR, CSkypeClient*> CWin32SkypeHost::s_timers;

CWin32SkypeHost::~CWin32SkypeHost() = default;

void CWin32SkypeHost::PostEvent(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    ::PostMessageW(hwnd, uMsg, wParam, lParam);
}

UINT_PTR CWin32SkypeHost::StartTimer(CSkypeClient* pClient, UINT uElapse) {
    UINT_PTR uId = ::SetTimer(nullptr, 0, uElapse, TimerProc);
    if (uId) s_timers[uId] = pClient;
    return uId;
}

void CWin32SkypeHost::StopTimer(UINT_PTR uId) {
    ::KillTimer(nullptr, uId);
    s_timers.erase(uId);
}

void CALLBACK CWin32SkypeHost::TimerProc(HWND, UINT, UINT_PTR uId, DWORD) {
    auto it = s_timers.find(uId);
    if (it != s_timers.end()) it->second->OnTimer(uId);
}

void CWin32SkypeHost::Broadcast(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    // Does not wait for the receivers.
    ::SendNotifyMessageW(HWND_BROADCAST, uMsg, wParam, lParam);
}

LRESULT CWin32SkypeHost::SendCopyData(HWND hwndTo, HWND hwndFrom, const void* pData, DWORD cbData) {
    COPYDATASTRUCT cds{};
    cds.dwData = 0;
    cds.cbData = cbData;
    cds.lpData = const_cast<void*>(pData);
    // Waits until Skype's window procedure has handled the text, but never
    // longer than a few seconds: a hung Skype must not hold the sender (and
    // with it the program's exit) for ever. A time-out is a failed send.
    DWORD_PTR dwResult = 0;
    if (!::SendMessageTimeoutW(hwndTo, WM_COPYDATA, (WPARAM)hwndFrom, (LPARAM)&cds,
                               SMTO_NORMAL | SMTO_ABORTIFHUNG, CSkypeClient::SEND_TIMEOUT_MS,
                               &dwResult))
        return 0;
    return (LRESULT)dwResult;
}

void CWin32SkypeHost::Sleep(DWORD dwMilliseconds) { ::Sleep(dwMilliseconds); }

int64_t CWin32SkypeHost::Now() { return (int64_t)_time64(nullptr); }
