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

CSocketServer::~CSocketServer() {
    if (m_bWsaStarted) {
        CloseAll();
        ::WSACleanup();
        m_bWsaStarted = false;
    }
    if (m_hGate) ::CloseHandle(m_hGate);
    if (m_hWake) ::CloseHandle(m_hWake);
    if (m_hMutex) ::CloseHandle(m_hMutex);
    CloseEntries();
}

int CSocketServer::CreateSyncObjects() {
    if (!m_hMutex) m_hMutex = ::CreateMutexW(nullptr, FALSE, nullptr);
    if (!m_hWake) m_hWake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_hGate) m_hGate = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (!m_hMutex || !m_hWake || !m_hGate) return static_cast<int>(::GetLastError());
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
    m_bListenerFailed = false;

    SOCKET hSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (hSocket == INVALID_SOCKET) return ::WSAGetLastError();
    WSAEVENT hEvent = WSA_INVALID_EVENT;
    int nError = SelectAllEvents(hSocket, hEvent);
    if (nError != 0) return nError;
    Append(hSocket, hEvent);

    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = ::htons(nPort);
    addr.sin_addr.s_addr = nAddress;
    if (::bind(hSocket, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == SOCKET_ERROR ||
        ::listen(hSocket, SOCKSRV_LISTEN_BACKLOG) == SOCKET_ERROR) {
        nError = ::WSAGetLastError();
        CloseEntries();
        return nError;
    }
    return 0;
}

int CSocketServer::Append(SOCKET hSocket, WSAEVENT hEvent) {
    int n = m_nCount;
    m_entries[n].hSocket = hSocket;
    m_entries[n].nId = m_nNextId++;
    m_entries[n].nLastDataMs = ::GetTickCount64();
    m_entries[n].bDraining = false;
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
    // The slot that followed the closed one moved down: start the next poll there.
    if (m_nLastSlot > nEntry) --m_nLastSlot;
}

void CSocketServer::CloseEntries() {
    while (m_nCount > 0) CloseEntry(m_nCount - 1);
}

int CSocketServer::ListenerError(int nError) {
    m_bListenerFailed = true;
    return nError;
}

int CSocketServer::Service(uint8_t* pBuffer, long* plEvents, int* pnBytes, uint32_t* pnConnection) {
    if (plEvents) *plEvents = 0;
    if (pnBytes) *pnBytes = 0;
    if (pnConnection) *pnConnection = 0;
    int nResult = CreateSyncObjects();
    if (nResult != 0) return ListenerError(nResult);
    // The gate, then the mutex, in one wait: it takes the mutex only while the gate
    // is open, and costs one call instead of two on every pass.
    HANDLE gateAndMutex[2] = {m_hGate, m_hMutex};
    if (::WaitForMultipleObjects(2, gateAndMutex, TRUE, INFINITE) == WAIT_FAILED)
        return ListenerError(static_cast<int>(::GetLastError()));

    if (m_nCount == 0) {
        ::ReleaseMutex(m_hMutex);
        return WSAENOTCONN;
    }

    m_events[0] = m_hWake;
    const int nSlots = m_nCount + 1;
    if (m_nLastSlot >= nSlots) m_nLastSlot = 0;
    // Start after the slot serviced last so one busy connection cannot starve the
    // others. One zero-time-out wait over the events in that order picks the first
    // signalled one, as testing each in turn would, with a single call.
    HANDLE order[SOCKSRV_MAX_SOCKETS + 1];
    for (int i = 0; i < nSlots; ++i) order[i] = m_events[(m_nLastSlot + 1 + i) % nSlots];
    int nChosen = -1;
    DWORD dwPoll = ::WaitForMultipleObjects(nSlots, order, FALSE, 0);
    if (dwPoll < WAIT_OBJECT_0 + static_cast<DWORD>(nSlots))
        nChosen = (m_nLastSlot + 1 + static_cast<int>(dwPoll - WAIT_OBJECT_0)) % nSlots;
    if (nChosen < 0) {
        DWORD dwWait = ::WSAWaitForMultipleEvents(nSlots, m_events, FALSE, WSA_INFINITE, FALSE);
        if (dwWait == WSA_WAIT_FAILED) {
            int nError = ::WSAGetLastError();
            ::ReleaseMutex(m_hMutex);
            return ListenerError(nError);
        }
        if (dwWait == WSA_WAIT_TIMEOUT) {
            ::ReleaseMutex(m_hMutex);
            return SOCKSRV_WAIT_TIMEOUT;
        }
        nChosen = static_cast<int>(dwWait - WSA_WAIT_EVENT_0);
    }
    m_nLastSlot = nChosen;
    if (nChosen == 0) {
        ::ReleaseMutex(m_hMutex);
        return 0;  // woken by CloseAll
    }
    if (pnConnection) *pnConnection = m_entries[nChosen - 1].nId;
    nResult = ServiceEntry(nChosen - 1, pBuffer, plEvents, pnBytes);
    ::ReleaseMutex(m_hMutex);
    return nResult;
}

int CSocketServer::ServiceEntry(int nEntry, uint8_t* pBuffer, long* plEvents, int* pnBytes) {
    CEntry& entry = m_entries[nEntry];
    WSANETWORKEVENTS events = {};
    if (::WSAEnumNetworkEvents(entry.hSocket, m_events[nEntry + 1], &events) == SOCKET_ERROR) {
        int nError = ::WSAGetLastError();
        if (nEntry == 0) return ListenerError(nError);
        CloseEntry(nEntry);
        return nError;
    }
    if (entry.bDraining) {
        // The rest of a closed connection: read on until nothing is left.
        if (plEvents) *plEvents = FD_READ;
        int nResult = Read(nEntry, pBuffer, pnBytes);
        if (nResult != 0) return nResult;
        u_long nLeft = 0;
        if (::ioctlsocket(entry.hSocket, FIONREAD, &nLeft) == 0 && nLeft > 0 && pnBytes && *pnBytes > 0)
            ::WSASetEvent(m_events[nEntry + 1]);
        else
            CloseEntry(nEntry);
        return 0;
    }
    if (plEvents) *plEvents = events.lNetworkEvents;

    if (events.lNetworkEvents & FD_ACCEPT) {
        if (events.iErrorCode[FD_ACCEPT_BIT] != 0) return ListenerError(events.iErrorCode[FD_ACCEPT_BIT]);
        int nResult = Accept();
        if (nResult != 0) return nResult;
    }
    if (nEntry == 0) return 0;  // the listener reads nothing
    if (events.lNetworkEvents & FD_READ) {
        if (events.iErrorCode[FD_READ_BIT] != 0) {
            CloseEntry(nEntry);
            return events.iErrorCode[FD_READ_BIT];
        }
        int nResult = Read(nEntry, pBuffer, pnBytes);
        if (nResult != 0) return nResult;
    }
    if (events.lNetworkEvents & FD_WRITE) {
        if (events.iErrorCode[FD_WRITE_BIT] != 0) {
            CloseEntry(nEntry);
            return events.iErrorCode[FD_WRITE_BIT];
        }
        // Nothing to do: the servers never send.
    }
    if (events.lNetworkEvents & FD_CLOSE) {
        int nError = events.iErrorCode[FD_CLOSE_BIT];
        u_long nLeft = 0;
        if (nError == 0 && ::ioctlsocket(entry.hSocket, FIONREAD, &nLeft) == 0 && nLeft > 0) {
            // Closing now would lose what the peer sent last; come back for it.
            entry.bDraining = true;
            ::WSASetEvent(m_events[nEntry + 1]);
            return 0;
        }
        CloseEntry(nEntry);
        if (nError != 0) return nError;
    }
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
        if (nError == WSAEWOULDBLOCK) return 0;
        CloseEntry(nEntry);
        return nError;
    }
    if (pnBytes) *pnBytes = static_cast<int>(dwReceived);
    if (dwReceived > 0) entry.nLastDataMs = ::GetTickCount64();
    return 0;
}

int CSocketServer::CloseAll() {
    if (m_nCount == 0) return WSAENOTCONN;
    int nResult = CreateSyncObjects();
    if (nResult != 0) return nResult;
    ::ResetEvent(m_hGate);
    ::SetEvent(m_hWake);
    ::WaitForSingleObject(m_hMutex, INFINITE);
    ::SetEvent(m_hGate);
    CloseEntries();
    ::ReleaseMutex(m_hMutex);
    return 0;
}
