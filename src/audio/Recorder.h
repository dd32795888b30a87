#pragma once
// Turns the received streams into one recording: every block is placed on the
// recording's 10 ms timeline (see Timeline.h) as it arrives, and a mixer thread
// per recording writes what the timeline has ready, so the file follows the
// call within a second whatever each side does.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "audio/Timeline.h"
#include "audiofile/Mp3File.h"
#include "base/Handle.h"
#include "base/Lock.h"

// The mixer looks for ready ticks this often when there is nothing to write. At
// call pace that hands the encoder 200 ms at a time, which it takes for much less
// CPU than 50 ms four times; ticks still reach the file within 0.6 s.
constexpr DWORD RECORDER_IDLE_SLEEP_MS = 200;
// ... and this often while the senders run faster than the clock.
constexpr DWORD RECORDER_BUSY_SLEEP_MS = 50;
// The servers read call-pace audio every 60 ms or so: a stop while a side still
// delivers takes blocks this much longer, so what reached the ports before the
// stop is in the file.
constexpr int64_t RECORDER_STOP_GRACE_US = 100000;
// A writer that has held the mixer up this long hangs (a network share gone): the
// servers stop holding Skype back for it.
constexpr uint64_t RECORDER_WRITER_STALL_MS = 2000;

// Which sides a recording takes ("recside"): 0 both, 1 only mine, anything else only the remote side.
constexpr int RECSIDE_BOTH = 0;
constexpr int RECSIDE_MINE = 1;
constexpr int RECSIDE_REMOTE = 2;

class CRecorder {
public:
    static CRecorder* GetInstance();
    static void DestroyInstance();

    CRecorder();
    ~CRecorder();
    CRecorder(const CRecorder&) = delete;
    CRecorder& operator=(const CRecorder&) = delete;

    // Opens the MP3 file and starts the mixer. pszPath is the full name with
    // ".mp3"; nChannelMode 0 mono, 1 stereo, 2 joint stereo; pTags, if given, tag
    // the file. False with the reason as the thread's last error; nothing is shown.
    bool Start(const wchar_t* pszPath, int nChannelMode, int nOutSampleRate, int nBitrateKbps,
               int nRecordSide = RECSIDE_BOTH, const Mp3Tags* pTags = nullptr);
    // The file the last Start created: a name already taken gets a number (see CMp3File::Open).
    const std::wstring& GetPath() const { return m_strPath; }
    // Takes no more blocks and returns at once; the mixer writes what is queued
    // and then posts uMsg to hNotify (at once when nothing runs). Stop closes the file.
    void BeginStop(HWND hNotify, UINT uMsg);
    // Writes what is still queued, waits for the mixer and closes the file.
    void Stop();
    // The recording's clock stands still while paused: the paused span is left out.
    void Pause();
    void Resume();
    // The same for a system sleep, which the performance counter runs on through;
    // blocks that arrive meanwhile are dropped. Independent of the user's pause.
    void Suspend();
    void ResumeAfterSuspend();

    // A received 320-byte block (copied) of connection nStream, which arrived
    // nAgoUs before now; false when the block is not 320 bytes.
    bool AddMicBlock(const CBuffer* pBlock, uint32_t nStream = 0, int64_t nAgoUs = 0);
    bool AddRemoteBlock(const CBuffer* pBlock, uint32_t nStream = 0, int64_t nAgoUs = 0);

    bool IsActive() const { return m_bActive; }
    // The mixer is far behind that side (a sender much faster than the clock).
    bool IsBacklogged(bool bMic) const { return m_timeline.IsBacklogged(bMic ? TIMELINE_MIC : TIMELINE_REMOTE); }
    // The mixer has had ticks to write and no write has gone through for a while.
    bool IsWriterStalled() const { return ::GetTickCount64() - m_nWriterReadyMs > RECORDER_WRITER_STALL_MS; }
    // Blocks taken per side and 10 ms ticks written during the last recording.
    uint64_t GetMicBlocksQueued() const { return m_timeline.GetBlocks(TIMELINE_MIC); }
    uint64_t GetRemoteBlocksQueued() const { return m_timeline.GetBlocks(TIMELINE_REMOTE); }
    uint64_t GetBlocksDropped() const;
    uint64_t GetBlocksWritten() const { return m_nTicksWritten; }
    size_t GetPoolBlocks() { return m_timeline.GetPoolBlocks(); }
    // Seconds the file of the last recording holds when a write to it failed; -1 when none did.
    int GetFailedFileSeconds() const;
    // Seconds of audio the file of the last recording holds, whatever the wall clock did.
    int GetRecordedSeconds() const;
    // The caller tells the user why the running recording ends: failed writes are no
    // longer reported. True when one had been reported already.
    bool QuietWriteFailures();
    // Milliseconds of the recording's clock since that side last brought a block that
    // was not digital silence; since the start when it never did. Pauses do not count.
    int64_t GetSilentMs(bool bMic) const;

protected:
    // Starts mixing into a writer that is already open.
    bool StartWithWriter(IWriteToFile* pWriter, bool bStereo, int nRecordSide);

private:
    bool AddBlock(int nSide, const CBuffer* pBlock, uint32_t nStream, int64_t nAgoUs, bool bWanted);
    int64_t NowUs() const;
    void HoldClock(int nWhy);
    void ReleaseClock(int nWhy);
    void ReportWriteFailure(DWORD dwError);
    void MixerLoop();
    static DWORD WINAPI MixerThread(void* pParam);

    static CRecorder* s_pInstance;

    IWriteToFile* m_pWriter = nullptr;
    CMp3File m_mp3File;
    std::wstring m_strPath;
    std::atomic<bool> m_bActive{false};
    std::atomic<bool> m_bTaking{false};  // blocks are still put on the timeline
    std::atomic<int64_t> m_nLastBlockUs{0};
    std::atomic<int64_t> m_nLastSoundUs[2] = {0, 0};  // per timeline side
    std::atomic<int64_t> m_nStopAtUs{0};
    std::atomic<bool> m_bStereo{true};
    std::atomic<int> m_nRecordSide{RECSIDE_BOTH};
    CTimeline m_timeline;
    // Clock: QueryPerformanceCounter units since the start, less the spans it was
    // held (paused, suspended). Set by the GUI thread, read by every thread.
    int64_t m_nFrequency = 1;
    mutable CCriticalSection m_clockLock;
    int64_t m_nStartCount = 0;
    int64_t m_nHeldCounts = 0;
    int64_t m_nHeldAt = 0;
    int m_nHolds = 0;  // CLOCK_HELD_* bits
    std::atomic<bool> m_bSuspended{false};
    CHandle m_hMixerThread;
    CEvent m_wake{false, false};
    std::atomic<bool> m_bMixerDone{true};
    // Told by the mixer once a stop has written everything.
    std::atomic<HWND> m_hNotify{nullptr};
    std::atomic<UINT> m_uNotifyMsg{0};
    std::atomic<bool> m_bWriteFailed{false};
    std::atomic<int> m_nFailureReport{0};  // 0 none yet, 1 reported, 2 left to the caller
    std::atomic<uint64_t> m_nTicksWritten{0};
    // When the mixer last stood ready for more: a write went through, or there was nothing to write.
    std::atomic<uint64_t> m_nWriterReadyMs{0};
    int16_t m_mix[TIMELINE_TAKE_MAX_TICKS * 160 * 2];
};
