#include "audio/AudioServer.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <new>
#include <string>

#include "base/Clock.h"
#include "base/Notifier.h"

// Everything one side's thread and start-up need, without duplicating the code.
struct CAudioServer::CSideInfo {
    CSocketServer& server;
    std::atomic<bool>& bRunning;
    HANDLE& hThread;
    CLevelMeter& meter;
    u_short nPort;
    UINT uLevelMessage;
    bool bMic;
};

CAudioServer* CAudioServer::s_pInstance = nullptr;

namespace {
// Service threads get this long to end after their sockets were closed.
constexpr DWORD AUDIO_THREAD_END_MS = 5000;
// A listening socket that failed is opened anew at most this often.
constexpr DWORD AUDIO_RELISTEN_MS = 1000;

std::wstring PortFailedText(u_short nPort) {
    return L"Create socket failed! Please make sure your firewall/anti-virus software does NOT block the port '" +
           std::to_wstring(nPort) + L"'!";
}
}  // namespace

CAudioServer* CAudioServer::GetInstance() {
    if (!s_pInstance) {
        s_pInstance = new (std::nothrow) CAudioServer();
        if (s_pInstance && !s_pInstance->m_pRecorder) {
            delete s_pInstance;
            s_pInstance = nullptr;
        }
    }
    return s_pInstance;
}

CAudioServer::CAudioServer() : m_nAddress(::inet_addr("127.0.0.1")) {
    m_pRecorder = CRecorder::GetInstance();
}

CAudioServer::~CAudioServer() = default;

void CAudioServer::DestroyInstance() {
    CAudioServer* p = s_pInstance;
    if (!p) return;
    p->m_bMicRunning = false;
    p->m_bRemoteRunning = false;
    if (!p->m_micServer.IsEmpty()) p->m_micServer.CloseAll();
    if (!p->m_remoteServer.IsEmpty()) p->m_remoteServer.CloseAll();
    // The threads end on their own now; wait for them before the recorder goes,
    // since a thread may be handing it a block.
    p->StopThread(p->m_hRemoteThread);
    p->StopThread(p->m_hMicThread);
    CRecorder::DestroyInstance();
    p->m_pRecorder = nullptr;
    s_pInstance = nullptr;
    delete p;  // remote server, then microphone server (reverse member order)
}

void CAudioServer::StopThread(HANDLE& hThread) {
    if (!hThread) return;
    if (::WaitForSingleObject(hThread, AUDIO_THREAD_END_MS) == WAIT_TIMEOUT)
        ::TerminateThread(hThread, 1);  // last resort: a thread that never came back
    ::CloseHandle(hThread);
    hThread = nullptr;
}

bool CAudioServer::StartMicServer() {
    CSideInfo side{m_micServer, m_bMicRunning, m_hMicThread, m_micMeter, AUDIO_MIC_PORT, WM_MIC_LEVEL, true};
    return StartServer(side);
}

bool CAudioServer::StartRemoteServer() {
    CSideInfo side{m_remoteServer, m_bRemoteRunning, m_hRemoteThread, m_remoteMeter, AUDIO_REMOTE_PORT,
                   WM_REMOTE_LEVEL, false};
    return StartServer(side);
}

bool CAudioServer::StartServer(CSideInfo& side) {
    if (!side.bRunning && !side.server.IsEmpty()) return false;
    // The running thread must not take the closing of its table for a failure to mend.
    if (side.bRunning.exchange(false) && !side.server.IsEmpty()) {
        side.server.CloseAll();
        if (!side.server.IsEmpty()) return false;
    }
    // An earlier thread of this server found its table closed and is ending:
    // let it go before the new table could be taken for its own.
    StopThread(side.hThread);
    if (!Listen(side)) return false;
    side.bRunning = true;
    side.hThread = ::CreateThread(nullptr, 0, side.bMic ? MicThread : RemoteThread, this, 0, nullptr);
    if (!side.hThread) {
        side.bRunning = false;
        side.server.CloseAll();
        return false;
    }
    return true;
}

bool CAudioServer::Listen(CSideInfo& side) {
    if (side.server.Listen(m_nAddress, side.nPort) == 0) return true;
    NotifyMessageBox(nullptr, PortFailedText(side.nPort), L"Ombra Skype Recorder", MB_ICONINFORMATION);
    if (!side.server.IsEmpty()) side.server.CloseAll();
    return false;
}

void CAudioServer::Relisten(CSideInfo& side, bool bServiceFailed, CRelistenState& state) {
    uint64_t nNow = ::GetTickCount64();
    // A service that fails by itself, again and again, would spin: it waits for the next try.
    if (bServiceFailed && nNow - state.nLastTryMs < AUDIO_RELISTEN_MS) {
        ::Sleep(static_cast<DWORD>(AUDIO_RELISTEN_MS - (nNow - state.nLastTryMs)));
        nNow = ::GetTickCount64();
    }
    if (nNow - state.nLastTryMs < AUDIO_RELISTEN_MS) return;
    state.nLastTryMs = nNow;
    if (side.server.ReopenListener() == 0) {
        state.bTold = false;
        return;
    }
    if (state.bTold) return;
    state.bTold = true;
    // Told once, from a thread of its own: the connections are read on while the box is up.
    std::wstring strText = PortFailedText(side.nPort);
    NotifyMessageBoxAside(strText, L"Ombra Skype Recorder", MB_ICONINFORMATION);
}

DWORD WINAPI CAudioServer::MicThread(void* pParam) {
    auto* p = static_cast<CAudioServer*>(pParam);
    CSideInfo side{p->m_micServer, p->m_bMicRunning, p->m_hMicThread, p->m_micMeter, AUDIO_MIC_PORT,
                   WM_MIC_LEVEL, true};
    p->ServiceLoop(side);
    return 0;
}

DWORD WINAPI CAudioServer::RemoteThread(void* pParam) {
    auto* p = static_cast<CAudioServer*>(pParam);
    CSideInfo side{p->m_remoteServer, p->m_bRemoteRunning, p->m_hRemoteThread, p->m_remoteMeter,
                   AUDIO_REMOTE_PORT, WM_REMOTE_LEVEL, false};
    p->ServiceLoop(side);
    return 0;
}

void CAudioServer::ServiceLoop(CSideInfo& side) {
    // What one connection yields in a pass, and room for two zero bytes after it.
    uint8_t buffer[SOCKSRV_PASS_BYTES + 2];
    CBlockCutters cutters;
    CCutBlocks blocks;
    long lEvents = 0;
    int nBytes = 0;
    uint32_t nConnection = 0;
    CRelistenState relisten;
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    while (side.bRunning) {
        int nResult = side.server.Service(buffer, &lEvents, &nBytes, &nConnection, sizeof buffer);
        if (!side.bRunning) break;
        if ((lEvents & FD_READ) && nBytes > 0) {
            buffer[nBytes] = 0;
            buffer[nBytes + 1] = 0;
            // Every whole block these bytes completed on their connection, in order.
            CBlockCutter& cutter = cutters.For(nConnection);
            cutter.Feed(buffer, nBytes, blocks);
            LARGE_INTEGER now;
            ::QueryPerformanceCounter(&now);
            const int64_t nNowUs = CountsToUs(now.QuadPart, frequency.QuadPart);
            // Blocks that waited for the pass came in at call pace, the last one just
            // now, but none before the connection's previous bytes were taken.
            const int64_t nWaitedUs = cutter.GetLastFeedUs() != 0 ? nNowUs - cutter.GetLastFeedUs() : INT64_MAX;
            cutter.SetLastFeedUs(nNowUs);
            int nState = m_nRecordState;
            if (nState == RECSTATE_RECORDING || nState == RECSTATE_RESUMED) {
                CBuffer block;
                block.m_nSize = AUDIO_BLOCK_BYTES;
                for (int i = 0; i < blocks.nBlocks; ++i) {
                    block.m_pData = blocks.data + i * AUDIO_BLOCK_BYTES;
                    const int64_t nAgoUs = std::min(int64_t{blocks.nBlocks - 1 - i} * AUDIO_BLOCK_US, nWaitedUs);
                    if (side.bMic)
                        m_pRecorder->AddMicBlock(&block, nConnection, nAgoUs);
                    else
                        m_pRecorder->AddRemoteBlock(&block, nConnection, nAgoUs);
                }
                // A sender far faster than the recording can write: what it sends next
                // waits in the socket, and TCP slows it down, instead of being dropped.
                // Not for a writer that hangs: Skype's sends would block mid-call, so the
                // reading goes on and what the recorder has no room for is dropped.
                while (side.bRunning && m_pRecorder->IsActive() && m_pRecorder->IsBacklogged(side.bMic) &&
                       !m_pRecorder->IsWriterStalled())
                    ::Sleep(5);
            }
            int nLevel = 0;
            HWND hWnd = m_hWnd;
            if (side.meter.Feed(buffer, nBytes, nLevel) && hWnd)
                ::PostMessageW(hWnd, side.uLevelMessage, static_cast<WPARAM>(nLevel), 0);
        }
        // The side's last connection ended: its meter goes dark, not left at the level
        // of the last blocks (which may reach the window after the recording's stop).
        if ((lEvents & FD_CLOSE) && side.server.GetSocketCount() <= 1) {
            side.meter.Reset();
            if (HWND hWnd = m_hWnd) ::PostMessageW(hWnd, side.uLevelMessage, 0, 0);
        }
        // The listening socket failed: it is opened anew while the connections go on
        // streaming (Skype does not connect again during a call). One connection's
        // trouble has already closed that connection; the server goes on.
        if (side.server.IsListenerFailed())
            Relisten(side, nResult != 0 && nResult != SOCKSRV_WAIT_TIMEOUT && lEvents == 0, relisten);
        if (side.server.IsEmpty()) break;  // closed by CloseAll
    }
    if (!side.server.IsEmpty()) side.server.CloseAll();
}

void CAudioServer::SetRecordState(int nState) {
    if (nState == RECSTATE_PAUSED)
        m_pRecorder->Pause();
    else if (nState == RECSTATE_RESUMED)
        m_pRecorder->Resume();
    m_nRecordState = nState;
}

bool CAudioServer::StartRecording(const wchar_t* pszPath, int nOutSampleRate, int nBitrateKbps,
                                  int nChannelMode, int nRecordSide, const Mp3Tags* pTags) {
    int nState = m_nRecordState;
    if (nState == RECSTATE_RECORDING || nState == RECSTATE_PAUSED || nState == RECSTATE_RESUMED) {
        ::SetLastError(ERROR_BUSY);
        return false;
    }
    if (!pszPath) return m_pRecorder->Start(nullptr, nChannelMode, nOutSampleRate, nBitrateKbps, nRecordSide);
    // Refused rather than cut: a shortened name would be a different file.
    size_t nLen = std::wcslen(pszPath);
    if (nLen + 4 + 1 > AUDIO_MAX_PATH) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    std::wstring strPath(pszPath);
    strPath += L".mp3";
    return m_pRecorder->Start(strPath.c_str(), nChannelMode, nOutSampleRate, nBitrateKbps, nRecordSide, pTags);
}
