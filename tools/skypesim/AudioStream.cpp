#include "AudioStream.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cmath>

#include "SimLog.h"
#include "base/StringUtil.h"

double SimClock() {
    static const double s_dFreq = [] {
        LARGE_INTEGER li;
        ::QueryPerformanceFrequency(&li);
        return static_cast<double>(li.QuadPart);
    }();
    LARGE_INTEGER li;
    ::QueryPerformanceCounter(&li);
    return static_cast<double>(li.QuadPart) / s_dFreq;
}

namespace {
double Clock() { return SimClock(); }
}  // namespace

const wchar_t* StreamResultName(EStreamResult e) {
    switch (e) {
    case STREAM_RUNNING: return L"running";
    case STREAM_OK: return L"ok";
    case STREAM_CONNECT_FAILED: return L"connect-failed";
    case STREAM_SEND_FAILED: return L"send-failed";
    case STREAM_STOPPED: return L"stopped";
    }
    return L"?";
}

CAudioStream::CAudioStream(std::unique_ptr<CAudioSource> pSource, int nPort, double dSpeed, uint64_t nMaxBlocks,
                           bool bReadOnly, CSimLog* pLog, const std::wstring& strLabel, const SimStreamTiming& timing)
    : m_pSource(std::move(pSource)), m_nPort(nPort), m_dSpeed(dSpeed), m_nMaxBlocks(nMaxBlocks),
      m_bReadOnly(bReadOnly), m_pLog(pLog), m_strLabel(strLabel), m_timing(timing) {}

CAudioStream::~CAudioStream() { Stop(); }

void CAudioStream::Start() {
    if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
}

void CAudioStream::SetPaused(bool bPaused) {
    if (m_bPaused.exchange(bPaused) != bPaused && m_pLog)
        m_pLog->Write(L"AUDIO", m_strLabel + (bPaused ? L" pause" : L" resume"));
}

void CAudioStream::Stop() {
    m_bStop = true;
    m_evStop.Set();
    Join();
}

void CAudioStream::Join() {
    if (m_thread.joinable()) m_thread.join();
}

bool CAudioStream::Connect(SOCKET& s) {
    s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        m_nError = ::WSAGetLastError();
        return false;
    }
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(m_nPort));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        m_nError = ::WSAGetLastError();
        ::closesocket(s);
        s = INVALID_SOCKET;
        return false;
    }
    // Every block leaves as its own segment, as the receiver reads 320 bytes at a time.
    BOOL bNoDelay = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&bNoDelay), sizeof bNoDelay);
    // Non-blocking, so that a peer that stops reading cannot keep Stop waiting.
    u_long nNonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nNonBlocking);
    return true;
}

bool CAudioStream::SendBlock(SOCKET s, const uint8_t* pBlock) {
    int nSent = 0;
    while (nSent < SIM_BLOCK_BYTES) {
        int r = ::send(s, reinterpret_cast<const char*>(pBlock) + nSent, SIM_BLOCK_BYTES - nSent, 0);
        if (r > 0) {
            nSent += r;
            continue;
        }
        int err = ::WSAGetLastError();
        if (r == SOCKET_ERROR && err == WSAEWOULDBLOCK) {
            if (m_bStop) return false;
            fd_set wr;
            FD_ZERO(&wr);
            FD_SET(s, &wr);
            timeval tv = {0, 50000};
            ::select(0, nullptr, &wr, nullptr, &tv);
            continue;
        }
        m_nError = err;
        return false;
    }
    return true;
}

void CAudioStream::Drain(SOCKET s) {
    char buf[4096];
    while (!m_bStop) {
        fd_set rd;
        FD_ZERO(&rd);
        FD_SET(s, &rd);
        timeval tv = {0, 50000};
        if (::select(0, &rd, nullptr, nullptr, &tv) <= 0) continue;
        int r = ::recv(s, buf, sizeof buf, 0);
        if (r == 0) return Finish(s, STREAM_OK);
        if (r < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK) {
            m_nError = ::WSAGetLastError();
            return Finish(s, STREAM_SEND_FAILED);
        }
    }
    Finish(s, STREAM_STOPPED);
}

void CAudioStream::Finish(SOCKET s, EStreamResult eResult) {
    // Skype ends a redirection by closing its side of the connection.
    ::shutdown(s, SD_SEND);
    ::closesocket(s);
    m_eResult = eResult;
    if (m_pLog) {
        std::wstring text = FormatW(L"%ls closed blocks=%llu bytes=%llu", m_strLabel.c_str(),
                                    static_cast<unsigned long long>(m_nBlocks.load()),
                                    static_cast<unsigned long long>(m_nBlocks.load() * SIM_BLOCK_BYTES));
        if (eResult == STREAM_SEND_FAILED) text += FormatW(L" send-failed %d", m_nError.load());
        m_pLog->Write(L"AUDIO", text);
    }
}

void CAudioStream::Run() {
    const double dPace = m_dSpeed * m_timing.dRate;  // audio seconds per wall second
    const double dBlockSeconds = m_dSpeed > 0 ? 0.01 / dPace : 0;
    const double dStartWall = m_dSpeed > 0 ? m_timing.dStart / dPace : 0;
    const bool bShared = m_timing.dEpoch > 0;
    if (bShared) {
        // A late side: nothing until its instant on the shared clock.
        double dWait = m_timing.dEpoch + dStartWall - Clock();
        if (dWait > 0 && ::WaitForSingleObject(m_evStop, static_cast<DWORD>(dWait * 1000)) == WAIT_OBJECT_0) {
            m_eResult = STREAM_STOPPED;
            return;
        }
    }
    SOCKET s = INVALID_SOCKET;
    if (!Connect(s)) {
        m_eResult = STREAM_CONNECT_FAILED;
        if (m_pLog) m_pLog->Write(L"AUDIO", FormatW(L"%ls connect %d failed %d", m_strLabel.c_str(), m_nPort, m_nError.load()));
        return;
    }
    if (m_pLog) m_pLog->Write(L"AUDIO", FormatW(L"%ls connect %d ok", m_strLabel.c_str(), m_nPort));
    if (m_bReadOnly) return Drain(s);

    const double dStart = Clock();
    // Pace clock: block (nIndex - nBaseIndex) is due at dBase + n * dBlockSeconds.
    double dBase = dStart;
    if (bShared) {
        dBase = m_timing.dEpoch + dStartWall;
        m_pSource->Skip(static_cast<uint64_t>(m_timing.dStart * SIM_SAMPLE_RATE + 0.5));
    }
    uint64_t nIndex = 0, nBaseIndex = 0;
    if (dBlockSeconds > 0) m_dZero = dBase - dStartWall;
    // Index of the first block after a hold-up: the held blocks are all due when it is.
    const uint64_t nHoldEnd = static_cast<uint64_t>(
        std::max(0.0, std::ceil((m_timing.dHoldAt + m_timing.dHoldFor - m_timing.dStart) * 100 - 1e-6)));
    bool bWasPaused = false;
    uint8_t block[SIM_BLOCK_BYTES];
    for (;;) {
        if (m_nMaxBlocks && nIndex >= m_nMaxBlocks) return Finish(s, STREAM_OK);
        if (m_bPaused) {
            bWasPaused = true;
            if (::WaitForSingleObject(m_evStop, 5) == WAIT_OBJECT_0) return Finish(s, STREAM_STOPPED);
            continue;
        }
        if (bWasPaused) {
            // A held call resumes at the normal pace instead of catching up the held span.
            bWasPaused = false;
            dBase = Clock();
            nBaseIndex = nIndex;
            if (dBlockSeconds > 0) m_dZero = dBase - static_cast<double>(nIndex) * dBlockSeconds - dStartWall;
        }
        const double dAudio = m_timing.dStart + static_cast<double>(nIndex) * 0.01;
        if (dBlockSeconds > 0) {
            uint64_t nDue = nIndex;
            if (m_timing.dHoldFor > 0 && dAudio >= m_timing.dHoldAt - 1e-9 &&
                dAudio < m_timing.dHoldAt + m_timing.dHoldFor - 1e-9 && nHoldEnd > nBaseIndex)
                nDue = std::max(nIndex, nHoldEnd);
            double dDue = dBase + static_cast<double>(nDue - nBaseIndex) * dBlockSeconds;
            double dWait = dDue - Clock();
            if (dWait > 0) {
                DWORD ms = static_cast<DWORD>(std::ceil(dWait * 1000.0));
                if (::WaitForSingleObject(m_evStop, ms) == WAIT_OBJECT_0) return Finish(s, STREAM_STOPPED);
                continue;
            }
        }
        if (m_bStop) return Finish(s, STREAM_STOPPED);
        m_pSource->NextBlock(block);
        ++nIndex;
        // A stalled sender: its audio of the span is never sent.
        if (m_timing.dStallFor > 0 && dAudio >= m_timing.dStallAt - 1e-9 && dAudio < m_timing.dStallAt + m_timing.dStallFor - 1e-9)
            continue;
        if (!SendBlock(s, block)) {
            return Finish(s, m_bStop ? STREAM_STOPPED : STREAM_SEND_FAILED);
        }
        ++m_nBlocks;
        m_dSeconds = Clock() - dStart;
    }
}
