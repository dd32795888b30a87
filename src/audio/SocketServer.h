#pragma once
// Event-driven TCP server on one port. One service pass at a time holds the
// server's mutex, including its blocking wait; any other thread that changes
// the socket table goes through CloseAll (wake event, gate event, then the mutex).
#include <winsock2.h>

#include <atomic>

#include "audio/BlockCutter.h"

// Entry 0 listens; 62 accepted connections at most.
constexpr int SOCKSRV_MAX_SOCKETS = 63;
constexpr int SOCKSRV_LISTEN_BACKLOG = 64;
// Returned when the event wait timed out (only if a time-out is ever given).
constexpr int SOCKSRV_WAIT_TIMEOUT = 1460;

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
    // network events and nBytes the length read. pBlocks, when given, gets the
    // whole 320-byte blocks this read completed on its connection.
    int Service(uint8_t* pBuffer, long* plEvents, int* pnBytes, CCutBlocks* pBlocks = nullptr);
    // Wakes the service thread and closes every socket. 0, or 10057 when there was none.
    int CloseAll();

    int GetSocketCount() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }

private:
    struct CEntry {
        SOCKET hSocket = INVALID_SOCKET;
        CBlockCutter cutter;
        // The peer closed while data was still unread: read it before closing.
        bool bDraining = false;
    };

    int CreateSyncObjects();
    int ServiceEntry(int nEntry, uint8_t* pBuffer, long* plEvents, int* pnBytes, CCutBlocks* pBlocks);
    int Accept();
    int Read(int nEntry, uint8_t* pBuffer, int* pnBytes, CCutBlocks* pBlocks);
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
    HANDLE m_hMutex = nullptr;
    HANDLE m_hWake = nullptr;
    HANDLE m_hGate = nullptr;
};
