#include "audiofile/Mp3Info.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/Handle.h"

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

// The length of a leading ID3v2 tag (0 when there is none) from its 10-byte header.
uint64_t Id3v2Length(const unsigned char* p) {
    if (std::memcmp(p, "ID3", 3) != 0) return 0;
    uint64_t nTag = (uint64_t(p[6] & 0x7F) << 21) | (uint64_t(p[7] & 0x7F) << 14) | (uint64_t(p[8] & 0x7F) << 7) |
                    uint64_t(p[9] & 0x7F);
    return nTag + 10 + ((p[5] & 0x10) ? 10 : 0);
}

// Counts the frames of the bytes in the window; bytes of a frame that goes on
// past the window are kept for the next call (a frame is at most 1441 bytes).
class CFrameCounter {
public:
    // Returns how many bytes at the front of p were used up.
    size_t Feed(const unsigned char* p, size_t nSize, bool bLast) {
        size_t nPos = 0;
        while (nPos + 4 <= nSize) {
            FrameHeader header;
            if (!ParseHeader(p + nPos, header)) {
                ++nPos;  // not a frame here: look for the next one
                continue;
            }
            if (nPos + size_t(header.nLength) > nSize) {
                if (bLast) return nSize;  // the writer stopped inside it
                break;
            }
            // The encoder's Info (or Xing) frame describes the file and holds no audio.
            const unsigned char* pTag = p + nPos + 4 + header.nSideInfo;
            bool bInfo = m_bFirst && size_t(4 + header.nSideInfo + 4) <= size_t(header.nLength) &&
                         (std::memcmp(pTag, "Info", 4) == 0 || std::memcmp(pTag, "Xing", 4) == 0);
            if (!bInfo) m_dSeconds += double(header.nSamples) / header.nRate;
            m_bFirst = false;
            nPos += header.nLength;
        }
        return bLast ? nSize : nPos;
    }
    double GetSeconds() const { return m_dSeconds; }

private:
    double m_dSeconds = 0.0;
    bool m_bFirst = true;
};

}  // namespace

double GetMp3Duration(const std::wstring& strPath) {
    // Read, not mapped: a file that cannot be read (a share or drive gone, a bad
    // sector) fails a read, where a mapped view would raise an exception.
    CHandle file(::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid()) return -1.0;
    constexpr DWORD CHUNK_BYTES = 64 * 1024;
    std::vector<unsigned char> buffer(CHUNK_BYTES + 4096);
    CFrameCounter counter;
    size_t nHeld = 0;  // bytes kept from the last chunk
    uint64_t nSkip = 0;  // bytes of the ID3v2 tag still to pass over
    bool bStart = true;
    for (;;) {
        DWORD dwRead = 0;
        if (!::ReadFile(file.Get(), buffer.data() + nHeld, CHUNK_BYTES, &dwRead, nullptr)) return -1.0;
        size_t nSize = nHeld + dwRead;
        size_t nPos = 0;
        if (bStart && (nSize >= 10 || dwRead == 0)) {
            bStart = false;
            if (nSize >= 10) nSkip = Id3v2Length(buffer.data());
        }
        if (!bStart) {
            const size_t nSkipNow = static_cast<size_t>(std::min<uint64_t>(nSkip, nSize));
            nSkip -= nSkipNow;
            nPos = nSkipNow;
            if (nSkip == 0) nPos += counter.Feed(buffer.data() + nPos, nSize - nPos, dwRead == 0);
            else nPos = nSize;
        }
        if (dwRead == 0) break;
        nHeld = nSize - nPos;
        std::memmove(buffer.data(), buffer.data() + nPos, nHeld);
    }
    return counter.GetSeconds();
}
