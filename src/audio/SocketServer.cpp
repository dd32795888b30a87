#include "audio/SocketServer.h"

#include <ws2tcpip.h>

namespace {

// Gives a socket its own event for all ten network events; on failure closes the socket.
int SelectAllEvents(SOCKET hSocket, WSAEVENT& hEvent) {
    hEvent = ::WSACreateEvent();
    if (hEvent == WSA_INVALID_EVENT) {
        int nError = ::WSAGetLastError();
        ::closesocket(hSocket);
        return nError;
    }
    if (::WSAEventSelect(hSocket, hEvent, FD_ALL_EVENTS) == SOCKET_ERROR) {
        int nError = ::WSAGetLastError();
        ::closesocket(hSocket);
        ::WSACloseEvent(hEvent);
        hEvent = WSA_INVALID_EVENT;
        return nError;
    }
    return 0;
}

}  // namespace

CSocketServer::CSocketServer() { ::InitializeCriticalSection(&m_lock); }

CSocketServer::~CSocketServer() {
    if (m_bWsaStarted) {
        CloseAll();
        ::WSACleanup();
        m_bWsaStarted = false;
    }
    if (m_hGate) ::CloseHandle(m_hGate);
    if (m_hWake) ::CloseHandle(m_hWake);
    CloseEntries();
    ::DeleteCriticalSection(&m_lock);
}

int CSocketServer::CreateSyncObjects() {
    if (!m_hWake) m_hWake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_hGate) m_hGate = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (!m_hWake || !m_hGate) return static_cast<int>(::GetLastError());
    return 0;
}

int CSocketServer::Listen(u_long nAddress, u_short nPort) {
    if (!m_bWsaStarted) {
        WSADATA data;
        int nResult = ::WSAStartup(MAKEWORD(2, 0), &data);
        m_bWsaStarted = nResult == 0;
        if (nResult != 0) return nResult;
    }
    if (m_nCount != 0) return WSAEISCONN;
    // Made here, before any service thread runs: made on first use, by the service
    // thread and a closing thread at once, each could keep an event of its own, and
    // the service thread would sleep through the stop that waits for it.
    int nSync = CreateSyncObjects();
    if (nSync != 0) return nSync;
    m_bListenerFailed = false;
    m_bInPass = m_bFlowing = m_bPaused = m_bSleepFirst = m_bEventsReset = false;
    m_nAddress = nAddress;
    m_nPort = nPort;

    SOCKET hSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (hSocket == INVALID_SOCKET) return ::WSAGetLastError();
    WSAEVENT hEvent = WSA_INVALID_EVENT;
    int nError = SelectAllEvents(hSocket, hEvent);
    if (nError != 0) return nError;
    Append(hSocket, hEvent);
    nError = BindAndListen(hSocket);
    if (nError != 0) CloseEntries();
    return nError;
}

int CSocketServer::BindAndListen(SOCKET hSocket) {
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = ::htons(m_nPort);
    addr.sin_addr.s_addr = m_nAddress;
    if (::bind(hSocket, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == SOCKET_ERROR ||
        ::listen(hSocket, SOCKSRV_LISTEN_BACKLOG) == SOCKET_ERROR)
        return ::WSAGetLastError();
    return 0;
}

int CSocketServer::ReopenListener() {
    ::EnterCriticalSection(&m_lock);
    int nError = 0;
    if (m_nCount == 0) {
        nError = WSAENOTCONN;
    } else if (m_bListenerFailed) {
        // The new socket takes the failed one's place and event: the connections stay as they are.
        SOCKET hSocket = ::socket(AF_INET, SOCK_STREAM, 0);
        if (hSocket == INVALID_SOCKET) {
            nError = ::WSAGetLastError();
        } else if (::WSAEventSelect(hSocket, m_events[1], FD_ALL_EVENTS) == SOCKET_ERROR) {
            nError = ::WSAGetLastError();
            ::closesocket(hSocket);
        } else if ((nError = BindAndListen(hSocket)) != 0) {
            ::closesocket(hSocket);
        } else {
            m_entries[0].hSocket = hSocket;
            m_nListenerPollMs = 0;
            m_bListenerFailed = false;
        }
        if (nError != 0) ::WSAResetEvent(m_events[1]);  // silent again until the next try
    }
    ::LeaveCriticalSection(&m_lock);
    return nError;
}

int CSocketServer::Append(SOCKET hSocket, WSAEVENT hEvent) {
    int n = m_nCount;
    m_entries[n].hSocket = hSocket;
    m_entries[n].nId = m_nNextId++;
    m_entries[n].nLastDataMs = ::GetTickCount64();
    m_entries[n].bInPass = false;
    m_entries[n].nPassReads = 0;
    m_entries[n].nPassBytes = 0;
    m_events[n + 1] = hEvent;
    m_nCount = n + 1;
    return n;
}

void CSocketServer::CloseEntry(int nEntry) {
    int n = m_nCount;
    if (nEntry < 0 || nEntry >= n) return;
    ::shutdown(m_entries[nEntry].hSocket, SD_BOTH);
    ::closesocket(m_entries[nEntry].hSocket);
    ::WSACloseEvent(m_events[nEntry + 1]);
    for (int i = nEntry; i + 1 < n; ++i) {
        m_entries[i] = m_entries[i + 1];
        m_events[i + 1] = m_events[i + 2];
    }
    m_entries[n - 1].hSocket = INVALID_SOCKET;
    m_events[n] = nullptr;
    m_nCount = n - 1;
    // The entry that followed the closed one moved down: it is the next one read.
    if (m_nLastSlot > nEntry) --m_nLastSlot;
}

void CSocketServer::CloseEntries() {
    while (m_nCount > 0) CloseEntry(m_nCount - 1);
}

int CSocketServer::ListenerError(int nError) {
    // Closed at once, so that its event cannot call the service back again and again;
    // the event stays in its slot, silent, until the listener is opened anew.
    if (!m_bListenerFailed && m_nCount > 0) {
        ::closesocket(m_entries[0].hSocket);
        m_entries[0].hSocket = INVALID_SOCKET;
        ::WSAResetEvent(m_events[1]);
    }
    m_bListenerFailed = true;
    return nError;
}

int CSocketServer::Service(uint8_t* pBuffer, long* plEvents, int* pnBytes, uint32_t* pnConnection, int nBufferBytes) {
    if (plEvents) *plEvents = 0;
    if (pnBytes) *pnBytes = 0;
    if (pnConnection) *pnConnection = 0;
    for (;;) {
        // Audio at call pace: let a few blocks gather, so that one read takes several.
        // A plain sleep is no wineserver call, and the table is free meanwhile.
        if (m_bSleepFirst) {
            m_bSleepFirst = false;
            ::Sleep(SOCKSRV_LIGHT_PASS_SLEEP_MS);
        }
        // A closing thread goes first: it must not wait for the pass after this one.
        if (m_nClosers > 0 && ::WaitForSingleObject(m_hGate, INFINITE) == WAIT_FAILED) {
            const int nError = static_cast<int>(::GetLastError());
            ::EnterCriticalSection(&m_lock);
            ListenerError(nError);
            ::LeaveCriticalSection(&m_lock);
            return nError;
        }
        ::EnterCriticalSection(&m_lock);
        if (m_nClosers > 0) {
            ::LeaveCriticalSection(&m_lock);
            continue;
        }
        if (m_nCount == 0) {
            m_bInPass = false;
            ::LeaveCriticalSection(&m_lock);
            return WSAENOTCONN;
        }
        long lEvents = 0;
        int nResult = 0;
        if (!m_bInPass) nResult = StartPass(&lEvents);
        if (nResult == 0 && lEvents == 0 && m_bInPass)
            nResult = ReadInPass(pBuffer, nBufferBytes, &lEvents, pnBytes, pnConnection);
        const bool bWoken = m_bWoken;
        m_bWoken = false;
        ::LeaveCriticalSection(&m_lock);
        if (plEvents) *plEvents = lEvents;
        // A pass that ended without anything to tell starts the next one.
        if (nResult != 0 || lEvents != 0 || bWoken) return nResult;
    }
}

int CSocketServer::StartPass(long* plEvents) {
    m_events[0] = m_hWake;
    const int nSlots = m_nCount + 1;
    // While audio flows only the wake and listener events are looked at, without
    // waiting: every connection is read anyway. A pass that found nothing clears
    // the connections' events first, and after one more empty pass the wait
    // blocks until something new happens on any of them.
    DWORD dwTimeout = 0;
    int nWaitSlots = 2;
    const uint64_t nNowMs = ::GetTickCount64();
    if (nSlots == 2 || (!m_bFlowing && m_bEventsReset)) {
        dwTimeout = m_bListenerFailed ? SOCKSRV_LISTENER_DOWN_WAIT_MS : WSA_INFINITE;
        nWaitSlots = nSlots;
    } else if (!m_bFlowing) {
        for (int i = 2; i < nSlots; ++i) ::WSAResetEvent(m_events[i]);
        m_bEventsReset = true;
    } else if (m_nListenerPollMs != 0 && nNowMs - m_nListenerPollMs < SOCKSRV_LISTENER_POLL_MS) {
        nWaitSlots = 0;  // a closing thread is seen by the count of closers
    }
    DWORD dwWait = WSA_WAIT_TIMEOUT;
    if (nWaitSlots > 0) {
        m_nListenerPollMs = nNowMs;
        dwWait = ::WSAWaitForMultipleEvents(nWaitSlots, m_events, FALSE, dwTimeout, FALSE);
    }
    if (dwWait == WSA_WAIT_FAILED) return ListenerError(::WSAGetLastError());
    if (dwWait == WSA_WAIT_TIMEOUT && dwTimeout != 0) return SOCKSRV_WAIT_TIMEOUT;
    if (dwWait == WSA_WAIT_EVENT_0) {
        m_bWoken = true;  // by CloseAll
        return 0;
    }
    int nResult = 0;
    if (dwWait == WSA_WAIT_EVENT_0 + 1) {
        m_nListenerPollMs = 0;  // more may be waiting behind this one
        nResult = ServiceListener(plEvents);
        if (m_bListenerFailed) return nResult;
    }
    // Every connection is read in this pass, the one just accepted too.
    for (int i = 1; i < m_nCount; ++i) {
        m_entries[i].bInPass = true;
        m_entries[i].nPassReads = 0;
        m_entries[i].nPassBytes = 0;
    }
    m_bInPass = true;
    m_bPassData = false;
    m_nPassMostBytes = 0;
    return nResult;
}

int CSocketServer::ServiceListener(long* plEvents) {
    WSANETWORKEVENTS events = {};
    if (::WSAEnumNetworkEvents(m_entries[0].hSocket, m_events[1], &events) == SOCKET_ERROR)
        return ListenerError(::WSAGetLastError());
    if (!(events.lNetworkEvents & FD_ACCEPT)) return 0;
    *plEvents = FD_ACCEPT;
    if (events.iErrorCode[FD_ACCEPT_BIT] != 0) return ListenerError(events.iErrorCode[FD_ACCEPT_BIT]);
    return Accept();
}

int CSocketServer::ReadInPass(uint8_t* pBuffer, int nBufferBytes, long* plEvents, int* pnBytes,
                              uint32_t* pnConnection) {
    const int n = m_nCount;
    // In turn, starting after the connection read last.
    for (int k = 1; k <= n; ++k) {
        const int nEntry = (m_nLastSlot + k) % n;
        CEntry& entry = m_entries[nEntry];
        if (nEntry == 0 || !entry.bInPass) continue;
        const uint32_t nId = entry.nId;
        int nTotal = 0;
        int nResult = 0;
        bool bClosed = false;
        // Full reads leave more behind; a short one took all there was, and a read
        // that would only find nothing costs a wineserver call of its own.
        for (;;) {
            int nBytes = 0;
            nResult = Read(nEntry, pBuffer + nTotal, &nBytes);
            if (nResult == WSAEWOULDBLOCK) {
                nResult = 0;
                entry.bInPass = false;
                break;
            }
            if (nResult != 0 || nBytes == 0) {
                bClosed = true;  // Read has closed it: reset or error, or the peer's end after its last byte
                break;
            }
            nTotal += nBytes;
            if (nBytes < SOCKSRV_READ_BYTES) {
                entry.bInPass = false;
                break;
            }
            if (++entry.nPassReads >= SOCKSRV_PASS_READS) {
                entry.bInPass = false;
                entry.nPassBytes = SOCKSRV_LIGHT_PASS_BYTES + 1;  // more was waiting: not call pace
                break;
            }
            if (nTotal + SOCKSRV_READ_BYTES + 2 > nBufferBytes) break;  // the rest in the next step
        }
        if (nTotal == 0 && !bClosed) continue;
        m_nLastSlot = nEntry;
        if (pnConnection) *pnConnection = nId;
        if (pnBytes) *pnBytes = nTotal;
        *plEvents = (nTotal > 0 ? FD_READ : 0) | (bClosed ? FD_CLOSE : 0);
        if (nTotal > 0) {
            m_bPassData = true;
            if (!bClosed) {
                entry.nPassBytes += nTotal;
                if (entry.nPassBytes > m_nPassMostBytes) m_nPassMostBytes = entry.nPassBytes;
            }
        }
        return nResult;
    }
    m_bInPass = false;
    m_bFlowing = m_bPassData;
    // After a pause that brought little, or a pass that found next to nothing, the next one waits.
    m_bPaused = m_bPassData && m_nPassMostBytes <= (m_bPaused ? SOCKSRV_LIGHT_PASS_BYTES : SOCKSRV_IDLE_PASS_BYTES);
    m_bSleepFirst = m_bPaused;
    if (m_bFlowing) m_bEventsReset = false;
    return 0;
}

int CALLBACK CSocketServer::AcceptCondition(LPWSABUF, LPWSABUF, LPQOS, LPQOS, LPWSABUF, LPWSABUF,
                                            GROUP*, DWORD_PTR dwCallbackData) {
    auto* pServer = reinterpret_cast<CSocketServer*>(dwCallbackData);
    return pServer->m_nCount >= SOCKSRV_MAX_SOCKETS ? CF_REJECT : CF_ACCEPT;
}

void CSocketServer::EvictIdlest() {
    const uint64_t nNow = ::GetTickCount64();
    int nIdlest = -1;
    for (int i = 1; i < m_nCount; ++i)
        if (nNow - m_entries[i].nLastDataMs >= SOCKSRV_EVICT_IDLE_MS &&
            (nIdlest < 0 || m_entries[i].nLastDataMs < m_entries[nIdlest].nLastDataMs))
            nIdlest = i;
    if (nIdlest > 0) CloseEntry(nIdlest);
}

int CSocketServer::Accept() {
    // Idle local connections must not lock Skype out: a full table makes room first.
    if (m_nCount >= SOCKSRV_MAX_SOCKETS) EvictIdlest();
    sockaddr_in peer = {};
    int nPeerLen = sizeof(peer);
    SOCKET hSocket = ::WSAAccept(m_entries[0].hSocket, reinterpret_cast<sockaddr*>(&peer), &nPeerLen,
                                 AcceptCondition, reinterpret_cast<DWORD_PTR>(this));
    if (hSocket == INVALID_SOCKET) {
        int nError = ::WSAGetLastError();
        // A connection that went away before it was taken (reset, or no peer left
        // to name) is that connection's trouble, not the server's; so is one refused
        // for a full table, or for want of resources.
        if (nError == WSAEWOULDBLOCK || nError == WSAENOTCONN) return 0;
        if (nError == WSAECONNRESET || nError == WSAECONNREFUSED || nError == WSAECONNABORTED ||
            nError == WSAEMFILE || nError == WSAENOBUFS)
            return nError;
        return ListenerError(nError);
    }
    // The condition already refuses a 63rd socket; this keeps the table safe whatever the stack does.
    if (m_nCount >= SOCKSRV_MAX_SOCKETS) {
        ::closesocket(hSocket);
        return WSAECONNREFUSED;
    }
    WSAEVENT hEvent = WSA_INVALID_EVENT;
    int nError = SelectAllEvents(hSocket, hEvent);
    if (nError != 0) return nError;
    Append(hSocket, hEvent);
    return 0;
}

int CSocketServer::Read(int nEntry, uint8_t* pBuffer, int* pnBytes) {
    CEntry& entry = m_entries[nEntry];
    WSABUF wsaBuf;
    wsaBuf.len = SOCKSRV_READ_BYTES;
    wsaBuf.buf = reinterpret_cast<char*>(pBuffer);
    DWORD dwReceived = 0;
    DWORD dwFlags = 0;
    if (::WSARecv(entry.hSocket, &wsaBuf, 1, &dwReceived, &dwFlags, nullptr, nullptr) == SOCKET_ERROR) {
        int nError = ::WSAGetLastError();
        if (nError == WSAEWOULDBLOCK) return nError;
        CloseEntry(nEntry);
        return nError;
    }
    *pnBytes = static_cast<int>(dwReceived);
    if (dwReceived == 0) {
        CloseEntry(nEntry);
        return 0;
    }
    entry.nLastDataMs = ::GetTickCount64();
    return 0;
}

int CSocketServer::CloseAll() {
    if (m_nCount == 0) return WSAENOTCONN;  // a listening server has its events
    ++m_nClosers;
    ::ResetEvent(m_hGate);
    ::SetEvent(m_hWake);
    ::EnterCriticalSection(&m_lock);
    CloseEntries();
    m_bInPass = false;
    ::LeaveCriticalSection(&m_lock);
    if (--m_nClosers == 0) ::SetEvent(m_hGate);
    return 0;
}
