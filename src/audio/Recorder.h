#pragma once
// Turns the two received streams into one recording: each side's blocks are
// copied into pooled buffers and queued; a mixer thread per recording pairs
// the n-th microphone block with the n-th remote block and writes the result.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "audio/BlockQueue.h"
#include "audio/BufferPool.h"
#include "audiofile/Mp3File.h"
#include "base/Handle.h"
#include "base/Lock.h"

// The mixer looks again this long after finding a queue empty.
constexpr DWORD RECORDER_IDLE_SLEEP_MS = 300;

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
    // ".mp3"; nChannelMode 0 mono, 1 stereo, 2 joint stereo. A one-sided
    // recording (nRecordSide not 0) writes every block as soon as it is queued.
    bool Start(const wchar_t* pszPath, int nChannelMode, int nOutSampleRate, int nBitrateKbps,
               int nRecordSide = RECSIDE_BOTH);
    // Starts mixing into a writer that is already open (the MP3 file, or a test's writer).
    bool StartWithWriter(IWriteToFile* pWriter, bool bStereo, int nRecordSide = RECSIDE_BOTH);
    // Lets the mixer drain both queues, then closes the file. Keeps the calling
    // thread's window messages flowing meanwhile.
    void Stop();

    // A received 320-byte block (copied); false when the block is not 320 bytes.
    bool AddMicBlock(const CBuffer* pBlock);
    bool AddRemoteBlock(const CBuffer* pBlock);

    bool IsActive() const { return m_bActive; }
    CBufferPool& GetMicPool() { return m_micPool; }
    CBufferPool& GetRemotePool() { return m_remotePool; }
    // Blocks queued per side and results written since the recorder was made.
    uint64_t GetMicBlocksQueued() const { return m_nMicQueued; }
    uint64_t GetRemoteBlocksQueued() const { return m_nRemoteQueued; }
    uint64_t GetBlocksWritten() const { return m_nBlocksWritten; }

private:
    struct CSide {
        CBufferPool* pPool;
        CBlockQueue* pQueue;
        CCriticalSection* pLock;
    };
    bool AddBlock(const CBuffer* pBlock, CSide side, bool bWanted, std::atomic<uint64_t>& nCount);
    CBuffer* TakeOldest(CSide side);
    void GiveBack(CSide side, CBuffer* pBlock);
    bool HasBlock(CSide side);
    void DiscardQueued(CSide side);
    void WriteResult(CBuffer* pResult, bool bOwned, int nBlocks);
    void MixerLoop();
    static DWORD WINAPI MixerThread(void* pParam);

    static CRecorder* s_pInstance;

    IWriteToFile* m_pWriter = nullptr;
    CMp3File m_mp3File;
    std::atomic<bool> m_bActive{false};
    std::atomic<bool> m_bStereo{true};
    std::atomic<bool> m_bOneSide{false};
    std::atomic<int> m_nRecordSide{RECSIDE_BOTH};
    CBufferPool m_micPool;
    CBufferPool m_remotePool;
    CBlockQueue m_micQueue;
    CBlockQueue m_remoteQueue;
    CCriticalSection m_micQueueLock;
    CCriticalSection m_remoteQueueLock;
    CHandle m_hMixerThread;
    CEvent m_wake{false, false};
    std::atomic<bool> m_bMixerDone{true};
    std::atomic<uint64_t> m_nMicQueued{0};
    std::atomic<uint64_t> m_nRemoteQueued{0};
    std::atomic<uint64_t> m_nBlocksWritten{0};
};
