#include "audio/Mixer.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "audio/AudioBlock.h"

namespace {

int16_t ClampSum(int32_t nSum) {
    if (nSum > 32767) return 32767;
    if (nSum < -32768) return -32768;
    return static_cast<int16_t>(nSum);
}

// Samples are little-endian on the wire and on every Windows target.
int16_t SampleAt(const CBuffer& block, int i) {
    int16_t s;
    std::memcpy(&s, block.m_pData + 2 * i, 2);
    return s;
}

// A sized result, or null when its memory cannot be had.
CBuffer* NewResult(int nBytes) {
    CBuffer* pOut = new (std::nothrow) CBuffer(nBytes);
    if (pOut && !pOut->m_pData) {
        delete pOut;
        return nullptr;
    }
    return pOut;
}

}  // namespace

CBuffer* MixPair(const CBuffer& mic, const CBuffer& remote, bool bStereo) {
    CBuffer* pOut = NewResult(bStereo ? 2 * AUDIO_BLOCK_BYTES : AUDIO_BLOCK_BYTES);
    if (!pOut) return nullptr;
    int16_t* pDst = pOut->Samples();
    for (int k = 0; k < AUDIO_BLOCK_SAMPLES; ++k) {
        int16_t m = SampleAt(mic, k);
        int16_t r = SampleAt(remote, k);
        if (bStereo) {
            pDst[2 * k] = m;
            pDst[2 * k + 1] = r;
        } else {
            pDst[k] = ClampSum(static_cast<int32_t>(m) + r);
        }
    }
    return pOut;
}

CBuffer* MixSingleStereo(const CBuffer& block) {
    CBuffer* pOut = NewResult(2 * AUDIO_BLOCK_BYTES);
    if (!pOut) return nullptr;
    int16_t* pDst = pOut->Samples();
    for (int k = 0; k < AUDIO_BLOCK_SAMPLES; ++k) {
        pDst[2 * k] = 0;
        pDst[2 * k + 1] = SampleAt(block, k);
    }
    return pOut;
}
