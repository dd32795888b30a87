#include "audio/BlockQueue.h"

#include <new>

bool CBlockQueue::Push(CBuffer* pBlock) {
    if (m_nCount == m_ring.size()) {
        size_t nNewSize = m_ring.empty() ? 1024 : m_ring.size() * 2;
        std::vector<CBuffer*> ring;
        try {
            ring.resize(nNewSize);
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (size_t i = 0; i < m_nCount; ++i) ring[i] = m_ring[(m_nHead + i) % m_ring.size()];
        m_ring.swap(ring);
        m_nHead = 0;
    }
    m_ring[(m_nHead + m_nCount) % m_ring.size()] = pBlock;
    ++m_nCount;
    return true;
}

CBuffer* CBlockQueue::Pop() {
    if (m_nCount == 0) return nullptr;
    CBuffer* pBlock = m_ring[m_nHead];
    m_nHead = (m_nHead + 1) % m_ring.size();
    --m_nCount;
    return pBlock;
}
