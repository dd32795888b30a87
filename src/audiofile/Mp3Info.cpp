#include "audiofile/Mp3Info.h"

#include <windows.h>

#include <cstring>

namespace {

struct FrameHeader {
    int nLength = 0;   // bytes, header included
    int nSamples = 0;  // per channel
    int nRate = 0;     // Hz
    int nSideInfo = 0; // bytes of side information after the header
};

// A layer III frame header at p; false for anything else.
bool ParseHeader(const unsigned char* p, FrameHeader& header) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const int nVersion = (p[1] >> 3) & 3;  // 0 MPEG 2.5, 2 MPEG 2, 3 MPEG 1
    const int nLayer = (p[1] >> 1) & 3;    // 1 layer III
    const int nBitrateIndex = p[2] >> 4;
    const int nRateIndex = (p[2] >> 2) & 3;
    if (nVersion == 1 || nLayer != 1 || nBitrateIndex == 0 || nBitrateIndex == 15 ||
        nRateIndex == 3)
        return false;
    static const int BITRATES_V1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int BITRATES_V2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int RATES[] = {44100, 48000, 32000};
    const bool bV1 = nVersion == 3;
    const int nBitrate = (bV1 ? BITRATES_V1 : BITRATES_V2)[nBitrateIndex];
    header.nRate = RATES[nRateIndex] >> (bV1 ? 0 : nVersion == 2 ? 1 : 2);
    const int nPadding = (p[2] >> 1) & 1;
    header.nSamples = bV1 ? 1152 : 576;
    header.nLength = (bV1 ? 144000 : 72000) * nBitrate / header.nRate + nPadding;
    const bool bMono = (p[3] >> 6) == 3;
    header.nSideInfo = bV1 ? (bMono ? 17 : 32) : (bMono ? 9 : 17);
    return true;
}

size_t SkipId3v2(const unsigned char* pData, size_t nSize) {
    if (nSize < 10 || std::memcmp(pData, "ID3", 3) != 0) return 0;
    size_t nTag = (size_t(pData[6] & 0x7F) << 21) | (size_t(pData[7] & 0x7F) << 14) |
                  (size_t(pData[8] & 0x7F) << 7) | size_t(pData[9] & 0x7F);
    nTag += 10 + ((pData[5] & 0x10) ? 10 : 0);
    return nTag <= nSize ? nTag : nSize;
}

double DurationOf(const unsigned char* pData, size_t nSize) {
    size_t nPos = SkipId3v2(pData, nSize);
    double dSeconds = 0.0;
    bool bFirst = true;
    while (nPos + 4 <= nSize) {
        FrameHeader header;
        if (!ParseHeader(pData + nPos, header)) {
            ++nPos;  // not a frame here: look for the next one
            continue;
        }
        if (nPos + size_t(header.nLength) > nSize) break;  // the writer stopped inside it
        // The encoder's Info (or Xing) frame describes the file and holds no audio.
        const unsigned char* pTag = pData + nPos + 4 + header.nSideInfo;
        bool bInfo = bFirst && size_t(4 + header.nSideInfo + 4) <= size_t(header.nLength) &&
                     (std::memcmp(pTag, "Info", 4) == 0 || std::memcmp(pTag, "Xing", 4) == 0);
        if (!bInfo) dSeconds += double(header.nSamples) / header.nRate;
        bFirst = false;
        nPos += header.nLength;
    }
    return dSeconds;
}

}  // namespace

double GetMp3Duration(const std::wstring& strPath) {
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return -1.0;
    double dSeconds = -1.0;
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(hFile, &size)) {
        if (size.QuadPart == 0) {
            dSeconds = 0.0;
        } else if (HANDLE hMap = ::CreateFileMappingW(hFile, nullptr, PAGE_READONLY, 0, 0, nullptr)) {
            if (const void* pView = ::MapViewOfFile(hMap, FILE_MAP_READ, 0, 0, 0)) {
                dSeconds = DurationOf(static_cast<const unsigned char*>(pView),
                                          static_cast<size_t>(size.QuadPart));
                ::UnmapViewOfFile(pView);
            }
            ::CloseHandle(hMap);
        }
    }
    ::CloseHandle(hFile);
    return dSeconds;
}
