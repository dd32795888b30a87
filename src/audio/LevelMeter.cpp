#include "audio/LevelMeter.h"

#include <cstring>

#include "audio/AudioBlock.h"

bool CLevelMeter::Feed(const uint8_t* pData, int nBytes, int& nLevel) {
    const int nReads = nBytes >= 2 * AUDIO_BLOCK_BYTES ? nBytes / AUDIO_BLOCK_BYTES : 1;
    if (m_nPass + nReads <= LEVEL_PASSES) {
        m_nPass += nReads;
        return false;
    }
    int nPeak = 0;
    int nSamples = pData ? nBytes / 2 : 0;
    for (int i = 0; i < nSamples; i += 10) {
        int16_t s;
        std::memcpy(&s, pData + 2 * i, 2);
        int nValue = s < 0 ? -static_cast<int>(s) : s;
        nValue >>= 6;
        if (nValue > nPeak) nPeak = nValue;
    }
    if (nPeak < m_nLastLevel) {
        nLevel = m_nLastLevel - LEVEL_FALL;
        if (nLevel < 0) nLevel = 0;
    } else {
        nLevel = nPeak;
    }
    m_nLastLevel = nLevel;
    m_nPass = 0;
    return true;
}
