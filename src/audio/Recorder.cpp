#include "audio/Recorder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "audio/AudioBlock.h"
#include "audiofile/AudioErrors.h"
#include "base/Clock.h"
#include "base/Log.h"
#include "base/Notifier.h"
#include "base/StringUtil.h"

namespace {
// Why the recording's clock stands still.
constexpr int CLOCK_HELD_PAUSE = 1;
constexpr int CLOCK_HELD_SUSPEND = 2;

int64_t PerformanceCount() {
    LARGE_INTEGER li;
    ::QueryPerformanceCounter(&li);
    return li.QuadPart;
}

// A muted microphone sends zeros; a dithered one at most one step either way.
bool IsDigitalSilence(const uint8_t* pBlock) {
    for (int i = 0; i < AUDIO_BLOCK_SAMPLES; ++i) {
        int16_t s;
        std::memcpy(&s, pBlock + 2 * i, 2);
        if (s > 1 || s < -1) return false;
    }
    return true;
}
}  // namespace

CRecorder* CRecorder::s_pInstance = nullptr;

CRecorder* CRecorder::GetInstance() {
    if (!s_pInstance) s_pInstance = new (std::nothrow) CRecorder();
    return s_pInstance;
}

void CRecorder::DestroyInstance() {
    delete s_pInstance;
    s_pInstance = nullptr;
}

CRecorder::CRecorder() {
    LARGE_INTEGER li;
    ::QueryPerformanceFrequency(&li);
    m_nFrequency = li.QuadPart > 0 ? li.QuadPart : 1;
}

CRecorder::~CRecorder() {
    Stop();
    if (m_pWriter) {
        m_pWriter->Close();
        m_pWriter = nullptr;
    }
}

bool CRecorder::Start(const wchar_t* pszPath, int nChannelMode, int nOutSampleRate, int nBitrateKbps,
                      int nRecordSide, const Mp3Tags* pTags) {
    if (!pszPath) {
        ::SetLastError(AUDIOERR_NULL_PATH);
        return false;
    }
    // One recording at a time; a stop still draining is still writing into the MP3
    // file, which must not be reopened under it.
    if (m_bActive || m_hMixerThread.IsValid()) {
        ::SetLastError(ERROR_BUSY);
        return false;
    }
    if (!m_mp3File.Open(pszPath, nChannelMode, nOutSampleRate, nBitrateKbps, pTags)) return false;
    m_strPath = m_mp3File.GetPath();
    // Feed what the encoder takes: a mode it does not know gives a mono encoder,
    // and stereo frames into it would play at half speed.
    return StartWithWriter(&m_mp3File, m_mp3File.GetChannels() == 2, nRecordSide);
}

bool CRecorder::StartWithWriter(IWriteToFile* pWriter, bool bStereo, int nRecordSide) {
    if (!pWriter || m_bActive || m_hMixerThread.IsValid()) {
        ::SetLastError(ERROR_BUSY);
        return false;
    }
    // Whatever slipped in after the last stop belongs to the previous call.
    m_timeline.Reset();
    if (pWriter != &m_mp3File) m_strPath.clear();
    m_bStereo = bStereo;
    m_nRecordSide = nRecordSide;
    m_pWriter = pWriter;
    m_nTicksWritten = 0;
    m_bWriteFailed = false;
    m_nFailureReport = 0;
    {
        CLock lock(m_clockLock);
        m_nStartCount = PerformanceCount();
        m_nHeldCounts = 0;
        m_nHeldAt = 0;
        m_nHolds = 0;
    }
    m_bSuspended = false;
    m_hNotify = nullptr;
    m_bMixerDone = false;
    m_nLastBlockUs = 0;
    m_nLastSoundUs[TIMELINE_MIC] = 0;
    m_nLastSoundUs[TIMELINE_REMOTE] = 0;
    m_nStopAtUs = 0;
    m_bTaking = true;
    m_bActive = true;
    HANDLE hThread = ::CreateThread(nullptr, 0, MixerThread, this, 0, nullptr);
    if (!hThread) {
        const DWORD dwError = ::GetLastError();
        m_bActive = false;
        m_bTaking = false;
        m_bMixerDone = true;
        m_pWriter->Close();
        m_pWriter = nullptr;
        ::SetLastError(dwError);
        return false;
    }
    m_hMixerThread.Reset(hThread);
    LogLine(L"recording started: %s (%s, side %d)", m_strPath.c_str(), bStereo ? L"stereo" : L"mono", nRecordSide);
    return true;
}

void CRecorder::BeginStop(HWND hNotify, UINT uMsg) {
    if (!m_bActive) {
        if (hNotify) ::PostMessageW(hNotify, uMsg, 0, 0);
        return;
    }
    m_uNotifyMsg = uMsg;
    m_hNotify = hNotify;
    ReleaseClock(CLOCK_HELD_PAUSE | CLOCK_HELD_SUSPEND);
    m_bSuspended = false;
    const int64_t nNow = NowUs();
    const bool bDelivering = m_nLastBlockUs != 0 && nNow - m_nLastBlockUs < 2 * RECORDER_STOP_GRACE_US;
    m_nStopAtUs = bDelivering ? nNow + RECORDER_STOP_GRACE_US : nNow;
    m_bActive = false;
    m_wake.Set();  // no need to sit out the idle sleep
}

void CRecorder::Stop() {
    BeginStop(nullptr, 0);
    // No message loop here: the window that asked is told by BeginStop's message,
    // and a plain wait cannot run another window's handler in the middle of ours.
    if (m_hMixerThread.IsValid()) ::WaitForSingleObject(m_hMixerThread, INFINITE);
    m_hMixerThread.Close();
    if (m_pWriter) {
        if (!m_pWriter->Close() && !m_bWriteFailed) {
            m_bWriteFailed = true;
            ReportWriteFailure(m_pWriter == &m_mp3File ? m_mp3File.GetFailure() : ::GetLastError());
        }
        m_pWriter = nullptr;
    }
    LogLine(L"recording finished: %s, blocks %I64u mine + %I64u remote, %I64u dropped, %.2f s written%s",
            m_strPath.c_str(), GetMicBlocksQueued(), GetRemoteBlocksQueued(), GetBlocksDropped(),
            m_nTicksWritten * (TIMELINE_TICK_US / 1e6), m_bWriteFailed ? L", a write failed" : L"");
}

void CRecorder::HoldClock(int nWhy) {
    CLock lock(m_clockLock);
    if (m_nHolds == 0) m_nHeldAt = PerformanceCount();
    m_nHolds |= nWhy;
}

void CRecorder::ReleaseClock(int nWhy) {
    CLock lock(m_clockLock);
    if (!(m_nHolds & nWhy)) return;
    m_nHolds &= ~nWhy;
    if (m_nHolds == 0) m_nHeldCounts += PerformanceCount() - m_nHeldAt;
}

void CRecorder::Pause() { HoldClock(CLOCK_HELD_PAUSE); }

void CRecorder::Resume() { ReleaseClock(CLOCK_HELD_PAUSE); }

void CRecorder::Suspend() {
    if (!m_bActive) return;
    m_bSuspended = true;
    HoldClock(CLOCK_HELD_SUSPEND);
}

void CRecorder::ResumeAfterSuspend() {
    ReleaseClock(CLOCK_HELD_SUSPEND);
    m_bSuspended = false;
}

int64_t CRecorder::NowUs() const {
    CLock lock(m_clockLock);
    const int64_t nCount = m_nHolds ? m_nHeldAt : PerformanceCount();
    return CountsToUs(nCount - m_nStartCount - m_nHeldCounts, m_nFrequency);
}

bool CRecorder::AddMicBlock(const CBuffer* pBlock, uint32_t nStream, int64_t nAgoUs) {
    const bool bWanted = m_nRecordSide == RECSIDE_BOTH || m_nRecordSide == RECSIDE_MINE;
    return AddBlock(TIMELINE_MIC, pBlock, nStream, nAgoUs, bWanted);
}

bool CRecorder::AddRemoteBlock(const CBuffer* pBlock, uint32_t nStream, int64_t nAgoUs) {
    return AddBlock(TIMELINE_REMOTE, pBlock, nStream, nAgoUs, m_nRecordSide != RECSIDE_MINE);
}

bool CRecorder::AddBlock(int nSide, const CBuffer* pBlock, uint32_t nStream, int64_t nAgoUs, bool bWanted) {
    if (!pBlock || pBlock->m_nSize != AUDIO_BLOCK_BYTES || !pBlock->m_pData) return false;
    // Discarded: no recording, the side this recording leaves out, or the machine going to sleep.
    if (!m_bTaking || !bWanted || m_bSuspended) return true;
    const int64_t nNow = NowUs();
    m_nLastBlockUs = nNow;
    if (!IsDigitalSilence(pBlock->m_pData)) m_nLastSoundUs[nSide] = nNow;
    // Never before the recording began.
    m_timeline.AddBlock(nSide, nStream, pBlock->m_pData, std::max<int64_t>(0, nNow - std::max<int64_t>(0, nAgoUs)));
    return true;
}

uint64_t CRecorder::GetBlocksDropped() const {
    return m_timeline.GetDropped(TIMELINE_MIC) + m_timeline.GetDropped(TIMELINE_REMOTE);
}

int64_t CRecorder::GetSilentMs(bool bMic) const {
    return (NowUs() - m_nLastSoundUs[bMic ? TIMELINE_MIC : TIMELINE_REMOTE]) / 1000;
}

int CRecorder::GetFailedFileSeconds() const {
    if (!m_bWriteFailed) return -1;
    if (!m_strPath.empty()) return static_cast<int>(m_mp3File.GetSecondsOnDisk());
    return 0;
}

int CRecorder::GetRecordedSeconds() const {
    const int nFailed = GetFailedFileSeconds();
    if (nFailed >= 0) return nFailed;
    const uint64_t nTicksPerSecond = 1000000 / TIMELINE_TICK_US;
    return static_cast<int>((m_nTicksWritten + nTicksPerSecond / 2) / nTicksPerSecond);
}

bool CRecorder::QuietWriteFailures() {
    int nExpected = 0;
    return !m_nFailureReport.compare_exchange_strong(nExpected, 2) && nExpected == 1;
}

void CRecorder::ReportWriteFailure(DWORD dwError) {
    int nExpected = 0;
    if (!m_nFailureReport.compare_exchange_strong(nExpected, 1)) return;
    std::wstring strReason = SystemErrorText(dwError);
    if (strReason.empty()) strReason = L"Error " + std::to_wstring(dwError) + L".";
    std::wstring strText = L"The recording could not be written to the file '" + m_strPath + L"'!\n" + strReason;
    // The mixer goes on meanwhile: whatever the user takes to answer, the call is not held up.
    NotifyMessageBoxAside(strText, L"Ombra Skype Recorder", MB_ICONERROR);
}

DWORD WINAPI CRecorder::MixerThread(void* pParam) {
    static_cast<CRecorder*>(pParam)->MixerLoop();
    return 0;
}

void CRecorder::MixerLoop() {
    const bool bStereo = m_bStereo;
    const int nChannels = bStereo ? 2 : 1;
    int64_t nTakenSinceWait = 0;
    DWORD dwLastWait = RECORDER_IDLE_SLEEP_MS;
    m_nWriterReadyMs = ::GetTickCount64();
    for (;;) {
        const int64_t nNow = NowUs();
        const bool bStopping = !m_bActive;
        const bool bDrain = bStopping && nNow >= m_nStopAtUs;
        if (bDrain) m_bTaking = false;
        int nTicks = m_timeline.Take(nNow, bDrain, bStereo, m_mix, TIMELINE_TAKE_MAX_TICKS);
        if (nTicks > 0) {
            CBuffer result;
            result.m_pData = reinterpret_cast<uint8_t*>(m_mix);
            result.m_nSize = nTicks * AUDIO_BLOCK_BYTES * nChannels;
            if (m_pWriter->Write(&result)) {
                m_nWriterReadyMs = ::GetTickCount64();
            } else if (!m_bWriteFailed) {
                // Told once; the mixer goes on, so a disk that gets room again gets the rest.
                DWORD dwError = m_pWriter == &m_mp3File ? m_mp3File.GetFailure() : ::GetLastError();
                m_bWriteFailed = true;
                ReportWriteFailure(dwError);
            }
            m_nTicksWritten += nTicks;
            nTakenSinceWait += nTicks;
            continue;
        }
        if (bDrain) break;
        // Senders faster than the clock brought more than twice the wait: the encoder
        // sets the pace then, and the mixer comes back soon.
        DWORD dwWait = nTakenSinceWait * TIMELINE_TICK_US / 1000 > 2 * int64_t{dwLastWait} ? RECORDER_BUSY_SLEEP_MS
                                                                                            : RECORDER_IDLE_SLEEP_MS;
        nTakenSinceWait = 0;
        dwLastWait = dwWait;
        if (bStopping) dwWait = static_cast<DWORD>(std::min<int64_t>(dwWait, (m_nStopAtUs - nNow) / 1000 + 1));
        m_nWriterReadyMs = ::GetTickCount64();
        ::WaitForSingleObject(m_wake, dwWait);
    }
    m_bMixerDone = true;
    if (HWND hNotify = m_hNotify.exchange(nullptr)) ::PostMessageW(hNotify, m_uNotifyMsg, 0, 0);
}
