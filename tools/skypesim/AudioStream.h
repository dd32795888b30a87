#pragma once
// One audio connection as Skype makes it after a redirect: a TCP client of
// 127.0.0.1:port that writes 320-byte blocks at a paced rate on its own thread.
#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "AudioSource.h"
#include "base/Lock.h"

class CSimLog;

enum EStreamResult { STREAM_RUNNING, STREAM_OK, STREAM_CONNECT_FAILED, STREAM_SEND_FAILED, STREAM_STOPPED };

const wchar_t* StreamResultName(EStreamResult e);

// Seconds on the clock the streams of a run share.
double SimClock();

// When a stream sends, in audio seconds from a second 0 that all streams of a run
// share, so that its blocks go out at fixed wall-clock instants.
struct SimStreamTiming {
    double dEpoch = 0;      // SimClock() of second 0; 0: the stream's own connection
    double dStart = 0;      // the stream connects here; what came before is not sent
    double dStallAt = 0;    // from here on nothing is sent for dStallFor seconds,
    double dStallFor = 0;   // then the stream goes on where its time is by then
    double dHoldAt = 0;     // from here on nothing is sent for dHoldFor seconds,
    double dHoldFor = 0;    // then all of it at once, and on at the pace
    // The sender's clock against the wall clock, 1 + ppm/10^6: its seconds of audio
    // take 1/dRate wall seconds, so a fast side's blocks come closer together.
    double dRate = 1;
};

class CAudioStream {
public:
    // dSpeed: times real time; 0 = as fast as the socket takes it. nMaxBlocks 0 = until Stop.
    // bReadOnly: connect and read what the peer sends (Skype's input side) instead of writing.
    // nMaxBlocks counts the blocks of the stream's time, stalled ones too.
    CAudioStream(std::unique_ptr<CAudioSource> pSource, int nPort, double dSpeed, uint64_t nMaxBlocks,
                 bool bReadOnly, CSimLog* pLog, const std::wstring& strLabel,
                 const SimStreamTiming& timing = SimStreamTiming());
    ~CAudioStream();
    CAudioStream(const CAudioStream&) = delete;
    CAudioStream& operator=(const CAudioStream&) = delete;

    void Start();
    // Held streams keep their connection and write nothing; on release the pace clock restarts.
    void SetPaused(bool bPaused);
    // Ends the writing, closes the socket and joins the thread.
    void Stop();
    void Join();

    int Port() const { return m_nPort; }
    uint64_t Blocks() const { return m_nBlocks; }
    EStreamResult Result() const { return m_eResult; }
    int LastError() const { return m_nError; }
    // Wall-clock seconds from the connection to the last write.
    double Seconds() const { return m_dSeconds; }
    // SimClock() at which second 0 of the stream's audio was due at its present
    // pace; 0 until it writes, and for a stream paced as fast as the socket takes it.
    double Zero() const { return m_dZero; }

private:
    void Run();
    bool Connect(SOCKET& s);
    bool SendBlock(SOCKET s, const uint8_t* pBlock);
    void Drain(SOCKET s);
    void Finish(SOCKET s, EStreamResult eResult);

    std::unique_ptr<CAudioSource> m_pSource;
    int m_nPort;
    double m_dSpeed;
    uint64_t m_nMaxBlocks;
    bool m_bReadOnly;
    CSimLog* m_pLog;
    std::wstring m_strLabel;
    SimStreamTiming m_timing;
    CEvent m_evStop{true, false};
    std::atomic<bool> m_bStop{false};  // checked per block; the event serves the timed waits
    std::atomic<bool> m_bPaused{false};
    std::atomic<uint64_t> m_nBlocks{0};
    std::atomic<EStreamResult> m_eResult{STREAM_RUNNING};
    std::atomic<int> m_nError{0};
    std::atomic<double> m_dSeconds{0};
    std::atomic<double> m_dZero{0};
    std::thread m_thread;
};
