#pragma once
// Event-driven TCP server on one port. A pass reads what is waiting on every
// connection in turn, each until it would block; while audio flows at call pace
// the passes are spaced out, so one pass takes what several blocks brought. The
// service thread holds the table's lock for a pass, its event wait included;
// any other thread that changes the table goes through CloseAll (wake event,
// gate, then the lock).
#include <winsock2.h>

#include <atomic>
#include <cstdint>

// Entry 0 listens; 62 accepted connections at most.
constexpr int SOCKSRV_MAX_SOCKETS = 63;
constexpr int SOCKSRV_LISTEN_BACKLOG = 64;
// Returned when the event wait timed out (only while the listener is down).
constexpr int SOCKSRV_WAIT_TIMEOUT = 1460;
// While the listener is down, a pass with nothing to do returns after this long,
// so that the caller can open it anew.
constexpr DWORD SOCKSRV_LISTENER_DOWN_WAIT_MS = 1000;
// Largest single read of a connection.
constexpr int SOCKSRV_READ_BYTES = 1022;
// Reads of one connection in one pass at most, so it cannot starve the others.
constexpr int SOCKSRV_PASS_READS = 16;
// Most bytes one connection yields in one pass.
constexpr int SOCKSRV_PASS_BYTES = SOCKSRV_PASS_READS * SOCKSRV_READ_BYTES;
// A pass after the pause that brought at most this per connection found audio
// at call pace (or a few times it): the next one waits a while again, so that
// each read takes several blocks at once. Back-to-back passes pause only when
// they find next to nothing.
constexpr int SOCKSRV_LIGHT_PASS_BYTES = 4096;
constexpr int SOCKSRV_IDLE_PASS_BYTES = 640;
constexpr DWORD SOCKSRV_LIGHT_PASS_SLEEP_MS = 60;
// While audio flows the listener is looked at this often, unless it just accepted:
// a new connection waits in the backlog meanwhile, and its blocks keep their times.
constexpr uint64_t SOCKSRV_LISTENER_POLL_MS = 250;
// With the table full, a new connection takes the place of one silent this long.
constexpr uint64_t SOCKSRV_EVICT_IDLE_MS = 2000;

class CSocketServer {
public:
    CSocketServer();
    ~CSocketServer();
    CSocketServer(const CSocketServer&) = delete;
    CSocketServer& operator=(const CSocketServer&) = delete;

    // Creates, binds and listens; nAddress in network byte order. 0 or an error code.
    int Listen(u_long nAddress, u_short nPort);
    // One step of the pass: an accept, what one connection has waiting, or the
    // end of a connection; waits when nothing is waiting. pBuffer is the
    // caller's receive buffer of nBufferBytes: reads of at most 1022 bytes fill
    // it while they come back full and another one fits (the last two bytes are
    // the caller's). lEvents gets what happened (FD_ACCEPT, FD_READ, FD_CLOSE),
    // nBytes the length read and nConnection the number of the connection it
    // came from (each accepted connection gets a new one).
    int Service(uint8_t* pBuffer, long* plEvents, int* pnBytes, uint32_t* pnConnection = nullptr,
                int nBufferBytes = SOCKSRV_READ_BYTES + 2);
    // Wakes the service thread and closes every socket. 0, or 10057 when there was none.
    int CloseAll();
    // Opens the listening socket anew after it failed; the connections stay. 0 or an error code.
    int ReopenListener();

    int GetSocketCount() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }
    // The listening socket itself failed (not one connection) and is closed: it must
    // be opened anew. The connections are served meanwhile.
    bool IsListenerFailed() const { return m_bListenerFailed; }

private:
    struct CEntry {
        SOCKET hSocket = INVALID_SOCKET;
        uint32_t nId = 0;
        uint64_t nLastDataMs = 0;  // accepted, or last read that brought data
        // Still to be read in this pass, and what it brought so far.
        bool bInPass = false;
        int nPassReads = 0;
        int nPassBytes = 0;
    };

    int CreateSyncObjects();
    int StartPass(long* plEvents);
    int ServiceListener(long* plEvents);
    int ReadInPass(uint8_t* pBuffer, int nBufferBytes, long* plEvents, int* pnBytes, uint32_t* pnConnection);
    int Accept();
    void EvictIdlest();
    int Read(int nEntry, uint8_t* pBuffer, int* pnBytes);
    int BindAndListen(SOCKET hSocket);
    int ListenerError(int nError);
    int Append(SOCKET hSocket, WSAEVENT hEvent);
    void CloseEntry(int nEntry);
    void CloseEntries();
    static int CALLBACK AcceptCondition(LPWSABUF, LPWSABUF, LPQOS, LPQOS, LPWSABUF, LPWSABUF,
                                        GROUP*, DWORD_PTR dwCallbackData);

    bool m_bWsaStarted = false;
    u_long m_nAddress = 0;
    u_short m_nPort = 0;
    std::atomic<int> m_nCount{0};
    CEntry m_entries[SOCKSRV_MAX_SOCKETS];
    WSAEVENT m_events[SOCKSRV_MAX_SOCKETS + 1] = {};
    int m_nLastSlot = 0;
    uint32_t m_nNextId = 1;
    std::atomic<bool> m_bListenerFailed{false};
    bool m_bInPass = false;
    bool m_bFlowing = false;      // the last pass brought data
    bool m_bPaused = false;       // the pass began after a pause
    bool m_bSleepFirst = false;   // the next pass pauses first (the service thread's own)
    bool m_bEventsReset = false;  // a pass found nothing after the events were reset
    bool m_bWoken = false;
    bool m_bPassData = false;
    int m_nPassMostBytes = 0;
    uint64_t m_nListenerPollMs = 0;  // when the listener was last looked at; 0 after an accept
    // Taken without a wineserver call while nobody else wants it, unlike a kernel mutex.
    CRITICAL_SECTION m_lock;
    // Threads in CloseAll; while there are any the service waits at the gate.
    std::atomic<int> m_nClosers{0};
    HANDLE m_hWake = nullptr;
    HANDLE m_hGate = nullptr;
};
