#include "audiofile/Mp3File.h"

#include <lame/lame.h>

#include <cstdlib>
#include <new>
#include <string>

#include "audiofile/AudioErrors.h"
#include "base/Notifier.h"

namespace {

// LAME talks to stderr by default; a recorder has no console.
void SilentReport(const char*, va_list) {}

// Frames per channel handed to LAME in one call; larger buffers go in pieces.
constexpr int MP3_CHUNK_FRAMES = 4608;
// The C library's buffer goes to the disk this often (and at the close).
constexpr uint64_t MP3_FLUSH_MS = 250;

// The system's reason for a failed C stream call: the C library keeps it in _doserrno.
DWORD StreamError() {
    DWORD dwError = static_cast<DWORD>(_doserrno);
    if (dwError == 0) dwError = ::GetLastError();
    return dwError ? dwError : ERROR_WRITE_FAULT;
}

// LAME's own worst case for the output of one call (and of the final flush).
int OutputBufferSize(lame_t hStream) {
    int nFrames = lame_get_framesize(hStream);
    if (nFrames < MP3_CHUNK_FRAMES) nFrames = MP3_CHUNK_FRAMES;
    return nFrames * 5 / 4 + 7200;
}

void ShowCreateFailed(DWORD dwError) {
    wchar_t* pszText = nullptr;
    DWORD dwLen = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, dwError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&pszText), 0, nullptr);
    if (dwLen && pszText)
        NotifyMessageBox(nullptr, pszText, L"Ombra Skype Recorder Create Mp3 File Failed!", MB_ICONERROR);
    if (pszText) ::LocalFree(pszText);
}

lame_t CreateEncoder(int nChannelMode, int nOutSampleRate, int nBitrateKbps) {
    lame_t hStream = lame_init();
    if (!hStream) return nullptr;
    lame_set_errorf(hStream, SilentReport);
    lame_set_debugf(hStream, SilentReport);
    lame_set_msgf(hStream, SilentReport);

    // The tuned preset is a VBR one; LAME's nearest constant-bit-rate form is
    // its CBR preset for the chosen rate, then VBR switched off again.
    if (nBitrateKbps >= 8 && nBitrateKbps <= 320) lame_set_preset(hStream, nBitrateKbps);
    lame_set_VBR(hStream, vbr_off);

    MPEG_mode mode = MONO;
    int nChannels = 1;
    if (nChannelMode == MP3_CHANNEL_STEREO) {
        mode = STEREO;
        nChannels = 2;
    } else if (nChannelMode == MP3_CHANNEL_JOINT_STEREO) {
        mode = JOINT_STEREO;
        nChannels = 2;
    }
    lame_set_in_samplerate(hStream, MP3_INPUT_SAMPLE_RATE);
    lame_set_num_channels(hStream, nChannels);
    lame_set_mode(hStream, mode);
    // LAME keeps its own choice when told a rate MPEG does not have: refuse instead.
    if (nOutSampleRate > 0 && lame_set_out_samplerate(hStream, nOutSampleRate) != 0) {
        lame_close(hStream);
        return nullptr;
    }
    lame_set_brate(hStream, nBitrateKbps);
    lame_set_copyright(hStream, 0);
    lame_set_original(hStream, 1);
    lame_set_error_protection(hStream, 0);
    lame_set_emphasis(hStream, 0);
    lame_set_disable_reservoir(hStream, 1);
    lame_set_bWriteVbrTag(hStream, 0);
    if (lame_init_params(hStream) != 0) {
        lame_close(hStream);
        return nullptr;
    }
    return hStream;
}

}  // namespace

CMp3File::~CMp3File() {
    if (!m_bClosed) Finish();
}

double CMp3File::GetSecondsOnDisk() const { return static_cast<double>(m_nFramesOnDisk) / MP3_INPUT_SAMPLE_RATE; }

void CMp3File::Fail(DWORD dwOwnError) {
    if (m_dwFailure == 0) m_dwFailure = StreamError();
    ::SetLastError(dwOwnError);
}

bool CMp3File::PutOut(const uint8_t* pData, size_t nBytes) {
    if (nBytes == 0) return true;
    _doserrno = 0;
    if (::fwrite(pData, 1, nBytes, m_pFile) != nBytes) {
        Fail(AUDIOERR_SHORT_WRITE);
        return false;
    }
    return true;
}

bool CMp3File::FlushToDisk() {
    _doserrno = 0;
    m_nLastFlushMs = ::GetTickCount64();
    if (::fflush(m_pFile) != 0) {
        Fail(AUDIOERR_SHORT_WRITE);
        return false;
    }
    if (m_dwFailure == 0) m_nFramesOnDisk = m_nFramesIn;
    return true;
}

bool CMp3File::Open(const wchar_t* pszPath, int nChannelMode, int nOutSampleRate, int nBitrateKbps) {
    if (!pszPath) return false;
    if (!m_bClosed) Finish();  // a writer is reused: never leak an open encoding

    m_pFile = ::_wfopen(pszPath, L"w+b");
    if (!m_pFile) {
        // _wfopen keeps the system's reason in the thread's last error.
        DWORD dwError = ::GetLastError();
        if (dwError == 0) dwError = static_cast<DWORD>(_doserrno);
        ShowCreateFailed(dwError);
        return false;
    }

    m_hStream = CreateEncoder(nChannelMode, nOutSampleRate, nBitrateKbps);
    if (!m_hStream) {
        // The encoder refused the configuration: the empty file stays.
        ::fclose(m_pFile);
        m_pFile = nullptr;
        return false;
    }
    m_nChannels = lame_get_num_channels(m_hStream);
    m_nOutBufferSize = OutputBufferSize(m_hStream);
    m_pOutBuffer = new (std::nothrow) uint8_t[m_nOutBufferSize];
    if (!m_pOutBuffer) {
        lame_close(m_hStream);
        m_hStream = nullptr;
        ::fclose(m_pFile);
        m_pFile = nullptr;
        return false;
    }
    m_dwFlushed = 0;
    m_dwFailure = 0;
    m_nFramesIn = 0;
    m_nFramesOnDisk = 0;
    m_nLastFlushMs = ::GetTickCount64();
    m_bClosed = false;
    return true;
}

bool CMp3File::Write(const CBuffer* pBuffer) {
    if (m_bClosed) {
        ::SetLastError(AUDIOERR_WRITER_CLOSED);
        return false;
    }
    if (!m_pFile) {
        ::SetLastError(AUDIOERR_NO_FILE);
        return false;
    }
    if (!m_hStream) return false;
    if (!pBuffer || (!pBuffer->m_pData && pBuffer->m_nSize > 0) || pBuffer->m_nSize < 0) {
        ::SetLastError(AUDIOERR_ENCODE);
        return false;
    }

    // The sample count covers both channels of a stereo buffer; LAME counts per channel.
    int nFrames = pBuffer->m_nSize / 2 / m_nChannels;
    short* pSamples = reinterpret_cast<short*>(pBuffer->m_pData);
    while (nFrames > 0) {
        int nChunk = nFrames < MP3_CHUNK_FRAMES ? nFrames : MP3_CHUNK_FRAMES;
        int nBytes;
        if (m_nChannels == 2)
            nBytes = lame_encode_buffer_interleaved(m_hStream, pSamples, nChunk, m_pOutBuffer,
                                                    m_nOutBufferSize);
        else
            nBytes = lame_encode_buffer(m_hStream, pSamples, pSamples, nChunk, m_pOutBuffer,
                                        m_nOutBufferSize);
        if (nBytes < 0) {
            ::SetLastError(AUDIOERR_ENCODE);
            return false;
        }
        if (!PutOut(m_pOutBuffer, static_cast<size_t>(nBytes))) return false;
        pSamples += nChunk * m_nChannels;
        nFrames -= nChunk;
        m_nFramesIn += static_cast<uint64_t>(nChunk);
    }
    if (::GetTickCount64() - m_nLastFlushMs >= MP3_FLUSH_MS) return FlushToDisk();
    return true;
}

bool CMp3File::Close() {
    if (!m_bClosed) return Finish();
    return true;
}

bool CMp3File::Finish() {
    bool bOk = true;
    if (m_hStream && m_pOutBuffer) {
        int nFlushed = lame_encode_flush(m_hStream, m_pOutBuffer, m_nOutBufferSize);
        m_dwFlushed = nFlushed > 0 ? static_cast<uint32_t>(nFlushed) : 0;
        if (nFlushed > 0 && m_pFile) bOk = PutOut(m_pOutBuffer, m_dwFlushed);
    }
    // The stream, file and buffer are released whether or not the flush worked.
    if (m_hStream) lame_close(m_hStream);
    if (m_pFile) {
        if (!FlushToDisk()) bOk = false;
        _doserrno = 0;
        if (::fclose(m_pFile) != 0) {
            Fail(AUDIOERR_SHORT_WRITE);
            bOk = false;
        }
    }
    delete[] m_pOutBuffer;
    m_pOutBuffer = nullptr;
    m_nOutBufferSize = 0;
    m_pFile = nullptr;
    m_hStream = nullptr;
    m_bClosed = true;
    return bOk && m_dwFailure == 0;
}
