#include "audiofile/Mp3File.h"

#include <io.h>
#include <lame/lame.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "audiofile/AudioErrors.h"

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
    // A write the disk took only in part leaves the C library's ENOSPC alone.
    if (dwError == 0 && errno == ENOSPC) dwError = ERROR_DISK_FULL;
    if (dwError == 0) dwError = ::GetLastError();
    return dwError ? dwError : ERROR_WRITE_FAULT;
}

// LAME's own worst case for the output of one call (and of the final flush).
int OutputBufferSize(lame_t hStream) {
    int nFrames = lame_get_framesize(hStream);
    if (nFrames < MP3_CHUNK_FRAMES) nFrames = MP3_CHUNK_FRAMES;
    return nFrames * 5 / 4 + 7200;
}

// Names tried before giving up: far more than recordings of one partner in one second.
constexpr int MP3_MAX_NAME_NUMBER = 1000;

// "x.mp3", then "x (2).mp3", "x (3).mp3"...: the number goes before the extension.
std::wstring NumberedName(const std::wstring& strPath, int nNumber) {
    if (nNumber < 2) return strPath;
    size_t nDot = strPath.rfind(L'.');
    size_t nSep = strPath.find_last_of(L"\\/");
    if (nDot == std::wstring::npos || (nSep != std::wstring::npos && nDot < nSep)) nDot = strPath.size();
    return strPath.substr(0, nDot) + L" (" + std::to_wstring(nNumber) + L")" + strPath.substr(nDot);
}

// A C stream on a file created under the first free name; null with dwError otherwise.
FILE* CreateNewFile(const std::wstring& strPath, std::wstring& strCreated, DWORD& dwError) {
    for (int n = 1; n <= MP3_MAX_NAME_NUMBER; ++n) {
        const std::wstring strName = NumberedName(strPath, n);
        // CREATE_NEW refuses a name that exists: no file is ever emptied, and of two
        // writers racing for one name only one gets it.
        HANDLE hFile = ::CreateFileW(strName.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile == INVALID_HANDLE_VALUE) {
            dwError = ::GetLastError();
            if (dwError == ERROR_FILE_EXISTS || dwError == ERROR_ALREADY_EXISTS) continue;
            return nullptr;
        }
        const int nFd = ::_open_osfhandle(reinterpret_cast<intptr_t>(hFile), 0);
        FILE* pFile = nFd == -1 ? nullptr : ::_wfdopen(nFd, L"w+b");
        if (!pFile) {
            if (nFd == -1)
                ::CloseHandle(hFile);
            else
                ::_close(nFd);
            ::DeleteFileW(strName.c_str());
            dwError = ERROR_TOO_MANY_OPEN_FILES;
            return nullptr;
        }
        strCreated = strName;
        return pFile;
    }
    dwError = ERROR_FILE_EXISTS;
    return nullptr;
}

// With bDoubleRate LAME is handed samples at the output rate, which the writer
// doubled itself; fGain is then the scale the writer must give them first.
lame_t CreateEncoder(int nChannelMode, int nOutSampleRate, int nBitrateKbps, bool bDoubleRate, float& fGain) {
    // A tag, if any, is written by the writer itself before the first frame.
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
    lame_set_in_samplerate(hStream, bDoubleRate ? nOutSampleRate : MP3_INPUT_SAMPLE_RATE);
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
    lame_set_write_id3tag_automatic(hStream, 0);
    // LAME scales the samples before it resamples them: by the bit rate's preset
    // factor, which the preset applied above and lame_init_params applies once
    // more. Resampled outside, the samples take that scale from the upsampler,
    // and LAME's own must come out at exactly 1, or the frames would differ.
    fGain = 1.0f;
    if (bDoubleRate) {
        const float fFactor = lame_get_scale(hStream);  // the scale started at 1
        fGain = fFactor * fFactor;
        float fUndo = 1.0f / fFactor;
        while (fUndo * fFactor > 1.0f) fUndo = std::nextafter(fUndo, 0.0f);
        while (fUndo * fFactor < 1.0f) fUndo = std::nextafter(fUndo, 2.0f);
        lame_set_scale(hStream, fUndo);
    }
    if (lame_init_params(hStream) != 0 || (bDoubleRate && lame_get_scale(hStream) != 1.0f)) {
        lame_close(hStream);
        return nullptr;
    }
    return hStream;
}

// Room left in a new file's tag, so that the names known at the end of the
// recording (partners who joined, full names learnt) still fit into it.
constexpr size_t MP3_TAG_PADDING = 1024;

// LAME's UTF-16 texts: byte-order mark first, NUL-terminated.
std::vector<unsigned short> ToLameUtf16(const std::wstring& str) {
    std::vector<unsigned short> text;
    text.reserve(str.size() + 2);
    text.push_back(0xFEFF);
    for (wchar_t ch : str) text.push_back(static_cast<unsigned short>(ch));
    text.push_back(0);
    return text;
}

void SetTagText(lame_t hStream, const char* pszFrame, const std::wstring& str) {
    if (!str.empty()) id3tag_set_textinfo_utf16(hStream, pszFrame, ToLameUtf16(str).data());
}

// The ID3v2 tag LAME makes of the texts, with nPadding zero bytes after its frames.
std::vector<uint8_t> BuildTag(lame_t hStream, const Mp3Tags& tags, size_t nPadding) {
    id3tag_init(hStream);
    id3tag_add_v2(hStream);
    id3tag_v2_only(hStream);
    id3tag_set_pad(hStream, nPadding);
    SetTagText(hStream, "TIT2", tags.strTitle);
    SetTagText(hStream, "TPE1", tags.strArtist);
    SetTagText(hStream, "TALB", tags.strAlbum);
    const SYSTEMTIME& st = tags.stRecorded;
    if (st.wYear) {
        // ID3v2.3 keeps the date in three frames: year, day and month, hour and minute.
        wchar_t szText[16];
        std::swprintf(szText, 16, L"%04u", st.wYear);
        SetTagText(hStream, "TYER", szText);
        std::swprintf(szText, 16, L"%02u%02u", st.wDay, st.wMonth);
        SetTagText(hStream, "TDAT", szText);
        std::swprintf(szText, 16, L"%02u%02u", st.wHour, st.wMinute);
        SetTagText(hStream, "TIME", szText);
    }
    if (!tags.strComment.empty())
        id3tag_set_comment_utf16(hStream, "eng", ToLameUtf16(L"").data(),
                                 ToLameUtf16(tags.strComment).data());
    std::vector<uint8_t> tag(lame_get_id3v2_tag(hStream, nullptr, 0));
    if (!tag.empty() && lame_get_id3v2_tag(hStream, tag.data(), tag.size()) != tag.size()) tag.clear();
    return tag;
}

// Size of the ID3v2.3 tag at the start of the file (header included); 0 when there is none.
size_t ReadTagSize(FILE* pFile) {
    unsigned char header[10];
    if (::fread(header, 1, 10, pFile) != 10 || std::memcmp(header, "ID3\x03", 4) != 0) return 0;
    for (int i = 6; i < 10; ++i)
        if (header[i] & 0x80) return 0;
    return 10 + ((size_t(header[6]) << 21) | (size_t(header[7]) << 14) | (size_t(header[8]) << 7) |
                 size_t(header[9]));
}

}  // namespace

bool RewriteMp3Tags(const wchar_t* pszPath, const Mp3Tags& tags) {
    if (!pszPath) return false;
    lame_t hStream = lame_init();
    if (!hStream) return false;
    lame_set_errorf(hStream, SilentReport);
    lame_set_debugf(hStream, SilentReport);
    lame_set_msgf(hStream, SilentReport);
    lame_set_in_samplerate(hStream, MP3_INPUT_SAMPLE_RATE);
    lame_set_num_channels(hStream, 1);
    lame_set_mode(hStream, MONO);
    lame_set_write_id3tag_automatic(hStream, 0);
    bool bOk = false;
    FILE* pFile = lame_init_params(hStream) == 0 ? ::_wfopen(pszPath, L"r+b") : nullptr;
    if (pFile) {
        size_t nOld = ReadTagSize(pFile);
        size_t nBare = nOld ? BuildTag(hStream, tags, 0).size() : 0;
        if (nBare && nBare <= nOld) {
            std::vector<uint8_t> tag = BuildTag(hStream, tags, nOld - nBare);
            bOk = tag.size() == nOld && ::fseek(pFile, 0, SEEK_SET) == 0 &&
                  ::fwrite(tag.data(), 1, tag.size(), pFile) == tag.size();
        }
        if (::fclose(pFile) != 0) bOk = false;
    }
    lame_close(hStream);
    return bOk;
}

CMp3File::~CMp3File() {
    if (!m_bClosed) Finish();
}

double CMp3File::GetSecondsOnDisk() const { return static_cast<double>(m_nFramesOnDisk) / MP3_INPUT_SAMPLE_RATE; }

void CMp3File::Fail(DWORD dwOwnError) {
    if (m_dwFailure == 0) {
        m_dwFailure = StreamError();
        // Wine gives no reason for a write the disk took only in part: a drive without
        // room for another buffer is the reason.
        ULARGE_INTEGER avail{};
        if (m_dwFailure == ERROR_WRITE_FAULT && !m_strFolder.empty() &&
            ::GetDiskFreeSpaceExW(m_strFolder.c_str(), &avail, nullptr, nullptr) && avail.QuadPart < 65536)
            m_dwFailure = ERROR_DISK_FULL;
    }
    ::SetLastError(dwOwnError);
}

bool CMp3File::PutOut(const uint8_t* pData, size_t nBytes) {
    if (nBytes == 0) return true;
    _doserrno = 0;
    errno = 0;
    if (::fwrite(pData, 1, nBytes, m_pFile) != nBytes) {
        Fail(AUDIOERR_SHORT_WRITE);
        return false;
    }
    return true;
}

bool CMp3File::FlushToDisk() {
    _doserrno = 0;
    errno = 0;
    m_nLastFlushMs = ::GetTickCount64();
    if (::fflush(m_pFile) != 0) {
        Fail(AUDIOERR_SHORT_WRITE);
        return false;
    }
    if (m_dwFailure == 0) m_nFramesOnDisk = m_nFramesIn;
    return true;
}

bool CMp3File::Open(const wchar_t* pszPath, int nChannelMode, int nOutSampleRate, int nBitrateKbps,
                    const Mp3Tags* pTags) {
    if (!pszPath) return false;
    if (!m_bClosed) Finish();  // a writer is reused: never leak an open encoding

    DWORD dwError = 0;
    m_pFile = CreateNewFile(pszPath, m_strPath, dwError);
    const size_t nSlash = m_strPath.find_last_of(L"\\/");
    m_strFolder = nSlash == std::wstring::npos ? std::wstring() : m_strPath.substr(0, nSlash + 1);
    if (!m_pFile) {
        ::SetLastError(dwError);
        return false;
    }

    // At twice the input rate the writer doubles the rate itself; should LAME not
    // take that set-up, it resamples on its own as at every other rate.
    float fGain = 1.0f;
    m_bDoubleRate = nOutSampleRate == 2 * MP3_INPUT_SAMPLE_RATE;
    m_hStream = m_bDoubleRate ? CreateEncoder(nChannelMode, nOutSampleRate, nBitrateKbps, true, fGain) : nullptr;
    if (!m_hStream) {
        m_bDoubleRate = false;
        m_hStream = CreateEncoder(nChannelMode, nOutSampleRate, nBitrateKbps, false, fGain);
    }
    if (!m_hStream) {
        // The encoder refused the configuration: the empty file stays.
        ::fclose(m_pFile);
        m_pFile = nullptr;
        ::SetLastError(AUDIOERR_ENCODER_REFUSED);
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
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    m_dwFlushed = 0;
    m_dwFailure = 0;
    m_nFramesIn = 0;
    m_nFramesOnDisk = 0;
    m_nLastFlushMs = ::GetTickCount64();
    for (CUpsampler& upsampler : m_upsampler) upsampler.Reset(fGain);
    m_bClosed = false;
    // The tag goes out at once: even a recording stopped before its first block names itself.
    if (pTags) {
        std::vector<uint8_t> tag = BuildTag(m_hStream, *pTags, MP3_TAG_PADDING);
        // A failed write is kept for GetFailure, as for the frames.
        if (PutOut(tag.data(), tag.size())) FlushToDisk();
    }
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
    const int16_t* pSamples = pBuffer->Samples();
    // Doubled, a piece must still fit LAME's call.
    const int nMaxChunk = m_bDoubleRate ? MP3_CHUNK_FRAMES / 2 : MP3_CHUNK_FRAMES;
    while (nFrames > 0) {
        int nChunk = nFrames < nMaxChunk ? nFrames : nMaxChunk;
        if (!Encode(pSamples, nChunk)) return false;
        pSamples += nChunk * m_nChannels;
        nFrames -= nChunk;
        m_nFramesIn += static_cast<uint64_t>(nChunk);
    }
    if (::GetTickCount64() - m_nLastFlushMs >= MP3_FLUSH_MS) return FlushToDisk();
    return true;
}

bool CMp3File::Encode(const int16_t* pSamples, int nFrames) {
    if (m_bDoubleRate) {
        int nDoubled = 0;
        for (int c = 0; c < m_nChannels; ++c)
            nDoubled = m_upsampler[c].Put(pSamples + c, nFrames, m_nChannels, m_doubled[c]);
        return PutEncoded(EncodeDoubled(nDoubled));
    }
    // LAME takes the samples as non-const, but only reads them.
    short* pPcm = const_cast<short*>(reinterpret_cast<const short*>(pSamples));
    return PutEncoded(m_nChannels == 2
                          ? lame_encode_buffer_interleaved(m_hStream, pPcm, nFrames, m_pOutBuffer, m_nOutBufferSize)
                          : lame_encode_buffer(m_hStream, pPcm, pPcm, nFrames, m_pOutBuffer, m_nOutBufferSize));
}

int CMp3File::EncodeDoubled(int nSamples) {
    // Floats on the 16-bit scale are what LAME makes of 16-bit samples anyway.
    return lame_encode_buffer_float(m_hStream, m_doubled[0], m_doubled[m_nChannels - 1], nSamples, m_pOutBuffer,
                                    m_nOutBufferSize);
}

bool CMp3File::PutEncoded(int nBytes) {
    if (nBytes < 0) {
        ::SetLastError(AUDIOERR_ENCODE);
        return false;
    }
    return PutOut(m_pOutBuffer, static_cast<size_t>(nBytes));
}

bool CMp3File::Close() {
    if (!m_bClosed) return Finish();
    return true;
}

bool CMp3File::Finish() {
    bool bOk = true;
    if (m_hStream && m_pOutBuffer) {
        // The samples still waiting for the upsampler's lookahead go first, as LAME's
        // own flush would have made them.
        if (m_bDoubleRate && m_pFile) {
            int nTail = 0;
            for (int c = 0; c < m_nChannels; ++c) nTail = m_upsampler[c].Finish(m_doubled[c]);
            if (!PutEncoded(EncodeDoubled(nTail))) bOk = false;
        }
        int nFlushed = lame_encode_flush(m_hStream, m_pOutBuffer, m_nOutBufferSize);
        m_dwFlushed = nFlushed > 0 ? static_cast<uint32_t>(nFlushed) : 0;
        if (nFlushed > 0 && m_pFile && !PutOut(m_pOutBuffer, m_dwFlushed)) bOk = false;
    }
    // The stream, file and buffer are released whether or not the flush worked.
    if (m_hStream) lame_close(m_hStream);
    if (m_pFile) {
        if (!FlushToDisk()) bOk = false;
        _doserrno = 0;
        errno = 0;
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
