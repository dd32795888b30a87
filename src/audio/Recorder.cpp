#include "audio/Recorder.h"

#include <cstring>

#include "audio/AudioBlock.h"
#include "audio/Mixer.h"
#include "audiofile/AudioErrors.h"

CRecorder* CRecorder::s_pInstance = nullptr;

CRecorder* CRecorder::GetInstance() {
    if (!s_pInstance) s_pInstance = new (std::nothrow) CRecorder();
    return s_pInstance;
}

void CRecorder::DestroyInstance() {
    delete s_pInstance;
    s_pInstance = nullptr;
}

CRecorder::CRecorder() = default;

CRecorder::~CRecorder() {
    Stop();
    if (m_pWriter) {
        m_pWriter->Close();
        m_pWriter = nullptr;
    }
    // Blocks still queued belong to the pools, which free them.
}

bool CRecorder::Start(const wchar_t* pszPath, int nChannelMode, int nOutSampleRate,
                      int nBitrateKbps, int nRecordSide) {
    if (!pszPath) {
        ::SetLastError(AUDIOERR_NULL_PATH);
        return false;
    }
    // One recording at a time; a stop still draining (its wait dispatches messages)
    // is still writing into the MP3 file, which must not be reopened under it.
    if (m_bActive || m_hMixerThread.IsValid()) return false;
    if (!m_mp3File.Open(pszPath, nChannelMode, nOutSampleRate, nBitrateKbps)) return false;
    // Feed what the encoder takes: a mode it does not know gives a mono encoder,
    // and stereo frames into it would play at half speed.
    return StartWithWriter(&m_mp3File, m_mp3File.GetChannels() == 2, nRecordSide);
}

bool CRecorder::StartWithWriter(IWriteToFile* pWriter, bool bStereo, int nRecordSide) {
    if (!pWriter || m_bActive || m_hMixerThread.IsValid()) return false;
    // A block that slipped in after the last stop belongs to the previous call.
    DiscardQueued({&m_micPool, &m_micQueue, &m_micQueueLock});
    DiscardQueued({&m_remotePool, &m_remoteQueue, &m_remoteQueueLock});
    m_bStereo = bStereo;
    m_nRecordSide = nRecordSide;
    m_bOneSide = nRecordSide != RECSIDE_BOTH;
    m_pWriter = pWriter;
    m_bMixerDone = false;
    m_bActive = true;
    HANDLE hThread = ::CreateThread(nullptr, 0, MixerThread, this, 0, nullptr);
    if (!hThread) {
        m_bActive = false;
        m_bMixerDone = true;
        m_pWriter->Close();
        m_pWriter = nullptr;
        return false;
    }
    m_hMixerThread.Reset(hThread);
    return true;
}

void CRecorder::Stop() {
    if (!m_bActive) return;
    m_bActive = false;
    m_wake.Set();  // no need to sit out the idle sleep: drain now
    if (!m_bMixerDone && m_hMixerThread.IsValid()) {
        HANDLE hThread = m_hMixerThread.Get();
        // A quit request that arrives during the drain belongs to the caller's own
        // message loop: keep it and post it again once the file is complete.
        bool bQuit = false;
        MSG quit = {};
        for (;;) {
            DWORD dwResult = ::MsgWaitForMultipleObjects(1, &hThread, FALSE, INFINITE, QS_ALLINPUT);
            if (dwResult == WAIT_OBJECT_0) break;
            if (dwResult == WAIT_FAILED) break;
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    bQuit = true;
                    quit = msg;
                    continue;
                }
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            ::Sleep(5);
        }
        if (bQuit) {
            if (quit.hwnd)
                ::PostMessageW(quit.hwnd, WM_QUIT, quit.wParam, quit.lParam);
            else
                ::PostQuitMessage(static_cast<int>(quit.wParam));
        }
    }
    m_hMixerThread.Close();
    if (m_pWriter) {
        m_pWriter->Close();
        m_pWriter = nullptr;
    }
}

bool CRecorder::AddMicBlock(const CBuffer* pBlock) {
    return AddBlock(pBlock, {&m_micPool, &m_micQueue, &m_micQueueLock},
                    m_nRecordSide == RECSIDE_BOTH || m_nRecordSide == RECSIDE_MINE,
                    m_nMicQueued);
}

bool CRecorder::AddRemoteBlock(const CBuffer* pBlock) {
    return AddBlock(pBlock, {&m_remotePool, &m_remoteQueue, &m_remoteQueueLock},
                    m_nRecordSide != RECSIDE_MINE, m_nRemoteQueued);
}

bool CRecorder::AddBlock(const CBuffer* pBlock, CSide side, bool bWanted,
                         std::atomic<uint64_t>& nCount) {
    if (!pBlock || pBlock->m_nSize != AUDIO_BLOCK_BYTES || !pBlock->m_pData) return false;
    // Discarded: no recording, or the side this recording leaves out.
    if (!m_bActive || !bWanted) return true;
    CLock lock(*side.pLock);
    CBuffer* pCopy = side.pPool->Take();
    if (pCopy && pCopy->m_nSize == AUDIO_BLOCK_BYTES) {
        std::memcpy(pCopy->m_pData, pBlock->m_pData, AUDIO_BLOCK_BYTES);
        if (side.pQueue->Push(pCopy))
            ++nCount;
        else
            side.pPool->GiveBack(pCopy);
    }
    return true;
}

CBuffer* CRecorder::TakeOldest(CSide side) {
    CLock lock(*side.pLock);
    return side.pQueue->Pop();
}

void CRecorder::GiveBack(CSide side, CBuffer* pBlock) {
    CLock lock(*side.pLock);
    side.pPool->GiveBack(pBlock);
}

bool CRecorder::HasBlock(CSide side) {
    CLock lock(*side.pLock);
    return !side.pQueue->IsEmpty();
}

void CRecorder::DiscardQueued(CSide side) {
    CLock lock(*side.pLock);
    while (CBuffer* pBlock = side.pQueue->Pop()) side.pPool->GiveBack(pBlock);
}

void CRecorder::WriteResult(CBuffer* pResult, bool bOwned, int nBlocks) {
    if (!pResult) return;  // no memory for the mix: this block is lost, mixing goes on
    m_pWriter->Write(pResult);  // a failed write is not acted upon
    m_nBlocksWritten += nBlocks;
    if (bOwned) delete pResult;
}

DWORD WINAPI CRecorder::MixerThread(void* pParam) {
    static_cast<CRecorder*>(pParam)->MixerLoop();
    return 0;
}

void CRecorder::MixerLoop() {
    CSide mic{&m_micPool, &m_micQueue, &m_micQueueLock};
    CSide remote{&m_remotePool, &m_remoteQueue, &m_remoteQueueLock};
    const bool bStereo = m_bStereo;
    const bool bOneSide = m_bOneSide;

    auto writeSingle = [&](CSide side) {
        CBuffer* pBlock = TakeOldest(side);
        if (!pBlock) return;
        if (bStereo)
            WriteResult(MixSingleStereo(*pBlock), true, 1);
        else
            WriteResult(pBlock, false, 1);
        GiveBack(side, pBlock);
    };

    for (;;) {
        bool bMic = HasBlock(mic);
        bool bRemote = HasBlock(remote);
        if (bOneSide && (bMic || bRemote)) {
            // Only one side is wanted: waiting for partners would hold the whole call in memory.
            writeSingle(bMic ? mic : remote);
        } else if (bMic && bRemote) {
            CBuffer* pMic = TakeOldest(mic);
            CBuffer* pRemote = TakeOldest(remote);
            WriteResult(MixPair(*pMic, *pRemote, bStereo), true, 1);
            GiveBack(mic, pMic);
            GiveBack(remote, pRemote);
        } else if (m_bActive) {
            ::WaitForSingleObject(m_wake, RECORDER_IDLE_SLEEP_MS);
        } else if (bMic) {
            writeSingle(mic);  // stopping: mic surplus first,
        } else if (bRemote) {
            writeSingle(remote);  // then the remote surplus
        } else {
            break;
        }
    }
    m_bMixerDone = true;
}
