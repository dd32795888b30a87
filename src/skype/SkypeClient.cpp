#include "skype/SkypeClient.h"

#include <process.h>
#include <rpc.h>

#include <climits>

#include "base/Log.h"
#include "skype/SkypeText.h"

namespace {
CSkypeClient* s_pInstance = nullptr;
}

CSkypeClient* CSkypeClient::GetInstance(HWND hwndNotify) {
    if (!s_pInstance) s_pInstance = new CSkypeClient();
    s_pInstance->Start(hwndNotify);
    return s_pInstance;
}

void CSkypeClient::DestroyInstance() {
    if (!s_pInstance) return;
    s_pInstance->Stop();
    delete s_pInstance;
    s_pInstance = nullptr;
}

CSkypeClient::CSkypeClient(ISkypeHost* pHost) {
    if (!pHost) {
        m_pOwnedHost = std::make_unique<CWin32SkypeHost>();
        pHost = m_pOwnedHost.get();
    }
    m_pHost = pHost;
    m_uAttachMsg = ::RegisterWindowMessageW(L"SkypeControlAPIAttach");
    m_uDiscoverMsg = ::RegisterWindowMessageW(L"SkypeControlAPIDiscover");
    m_hQueueReady = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_pQueue = CCommandQueue::GetInstance();
    m_pCallList = CCallList::GetInstance();
    m_pCallList->SetQueue(m_pQueue);
    ISkypeHost* pClockHost = m_pHost;
    m_pCallList->SetClock([pClockHost] { return pClockHost->Now(); });
    m_pContacts = CContactList::GetInstance();
    m_pPartnerMap = CCallPartnerMap::GetInstance();
    m_sendBuffer.resize(SEND_BUFFER_BYTES);
}

CSkypeClient::~CSkypeClient() {
    Stop();
    if (m_nKeepAliveTimer) m_pHost->StopTimer(m_nKeepAliveTimer);
    if (m_nContactsTimer) m_pHost->StopTimer(m_nContactsTimer);
    m_nKeepAliveTimer = m_nContactsTimer = 0;
    StopRediscovery();
    CCommandQueue::DestroyInstance();
    CContactList::DestroyInstance();
    CCallList::DestroyInstance();
    CCallPartnerMap::DestroyInstance();
    if (m_hQueueReady) ::CloseHandle(m_hQueueReady);
}

bool CSkypeClient::Start(HWND hwndNotify) {
    if (m_bStarted) return true;
    if (!m_uAttachMsg || !m_uDiscoverMsg) return false;

    UUID uuid{};
    RPC_STATUS status = ::UuidCreate(&uuid);
    m_hProcess = ::OpenProcess(PROCESS_DUP_HANDLE, FALSE, ::GetCurrentProcessId());
    RPC_WSTR pszUuid = nullptr;
    bool bOk = m_hProcess && (status == RPC_S_OK || status == RPC_S_UUID_LOCAL_ONLY) &&
               ::UuidToStringW(&uuid, &pszUuid) == RPC_S_OK && pszUuid;
    if (bOk) {
        std::wstring strClass = L"ISkypeWnd";
        strClass += reinterpret_cast<const wchar_t*>(pszUuid);
        wcsncpy_s(m_szClassName, strClass.c_str(), _TRUNCATE);
    }
    if (pszUuid) ::RpcStringFreeW(&pszUuid);
    HINSTANCE hInstance = reinterpret_cast<HINSTANCE>(m_hProcess);
    if (bOk) {
        WNDCLASSW wc{};
        wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
        wc.lpfnWndProc = ApiWndProc;
        wc.hInstance = hInstance;
        wc.lpszClassName = m_szClassName;
        bOk = ::RegisterClassW(&wc) != 0;
    }
    if (!bOk) {
        if (m_hProcess) ::CloseHandle(m_hProcess);
        m_hProcess = nullptr;
        return false;
    }

    HWND hwnd = ::CreateWindowExW(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE, m_szClassName, L"ISkypeUIWnd",
                                  WS_BORDER | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 128, 128, nullptr, nullptr, hInstance, this);
    if (!hwnd) {
        ::UnregisterClassW(m_szClassName, hInstance);
        ::CloseHandle(m_hProcess);
        m_hProcess = nullptr;
        return false;
    }
    m_hwndApi = hwnd;

    m_bStarted = true;
    m_hwndNotify = hwndNotify;
    m_hSenderThread =
        reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, SenderThreadProc, this, 0, nullptr));
    m_bRediscovering = false;
    BroadcastDiscover();
    // Skype may not be running yet, or may start without announcing itself.
    StartRediscovery();
    return true;
}

void CSkypeClient::BroadcastDiscover() {
    m_pHost->Broadcast(m_uDiscoverMsg, (WPARAM)m_hwndApi.load(), 0);
}

void CSkypeClient::StartRediscovery() {
    if (m_bRefused || m_nRediscoverTimer) return;
    m_nRediscoverTimer = m_pHost->StartTimer(this, REDISCOVER_PERIOD_MS);
}

void CSkypeClient::StopRediscovery() {
    if (m_nRediscoverTimer) m_pHost->StopTimer(m_nRediscoverTimer);
    m_nRediscoverTimer = 0;
}

LRESULT CALLBACK CSkypeClient::ApiWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_NCCREATE) {
        auto* pcs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, (LONG_PTR)pcs->lpCreateParams);
    }
    auto* pThis = reinterpret_cast<CSkypeClient*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!pThis) return ::DefWindowProcW(hwnd, uMsg, wParam, lParam);
    if (uMsg == WM_DESTROY) {
        pThis->m_hwndApi = nullptr;
        ::PostQuitMessage(0);
        return 0;
    }
    if (uMsg == WM_COPYDATA) {
        return pThis->OnCopyData((HWND)wParam, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    }
    if (uMsg == pThis->m_uAttachMsg) return pThis->OnAttachMessage((HWND)wParam, lParam);
    return ::DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

LRESULT CSkypeClient::OnCopyData(HWND hwndSender, const COPYDATASTRUCT* pcds) {
    // Only Skype's own window may talk to us, and only once it has attached.
    HWND hwndSkype = m_hwndSkype;
    if (!hwndSkype || hwndSender != hwndSkype) return 0;
    std::wstring strText;
    if (pcds && pcds->lpData && pcds->cbData > 0 && pcds->cbData <= (DWORD)INT_MAX) {
        const char* pData = static_cast<const char*>(pcds->lpData);
        int cbData = (int)pcds->cbData;
        int cch = ::MultiByteToWideChar(CP_UTF8, 0, pData, cbData, nullptr, 0);
        if (cch > 0) {
            strText.resize((size_t)cch);
            cch = ::MultiByteToWideChar(CP_UTF8, 0, pData, cbData, strText.data(), cch);
            strText.resize(cch > 0 ? (size_t)cch : 0);
            size_t nNul = strText.find(L'\0');
            if (nNul != std::wstring::npos) strText.resize(nNul);
        }
    }
    if (ToLowerW(strText) == L"pong") {
        m_bPongSeen = true;
    } else if (!strText.empty()) {
        ParseNotification(strText);
    }
    return 1;
}

LRESULT CSkypeClient::OnAttachMessage(HWND hwndSkype, LPARAM lStatus) {
    switch (lStatus) {
        case ATTACH_SUCCESS:
            m_hwndSkype = hwndSkype;
            m_bRefused = false;
            StopRediscovery();
            // A keep-alive re-discovery answered while still attached: the link
            // never went away. After a refusal or a log-out only OnAttached
            // turns the queue and the sending back on.
            if (!m_bRediscovering || !m_bAttached) OnAttached();
            m_bRediscovering = false;
            m_bPongSeen = true;
            if (m_nKeepAliveTimer) m_pHost->StopTimer(m_nKeepAliveTimer);
            m_nKeepAliveTimer = m_pHost->StartTimer(this, KEEPALIVE_PERIOD_MS);
            break;
        case ATTACH_REFUSED:
            m_bRefused = true;
            LogLine(L"Skype refused access");
            StopRediscovery();
            Detach();
            PostEvent(WM_SKYPE_REFUSED, 0, 0);
            break;
        case ATTACH_API_AVAILABLE:
            if (!m_bAttached) {
                m_bRediscovering = false;
                if (m_bStarted) BroadcastDiscover();
            }
            break;
        default:
            break;
    }
    return 1;
}

void CSkypeClient::OnAttached() {
    LogLine(L"Skype attached (API window %p)", static_cast<void*>(m_hwndSkype));
    m_nMissedPongs = 0;
    ::SetEvent(m_hQueueReady);
    m_pQueue->Enable();
    m_bAttached = true;
    QueueCommand(L"get currentuserhandle");
    QueueCommand(L"get connstatus");
    QueueCommand(L"get userstatus");
    m_bFriendsRequested = true;
    QueueCommand(L"search friends");
    PostEvent(WM_SKYPE_ATTACHED, 0, 0);
}

void CSkypeClient::Detach() {
    ::ResetEvent(m_hQueueReady);
    m_pQueue->Disable();
    m_bAttached = false;
}

void CSkypeClient::OnTimer(UINT_PTR uId) {
    if (uId != 0 && uId == m_nKeepAliveTimer) {
        if (m_bPongSeen) {
            m_bPongSeen = false;
            QueueCommand(L"ping");
            m_nMissedPongs = 0;
        } else if (m_nMissedPongs >= MAX_MISSED_PONGS) {
            m_nMissedPongs = 0;
            m_pHost->StopTimer(m_nKeepAliveTimer);
            m_nKeepAliveTimer = 0;
            LogLine(L"Skype detached: no answer to %d keep-alive pings, searching again", MAX_MISSED_PONGS);
            Detach();
            m_bRediscovering = false;
            StartRediscovery();
        } else {
            m_bRediscovering = true;
            if (m_bStarted) BroadcastDiscover();
            ++m_nMissedPongs;
        }
    } else if (uId != 0 && uId == m_nRediscoverTimer) {
        if (!m_bAttached && m_bStarted) BroadcastDiscover();
    } else if (uId != 0 && uId == m_nContactsTimer) {
        m_pHost->StopTimer(m_nContactsTimer);
        m_nContactsTimer = 0;
        PostEvent(WM_SKYPE_CONTACTS_CHANGED, 0, 0);
    }
}

void CSkypeClient::PostEvent(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (m_hwndNotify) m_pHost->PostEvent(m_hwndNotify, uMsg, wParam, lParam);
}

bool CSkypeClient::QueueCommand(const std::wstring& strCommand) {
    return m_pQueue->QueueCommand(strCommand);
}

LRESULT CSkypeClient::SendToSkype(const std::wstring& strCommand) {
    if (!m_bAttached) return 0;
    // The UTF-8 form with its NUL; a command longer than the buffer grows it
    // rather than being cut, since a cut command would do something else.
    int cb =
        ::WideCharToMultiByte(CP_UTF8, 0, strCommand.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (cb <= 1) return 0;
    if ((size_t)cb > m_sendBuffer.size()) m_sendBuffer.resize((size_t)cb);
    cb = ::WideCharToMultiByte(CP_UTF8, 0, strCommand.c_str(), -1, m_sendBuffer.data(),
                               (int)m_sendBuffer.size(), nullptr, nullptr);
    if (cb <= 1) return 0;
    HWND hwndSkype = m_hwndSkype;
    if (!hwndSkype) return 0;
    return m_pHost->SendCopyData(hwndSkype, m_hwndApi, m_sendBuffer.data(), (DWORD)cb);
}

unsigned __stdcall CSkypeClient::SenderThreadProc(void* pArg) {
    static_cast<CSkypeClient*>(pArg)->SenderThread();
    ::_endthreadex(0);
    return 0;
}

void CSkypeClient::SenderThread() {
    // Released by the first attach, or by Stop.
    ::WaitForSingleObject(m_hQueueReady, INFINITE);
    while (!m_bStop) {
        std::wstring strCommand;
        if (!m_pQueue->Pop(&strCommand)) {
            m_pHost->Sleep(500);
            continue;
        }
        if (m_bStop) {
            m_pHost->Sleep(500);
            break;
        }
        LRESULT r = SendToSkype(strCommand);
        for (int nRetry = 0; r == 0 && !m_bStop && nRetry < SEND_RETRIES; ++nRetry) {
            m_pHost->Sleep(50);
            r = SendToSkype(strCommand);
        }
        m_pHost->Sleep(10);
    }
}

void CSkypeClient::WaitForSender() {
    // Keep answering messages sent to this thread while waiting: Skype may be
    // sending us a notification while it handles our last command, and a
    // plain wait would leave both sides blocked for ever. The wait itself is
    // short: a send gives up after SEND_TIMEOUT_MS, and m_bStop ends the retries.
    for (;;) {
        DWORD dw =
            ::MsgWaitForMultipleObjects(1, &m_hSenderThread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (dw != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void CSkypeClient::Stop() {
    m_bStop = true;
    m_pQueue->Clear();
    StopRediscovery();
    if (!m_bStarted) return;
    HINSTANCE hInstance = reinterpret_cast<HINSTANCE>(m_hProcess);
    if (m_hwndApi) ::DestroyWindow(m_hwndApi);
    ::UnregisterClassW(m_szClassName, hInstance);
    ::CloseHandle(m_hProcess);
    m_hProcess = nullptr;
    m_bStarted = false;
    ::SetEvent(m_hQueueReady);
    if (m_hSenderThread) {
        WaitForSender();
        ::CloseHandle(m_hSenderThread);
        m_hSenderThread = nullptr;
    }
}

void CSkypeClient::ResetCallInfo() {
    m_pCallList->Reset();
    m_strRoutedCall.clear();
    m_strConfParticipant0.clear();
    m_strConfParticipant1.clear();
    m_strDuration = L"0";
    m_bIncomingCall = false;
}
