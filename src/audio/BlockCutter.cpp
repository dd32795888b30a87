#include "audio/BlockCutter.h"

#include <cstring>

void CBlockCutter::Feed(const uint8_t* pData, int nBytes, CCutBlocks& out) {
    out.nBlocks = 0;
    if (!pData || nBytes <= 0) return;
    if (nBytes > SOCKET_READ_BYTES) nBytes = SOCKET_READ_BYTES;
    uint8_t* pOut = out.data;
    while (nBytes > 0) {
        int nTake = AUDIO_BLOCK_BYTES - m_nCarried;
        if (nTake > nBytes) nTake = nBytes;
        std::memcpy(m_carry + m_nCarried, pData, nTake);
        m_nCarried += nTake;
        pData += nTake;
        nBytes -= nTake;
        if (m_nCarried == AUDIO_BLOCK_BYTES) {
            std::memcpy(pOut, m_carry, AUDIO_BLOCK_BYTES);
            pOut += AUDIO_BLOCK_BYTES;
            ++out.nBlocks;
            m_nCarried = 0;
        }
    }
}
