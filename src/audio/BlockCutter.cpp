#include "audio/BlockCutter.h"

#include <cstring>

void CBlockCutter::Feed(const uint8_t* pData, int nBytes, CCutBlocks& out) {
    out.nBlocks = 0;
    if (!pData || nBytes <= 0) return;
    if (nBytes > SOCKSRV_PASS_BYTES) nBytes = SOCKSRV_PASS_BYTES;
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

CBlockCutter& CBlockCutters::For(uint32_t nConnection) {
    CSlot* pOldest = &m_slots[0];
    for (CSlot& slot : m_slots) {
        if (slot.nConnection == nConnection) {
            slot.nLastUse = ++m_nUses;
            return slot.cutter;
        }
        if (slot.nLastUse < pOldest->nLastUse) pOldest = &slot;
    }
    pOldest->nConnection = nConnection;
    pOldest->nLastUse = ++m_nUses;
    pOldest->cutter.Reset();
    return pOldest->cutter;
}
