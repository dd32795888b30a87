#include "audio/BufferPool.h"

#include <cstring>
#include <new>

#include "audio/AudioBlock.h"

CBufferPool::CBufferPool(int nInitialBlocks) {
    m_blocks.reserve(nInitialBlocks);
    m_free.reserve(nInitialBlocks);
    for (int i = 0; i < nInitialBlocks; ++i) {
        CBuffer* pBlock = MakeBlock();
        if (!pBlock) break;
        m_blocks.push_back(pBlock);
        m_free.push_back(pBlock);
    }
}

CBufferPool::~CBufferPool() {
    CLock lock(m_cs);
    m_free.clear();
    for (CBuffer* pBlock : m_blocks) {
        delete[] pBlock->m_pData;
        delete pBlock;
    }
    m_blocks.clear();
}

CBuffer* CBufferPool::MakeBlock() {
    CBuffer* pBlock = new (std::nothrow) CBuffer();
    if (!pBlock) return nullptr;
    pBlock->m_pData = new (std::nothrow) uint8_t[AUDIO_BLOCK_BYTES]();
    if (!pBlock->m_pData) {
        delete pBlock;
        return nullptr;
    }
    pBlock->m_nSize = AUDIO_BLOCK_BYTES;
    pBlock->m_bOwnData = false;  // the pool frees the data
    return pBlock;
}

CBuffer* CBufferPool::Take() {
    CLock lock(m_cs);
    if (!m_free.empty()) {
        CBuffer* pBlock = m_free.back();
        m_free.pop_back();
        return pBlock;
    }
    CBuffer* pBlock = MakeBlock();
    if (!pBlock) return nullptr;
    try {
        m_blocks.push_back(pBlock);
    } catch (const std::bad_alloc&) {
        delete[] pBlock->m_pData;
        delete pBlock;
        return nullptr;
    }
    // Keep room to give every block back without allocating.
    if (m_free.capacity() < m_blocks.size()) {
        try {
            m_free.reserve(m_blocks.size() * 2);
        } catch (const std::bad_alloc&) {
        }
    }
    return pBlock;
}

void CBufferPool::GiveBack(CBuffer* pBlock) {
    if (!pBlock) return;
    std::memset(pBlock->m_pData, 0, AUDIO_BLOCK_BYTES);
    CLock lock(m_cs);
    m_free.push_back(pBlock);
}

size_t CBufferPool::GetBlockCount() {
    CLock lock(m_cs);
    return m_blocks.size();
}

size_t CBufferPool::GetFreeCount() {
    CLock lock(m_cs);
    return m_free.size();
}
