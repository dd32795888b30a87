#pragma once
// Event-driven TCP server on one port. One service pass at a time holds the
// server's mutex, including its blocking wait; any other thread that changes
// the socket table goes through CloseAll (wake event, gate event, then the mutex).
#include <winsock2.h>

#include <atomic>
#include <cstdint>

// Entry 0 listens; 62 accepted connections at most.
constexpr int SOCKSRV_MAX_SOCKETS = 63;
constexpr int SOCKSRV_LISTEN_BACKLOG = 64;
// Returned when the event wait timed out (only if a time-out is ever given).
constexpr int SOCKSRV_WAIT_TIMEOUT = 1460;
// Largest single read of a connection.
constexpr int SOCKSRV_READ_BYTES = 1022;
// With the table full, a new connection takes the place of one silent this long.
constexpr uint64_t SOCKSRV_EVICT_IDLE_MS = 2000;

class CSocketServer {
public:
    CSocketServer() = default;
    ~CSocketServer();
    CSocketServer(const CSocketServer&) = delete;
    CSocketServer& operator=(const CSocketServer&) = delete;

    // Creates, binds and listens; nAddress in network byte order. 0 or an error code.
    int Listen(u_long nAddress, u_short nPort);
    // One pass: waits for the next event, in fair order, and handles it. pBuffer
    // is the caller's 1024-byte receive buffer; lEvents gets the serviced entry's
    // network events, nBytes the length read and nConnection the number of the
    // connection it came from (each accepted connection gets a new one).
    int Service(uint8_t* pBuffer, long* plEvents, int* pnBytes, uint32_t* pnConnection = nullptr);
    // Wakes the service thread and closes every socket. 0, or 10057 when there was none.
    int CloseAll();

    int GetSocketCount() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }
    // The listening socket itself failed (not one connection): it must be opened anew.
    bool IsListenerFailed() const { return m_bListenerFailed; }

private:
    struct CEntry {
        SOCKET hSocket = INVALID_SOCKET;
        uint32_t nId = 0;
        uint64_t nLastDataMs = 0;  // accepted, or last read that brought data
        // The peer closed while data was still unread: read it before closing.
        bool bDraining = false;
    };

    int CreateSyncObjects();
    int ServiceEntry(int nEntry, uint8_t* pBuffer, long* plEvents, int* pnBytes);
    int Accept();
    void EvictIdlest();
    int Read(int nEntry, uint8_t* pBuffer, int* pnBytes);
    int ListenerError(int nError);
    int Append(SOCKET hSocket, WSAEVENT hEvent);
    void CloseEntry(int nEntry);
    void CloseEntries();
    static int CALLBACK AcceptCondition(LPWSABUF, LPWSABUF, LPQOS, LPQOS, LPWSABUF, LPWSABUF,
                                        GROUP*, DWORD_PTR dwCallbackData);

    bool m_bWsaStarted = false;
    std::atomic<int> m_nCount{0};
    CEntry m_entries[SOCKSRV_MAX_SOCKETS];
    WSAEVENT m_events[SOCKSRV_MAX_SOCKETS + 1] = {};
    int m_nLastSlot = 0;
    uint32_t m_nNextId = 1;
    bool m_bListenerFailed = false;
    HANDLE m_hMutex = nullptr;
    HANDLE m_hWake = nullptr;
    HANDLE m_hGate = nullptr;
};
